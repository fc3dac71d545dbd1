// fadecrest-render run as a user runs it, on files this test writes, with the results read back.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "command.h"
#include "support/fade_model.h"
#include "support/golden.h"

namespace {

constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

struct Sound {
  SF_INFO info{};
  std::vector<float> samples;  // interleaved
  std::map<int, std::string> tags;
};

// After `gap` frames of silence that take no room (a sparse file), if the format allows it.
void writeSound(const std::filesystem::path& path, int channels, int format,
                const std::vector<float>& samples, sf_count_t gap = 0, int rate = 8000,
                const std::map<int, std::string>& tags = {}) {
  SF_INFO info{0, rate, channels, format, 0, 0};
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  for (const auto& [tag, text] : tags) sf_set_string(file, tag, text.c_str());
  if (gap) sf_seek(file, gap, SEEK_SET);
  const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
  EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
  sf_close(file);
}

// Read to the end: a file streamed to a pipe does not know its length.
Sound readSound(const std::filesystem::path& path) {
  Sound sound;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
  EXPECT_NE(file, nullptr) << "cannot read " << path << ": " << sf_strerror(nullptr);
  if (!file) return sound;
  std::vector<float> chunk(static_cast<size_t>(4096 * sound.info.channels));
  while (sf_count_t got = sf_readf_float(file, chunk.data(), 4096))
    sound.samples.insert(sound.samples.end(), chunk.begin(), chunk.begin() + got * sound.info.channels);
  for (int tag = SF_STR_FIRST; tag <= SF_STR_LAST; ++tag)
    if (const char* text = sf_get_string(file, tag)) sound.tags[tag] = text;
  sf_close(file);
  return sound;
}

// Reproducible noise within plus or minus `peak`.
std::vector<float> noise(size_t count, float peak = 0.9f) {
  std::vector<float> samples(count);
  uint32_t state = 12345;
  for (float& sample : samples) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / static_cast<float>(1 << 24) * 2.0f - 1.0f) * peak;
  }
  return samples;
}

// A command line run by bash in `directory`, failing with any part of a pipe; the tool is $R.
CommandResult shell(const ScratchDirectory& directory, const std::string& command) {
  return runCommand({"/bin/bash", "-o", "pipefail", "-c", command}, directory.path(),
                    {{"R", FADECREST_RENDER_PATH}, {"LC_ALL", "C"}});
}

// The superuser's refusals are tried as another user.
const std::string asUser = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
// Every entry of a directory with what it holds: permission bits, size, where a link points, bytes.
std::string stateOf(const ScratchDirectory& directory) {
  return shell(directory, "ls -l --time-style=+; md5sum -- * 2>&1").out;
}

// Each frame of `output` is the frame of `input` after the effect at this duration and an interval of
// a second; a mono file feeds both inputs and keeps the left output.
void expectFadeRule(const std::vector<float>& input, const Sound& output, float duration,
                    bool doublePrecision) {
  const int channels = output.info.channels;
  ASSERT_EQ(output.samples.size(), input.size());
  FadeModel model(0.0f, duration, output.info.samplerate);  // the shortest interval
  for (size_t i = 0; i < output.samples.size(); i += channels) {
    const FadeModel::Step step = model.next();
    for (int c = 0; c < channels; ++c) {
      const float in = input[i + c];
      ASSERT_EQ(output.samples[i + c], doublePrecision
                                           ? static_cast<float>(FadeModel::apply(step, double{in}))
                                           : FadeModel::apply(step, in))
          << "frame " << i / channels << " channel " << c << " from " << in;
    }
  }
}

// Every frame as the effect makes it, in the container and samples asked for or else the input's;
// out-of-range samples saturate in an integer format instead of wrapping round.
TEST(Render, OutputFollowsTheFadeRuleInTheFormatAskedFor) {
  struct Case {
    std::string input;
    int format, channels;
    std::string command, output;  // the command run by bash, with the tool in $R
    int expected;
    float duration = 0.0f;  // the interval is 0 (one second) in every case
    bool doublePrecision = false;
  };
  constexpr int kFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT, k16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  // clang-format off
  const std::vector<Case> cases = {
      {"in.wav", kFloat, 2, "$R -q in.wav --program 5 --block 333", "in-preview.wav", kFloat},
      {"in.wav", kFloat, 2, "$R -q in.wav --program=5 --block=333 --precision=double", "in-preview.wav", kFloat, 0, true},
      {"in.wav", kFloat, 1, "$R -q in.wav --program 5 --block 65536", "in-preview.wav", kFloat},
      {"in.wav", kFloat, 2, "$R -q --program 0 --interval 1 --duration 5 --block 1 in.wav", "in-preview.wav", kFloat, 1},
      {"in.wav", k16, 2, "ln -s ${R%/*}/fadecrest.so m.so; $R -q in.wav --plugin m.so", "in-preview.wav", k16},
      {"in.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, "$R -q in.aif", "in-preview.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {"in.wav", kFloat, 2, "$R -q in.wav --bits 16", "in-preview.wav", k16},
      {"in.wav", kFloat, 2, "$R -q in.wav -ox.FLAC", "x.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"in.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, 2, "$R -q in.au --bits 24", "in-preview.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      // Every input a shell can give, in formats that cannot be read as they come through a pipe.
      {"in.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2, "cat in.caf | $R -q - -o o.wav", "o.wav", k16},
      {"in.rf64", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 2, "$R -q <(cat in.rf64) -o o.wav --program 5", "o.wav", kFloat},
      {"in.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 1, "mkfifo f; cat in.w64 >f & $R -q f -o o.wav --program 5", "o.wav", kFloat},
      {"in.wav", kFloat, 2, "ffmpeg -v error -i in.wav -c:a pcm_f32le -f wav - | $R -q - -o o.wav --program 5", "o.wav", kFloat},
      {"in.wav", k16, 2, "sox in.wav -t aiff - | $R -q - -o - --format wav | cat >o.wav", "o.wav", k16},
      // Into pipes, where nothing can be taken back: a WAV header goes ahead with its sizes right, words elsewhere.
      {"in.wav", kFloat, 2, "cat in.wav | $R - -o - --format wav --program 5 2>/dev/null | cat >o.wav", "o.wav", kFloat},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format wav | cat >o.wav", "o.wav", k16},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format flac | cat >o.flac", "o.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format ogg | cat >o.ogg", "o.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format mp3 | cat >o.mp3", "o.mp3", kMp3},
  };
  // clang-format on
  for (const Case& test : cases) {
    ScratchDirectory directory;
    const std::vector<float> input = noise(static_cast<size_t>(test.channels) * 7 * 8000, 1.5f);
    writeSound(directory / test.input, test.channels, test.format, input);
    CommandResult run = shell(directory, test.command);
    ASSERT_EQ(run.exitCode, 0) << test.command << ": " << run.err;
    // Clipped as an integer format is written, and counted, as sox counts it.
    const std::string over = std::to_string(
        std::count_if(input.begin(), input.end(), [](float x) { return std::fabs(x) > 1.0f; }));
    const bool clips = (test.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT && test.expected != kFloat;
    EXPECT_EQ(run.err, clips ? "fadecrest-render: " + test.input + ": clipped " + over + " samples\n" : "");
    const std::string bytes = contentsOf(directory / test.output);
    uint32_t header[9] = {};  // little-endian: the RIFF size, the byte rate, the bytes of a frame
    const bool riff = bytes.starts_with("RIFF") && std::memcpy(header, bytes.data(), sizeof header);
    EXPECT_TRUE(!riff || (header[1] == bytes.size() - 8 && header[7] == 8000 * (header[8] & 0xFFFF)))
        << test.command;
    Sound output = readSound(directory / test.output);
    EXPECT_EQ(output.info.format, test.expected) << test.command;
    EXPECT_EQ(output.info.samplerate, 8000) << test.command;
    ASSERT_EQ(output.info.channels, test.channels) << test.command;
    if (test.expected == kFloat) expectFadeRule(input, output, test.duration, test.doublePrecision);
    if (test.expected == kFloat || test.expected == kMp3) continue;  // a streamed MP3 tells not its length
    ASSERT_EQ(output.samples.size(), input.size()) << test.command;
    for (size_t i = 0; (test.expected & SF_FORMAT_SUBMASK) != SF_FORMAT_VORBIS && i < input.size(); ++i)
      ASSERT_TRUE(std::fabs(output.samples[i]) <= 1.0f && output.samples[i] * input[i] >= 0.0f)
          << test.command << ": " << output.samples[i] << " from " << input[i];
  }
}

// What people publish: MP3 and Opus at a rate they hold, resampled where they do not (and said so)
// after the effect ran at the input's rate; the bit-rate or quality asked for; the input's tags.
TEST(Render, PublishesMp3AndOpusWithTheTagsKept) {
  ScratchDirectory directory;
  const std::map<int, std::string> tags = {{SF_STR_TITLE, "Été"},      {SF_STR_ARTIST, "Corvenna"},
                                           {SF_STR_ALBUM, "Previews"}, {SF_STR_DATE, "2026"},
                                           {SF_STR_TRACKNUMBER, "7"},  {SF_STR_GENRE, "Rock"},
                                           {SF_STR_COMMENT, "a"},      {SF_STR_COPYRIGHT, "(c) C"}};
  writeSound(directory / "in.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, noise(6 * 192000, 0.5f), 0, 192000,
             tags);
  writeSound(directory / "cd.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(6 * 44100, 0.5f), 0, 44100,
             tags);
  struct Case {
    std::string command, output;
    int format, rate, kbps;  // no bit-rate to check: 0
  };
  constexpr int kOpus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
  const std::vector<Case> cases = {
      {"$R in.flac --program 5 -o x.mp3", "x.mp3", kMp3, 48000, 190},
      {"$R in.flac --program 5 -o c.mp3 --bitrate 128 --precision double", "c.mp3", kMp3, 48000, 128},
      {"$R cd.wav --program 5 -o cd.mp3 --bitrate 320", "cd.mp3", kMp3, 44100, 320},
      {"$R in.flac --program 5 --format opus --bitrate 400", "in-preview.opus", kOpus, 48000, 400},
      {"$R cd.wav --program 5 --format opus", "cd-preview.opus", kOpus, 48000, 128},
      {"$R in.flac --program 5 -o x.ogg", "x.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 192000, 0},
      {"$R in.flac --program 5 -o x.wav", "x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 192000, 0},
  };
  for (const Case& test : cases) {
    CommandResult run = shell(directory, test.command);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "wrote " + test.output + " (0:03.0, " + std::to_string(test.rate) + " Hz, stereo)\n");
    EXPECT_EQ(run.err.find("resampled to 48000 Hz") != std::string::npos, test.rate == 48000) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), test.rate == 48000)
        << run.err;  // and no more
    Sound output = readSound(directory / test.output);
    EXPECT_EQ(output.info.format, test.format) << test.output;
    EXPECT_EQ(output.info.samplerate, test.rate) << test.output;
    EXPECT_EQ(output.info.frames, 3 * test.rate) << test.output;
    if (test.format == kMp3)  // libsndfile writes no ID3 frame for the copyright or the software
      output.tags.emplace(SF_STR_COPYRIGHT, tags.at(SF_STR_COPYRIGHT));
    else
      EXPECT_NE(output.tags[SF_STR_SOFTWARE].find("Fadecrest"), std::string::npos) << test.output;
    output.tags.erase(SF_STR_SOFTWARE);
    EXPECT_EQ(output.tags, tags) << test.output;
    const double kbps = std::filesystem::file_size(directory / test.output) * 8.0 / 3000.0;
    EXPECT_NEAR(test.kbps ? kbps : 0.0, test.kbps, test.kbps * 0.1) << test.output;
    // Loud half a second in, silent in the middle of the first window (1.5 s).
    double power[2] = {};
    for (int at : {0, 1})
      for (int i = 0; i < 400; ++i)
        power[at] += std::pow(output.samples.at(size_t((at + 0.5) * test.rate + i) * 2), 2);
    EXPECT_TRUE(power[0] > 400 * 0.01 && power[1] < 400 * 1e-4)
        << test.output << ": " << power[0] << ", " << power[1];
  }
  // With -q libmpg123 says nothing of a damaged frame; the tool still says what it lost.
  std::string mp3 = contentsOf(directory / "x.mp3");
  std::ofstream(directory / "bad.mp3", std::ios::binary) << mp3.replace(mp3.size() / 2, 600, 600, '\0');
  EXPECT_TRUE(shell(directory, "$R -q bad.mp3 -o bad.wav").err.starts_with("fadecrest-render: bad.mp3: "));
}

// A refused run or a dry run changes nothing: not the input under any of its names, no file there, no link.
TEST(Render, RefusalsAndDryRunsSayWhyAndLeaveEveryFileAsItWas) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 800));
  writeSound(directory / "three.wav", 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(3 * 800));
  writeSound(directory / "out.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  // At 40 Hz a window's two closing frames show, and 12 windows, all listed; the jingle ends as its first
  // begins.
  writeSound(directory / "song.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(2 * 24 * 40), 0, 40);
  writeSound(directory / "jingle.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(8000));
  writeSound(directory / "jingle-preview.flac", 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, noise(4000));
  writeSound(directory / "int32.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_32, noise(8000));
  writeSound(directory / "adpcm.wav", 1, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, noise(4000));
  writeSound(directory / "c.ogg", 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS,
             noise(6 * 8000));                           // its end lost below
  std::filesystem::create_directory(directory / "big");  // its 5.6 GB kept out of the folder's state
  writeSound(directory / "big/big.rf64", 2, SF_FORMAT_RF64 | SF_FORMAT_PCM_16, noise(2), 1400000000);  // 48 h
  // No sample rate; links of every kind; a file only its owner may read; anyone may write here, not in
  // folder.
  shell(directory,
        "echo not a sound >notes.wav; : >empty.wav; : >empty.png; mkdir folder; ln in.wav hard.wav; "
        "ln -s in.wav link.wav; ln -s nowhere.wav dangling.wav; install -m 400 out.wav readonly.wav; "
        "{ head -c 24 in.wav; printf '\\0\\0\\0\\0'; tail -c +29 in.wav; } >rate0.wav; chmod 777 .");
  const auto before = stateOf(directory);
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {"$R missing.wav", "missing.wav: No such file or directory"},
      {"$R folder", "folder: is a directory"},
      {"$R empty.wav", "empty.wav: is empty"},
      {"$R notes.wav", "notes.wav: cannot read it"},
      {"$R three.wav", "3 channels; only mono and stereo"},
      {"$R in.wav --block 12x", "--block"},
      {"$R ''", "an input file name is empty"},
      {"$R -- --missing.wav", "--missing.wav: No such file"},
      {"$R -", "give -o"},
      {"$R in.wav --block", "--block needs a value"},
      {"$R in.wav --program 6", "--program"},
      {"$R in.wav --interval 61", "--interval"},
      {"$R in.wav --interval nan", "--interval"},
      {"$R in.wav --duration 5.5", "--duration"},
      {"$R in.wav --duration 0.99", "--duration"},
      {"$R in.wav -j0", "-j must be"},
      {"$R in.wav --force=1", "--force takes no value"},
      {"$R in.wav --precision half", "--precision"},
      {"$R in.wav --plugin /nonexistent/fadecrest.so", "cannot load plug-in"},
      {"$R in.wav --plugin ''", "--plugin needs a file name"},
      {"$R in.wav -o no-such-directory/out.wav", "No such file or directory"},
      {"$R in.wav --format flac --bits float", "cannot hold 32-bit float"},
      {"$R in.wav --bitrate 128", "WAV has no bit-rate to choose"},
      {"$R in.wav --format opus --quality 3", "--quality is MP3's scale"},
      {"$R in.wav --format opus --bitrate 8", "Opus holds 12 to 512 kbit/s for 2 channel(s), not 8"},
      {"$R in.wav -qyo in.wav", "is this input itself"},
      {"$R in.wav -o hard.wav --force", "is this input itself"},
      {"$R in.wav -o link.wav --force", "is this input itself"},
      {"$R link.wav -o ./in.wav --force", "is this input itself"},
      {"$R in.wav -o out.wav", "out.wav already exists"},
      {"$R in.wav -o dangling.wav --force", "dangling.wav is a link to nothing"},
      {"$R in.wav -o preview.m4a", "names no format"},
      {"$R in.wav -o preview.WAV --format aiff", "says wav, but --format asks for aiff"},
      {"$R in.wav three.wav -o previews", "names a folder"},
      {"$R - in.wav -o previews/", "standard input goes alone"},
      {"$R in.wav -o -", "-o - needs --format"},
      {"$R in.wav out.wav -o - --format wav", "-o - takes one input"},
      {"$R in.wav -o /dev/full --force", "cannot write /dev/full: No space left on device"},
      {"ASAN_OPTIONS=detect_leaks=0 $R in.wav -o /dev/full --format ogg", "cannot write /dev/full: No space left on device"},  // libsndfile's Ogg keeps its buffers then
      {"$R in.wav -o /dev/full --format mp3", "cannot write /dev/full: No space left on device"},
      {"$R rate0.wav", "rate0.wav: cannot read it: its header gives no sample rate"},
      {"$R -n big/big.rf64 -o big.aiff", "AIFF files cannot hold more than 4 GiB, and this one would be 5.2 GiB"},
      {"$R - -o /dev/null </dev/null", "standard input: is empty"},
      {"exec 3>&2; script -qec '$R in.wav -o - --format wav 2>&3' /dev/null", "standard output is a terminal"},
      {"$R in.wav --editor-snapshot editor.png", "takes no input"},
      {"$R --editor-snapshot empty.png", "empty.png already exists"},
      {"$R --editor-snapshot editor.jpg", "--editor-snapshot writes PNG"},
      {"$R --about", "--about goes with --editor-snapshot"},
      {asUser + "$R in.wav -o readonly.wav --force", "readonly.wav: Permission denied"},
      {asUser + "$R in.wav -o folder/new.wav", "cannot write into the folder folder: Permission denied"},
  };
  // clang-format on
  for (const auto& [command, cause] : refusals) {
    CommandResult run = shell(directory, command);
    EXPECT_EQ(run.exitCode, run.err.ends_with("(see --help)\n") ? 2 : 1) << command;
    EXPECT_TRUE(run.err.starts_with("fadecrest-render: ")) << command << ": " << run.err;
    EXPECT_NE(run.err.find(cause), std::string::npos) << command << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << command << ": " << run.err;
    EXPECT_TRUE(stateOf(directory) == before) << command << " changed the directory";
  }

  // A dry run reads the headers only: the settings, where the windows fall, the warnings.
  CommandResult run = shell(directory, "$R -n --program 5 --format flac song.wav jingle.wav");
  EXPECT_EQ(run.exitCode, 1) << run.err;  // as the run itself would refuse jingle-preview.flac
  EXPECT_EQ(run.out, R"(song.wav -> song-preview.flac
  FLAC 16-bit, 40 Hz, stereo, 0:24.0
  program 5 "Shortest", interval 1.00 s, duration 1.00 s, single precision
  fade windows: 0:01.0-0:02.1, 0:03.1-0:04.1, 0:05.1-0:06.2, 0:07.2-0:08.2, 0:09.2-0:10.3, 0:11.3-0:12.3, 0:13.3-0:14.4, 0:15.4-0:16.4, 0:17.4-0:18.5, 0:19.5-0:20.5, 0:21.5-0:22.6, 0:23.6-0:24.0
jingle.wav -> jingle-preview.flac (exists; --force replaces it)
  FLAC 24-bit, 8000 Hz, mono, 0:01.0
  program 5 "Shortest", interval 1.00 s, duration 1.00 s, single precision
  fade windows: none
)");
  EXPECT_EQ(run.err,
            R"(fadecrest-render: jingle.wav: 32-bit float samples written as FLAC 24-bit lose resolution
fadecrest-render: jingle.wav: no fade window falls inside this 0:01.0 file
)");
  // Past 4 GiB a WAV is RF64; a compressed code becomes PCM; windows are counted; 32-bit integers lose
  // resolution as floats. The programs, the version, the completion of an option and of a format.
  const std::string complete =
      "; source " FADECREST_COMPLETION_PATH "; _fadecrest_render; echo ${COMPREPLY[@]}";
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> runs = {  // and something each says
      {"$R -n big/big.rf64 adpcm.wav -o previews/", "big-preview.wav\n  RF64 16-bit, 8000 Hz, stereo, 48:36:40.0\n"},
      {"$R -n big/big.rf64 adpcm.wav -o previews/", "12:55.0-13:00.0, ... (2692 in all)\n"},
      {"$R -n big/big.rf64 adpcm.wav -o previews/", "adpcm-preview.wav\n  WAV 16-bit"},
      {"$R -n <(head -c $(($(stat -c%s c.ogg) / 2)) c.ogg) -o x.wav", "length unknown\n  program 1 \"Very Long track\", interval 60.00 s, duration 5.00 s, single precision\n  fade windows: 1:00.0-1:00.0, then every 1:05.0\n"},
      {"$R -ny --format flac jingle.wav", "jingle.wav -> jingle-preview.flac\n"},  // as --force would replace it
      {"$R -n int32.wav --bits float", "int32.wav: 32-bit samples written as WAV 32-bit float lose resolution"},
      {"$R --list-programs", "      3  Medium track       30.50 s    3.00 s\n"},
      {"$R --list-programs", "      5  Shortest            1.00 s    1.00 s\n"},
      {"$R -V", "fadecrest-render 1.0.0\n"},
      {"COMP_WORDS=(fadecrest-render --form); COMP_CWORD=1" + complete, "--format\n"},
      {"COMP_WORDS=(fadecrest-render --format o); COMP_CWORD=2" + complete, "ogg opus\n"},
  };
  // clang-format on
  for (const auto& [command, said] : runs) {
    CommandResult shown = shell(directory, command + " 2>&1");
    EXPECT_EQ(shown.exitCode, 0) << command;
    EXPECT_NE(shown.out.find(said), std::string::npos) << command << ": " << shown.out;
  }
  EXPECT_TRUE(stateOf(directory) == before);
}

// --force replaces the file a link points to, whole, keeping its permissions and owner, with the same
// bytes whenever rendered; but never one of the batch's inputs, nor twice one name.
TEST(Render, ForceReplacesAFileWholeButNeverAnInput) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 8000));
  // An older, longer preview behind a link, not the superuser's; a second later time stamps differ.
  const std::string owner =
      geteuid() ? std::to_string(geteuid()) + ":" + std::to_string(getegid()) : "65534:100";
  shell(directory,
        "$R -q in.wav -o first.wav; head -c 1000000 /dev/zero >old.wav; chmod 640 old.wav; chown " + owner +
            " old.wav; ln -s old.wav link.wav; sleep 1.1");
  ASSERT_EQ(shell(directory, "$R -q in.wav -o link.wav -y && $R -q in.wav -o /dev/null").exitCode, 0);
  EXPECT_TRUE(contentsOf(directory / "old.wav") == contentsOf(directory / "first.wav"));
  EXPECT_EQ(shell(directory, "stat -c '%a %u:%g' old.wav; [ -L link.wav ] && ls -A").out,
            "640 " + owner + "\nfirst.wav\nin.wav\nlink.wav\nold.wav\n");

  // A second run over songs and their previews renders the songs again, not the previews.
  writeSound(directory / "a.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  writeSound(directory / "a-preview.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(1600));  // a master
  const std::string master = contentsOf(directory / "a-preview.wav");
  CommandResult again = shell(directory, "$R --force a-preview.wav a.wav");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.err, R"(fadecrest-render: a-preview.wav: skipped: it is the preview of a.wav
fadecrest-render: a.wav: no fade window falls inside this 0:00.1 file
fadecrest-render: 1 of 2 files written, 1 skipped
)");
  EXPECT_EQ(shell(directory, "ls -A").out, "a-preview.wav\na.wav\nfirst.wav\nin.wav\nlink.wav\nold.wav\n");
  EXPECT_FALSE(contentsOf(directory / "a-preview.wav") == master);
  CommandResult together =
      shell(directory, "mkdir other; cp a.wav other; $R -qy a.wav other/a.wav other/../a.wav");
  EXPECT_EQ(together.exitCode, 1);
  EXPECT_EQ(
      together.err,
      R"(fadecrest-render: other/../a.wav: other/../a-preview.wav is the output of an input before it as well
fadecrest-render: 2 of 3 files written, 1 failed
)");
}

// A cut input is rendered as far as it goes; the summary says so and the exit status that
// something went wrong.
TEST(Render, BatchSaysWhatWasCutShort) {
  ScratchDirectory directory;
  const std::vector<float> stereo = noise(2 * 3 * 8000);
  std::vector<float> mono(stereo.begin(), stereo.begin() + 3 * 8000);
  mono[100] = NAN, mono[200] = -INFINITY;  // said once
  writeSound(directory / "a.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, stereo);
  writeSound(directory / "b.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, mono);
  writeSound(directory / "c.aif", 2, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, stereo);
  writeSound(directory / "c.au", 2, SF_FORMAT_AU | SF_FORMAT_FLOAT, stereo);
  writeSound(directory / "c.ogg", 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS, stereo);
  writeSound(directory / "c.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, stereo);
  // Damaged copies: the last 1000 frames cut off with the headers still promising them, half an
  // Ogg, zeros in the middle of a FLAC, data sizes of 0 before all the audio.
  auto damage = [&](const std::string& name, auto change) {
    std::ofstream(directory / ("bad" + name), std::ios::binary) << change(contentsOf(directory / name));
  };
  for (const std::string name : {"a.wav", "c.aif"})
    damage(name, [](std::string b) { return b.substr(0, b.size() - 8000); });
  damage("c.ogg", [](std::string b) { return b.substr(0, b.size() / 2); });
  damage("c.flac", [](std::string b) { return b.replace(b.size() / 2, 600, 600, '\0'); });
  damage("b.wav", [](std::string b) { return b.replace(b.find("data") + 4, 4, 4, '\0'); });
  damage("c.au", [](std::string b) { return b.replace(8, 4, 4, '\0'); });
  CommandResult run = shell(directory, "$R --program 5 -j2 a.wav b.wav bad* -o previews/");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, R"(wrote previews/a-preview.wav (0:03.0, 8000 Hz, stereo)
wrote previews/b-preview.wav (0:03.0, 8000 Hz, mono)
wrote previews/bada-preview.wav (0:02.9, 8000 Hz, stereo)
wrote previews/badb-preview.wav (0:00.0, 8000 Hz, mono)
wrote previews/badc-preview.aif (0:02.9, 8000 Hz, stereo)
wrote previews/badc-preview.wav (0:00.0, 8000 Hz, stereo)
wrote previews/badc-preview.flac (0:01.0, 8000 Hz, stereo)
wrote previews/badc-preview.ogg (0:00.7, 8000 Hz, stereo)
)");
  EXPECT_EQ(run.err, R"(fadecrest-render: b.wav: 2 samples were NaN or infinite
fadecrest-render: bada.wav: it ends before its header says it does; previews/bada-preview.wav holds the 0:02.9 before that
fadecrest-render: badb.wav: its header says it holds no audio, yet it is 96080 bytes long; previews/badb-preview.wav holds the 0:00.0 before that
fadecrest-render: badc.aif: it ends before its header says it does; previews/badc-preview.aif holds the 0:02.9 before that
fadecrest-render: badc.au: its header says it holds no audio, yet it is 192024 bytes long; previews/badc-preview.wav holds the 0:00.0 before that
fadecrest-render: badc.flac: it cannot be read any further (unknown error in flac decoder); previews/badc-preview.flac holds the 0:01.0 before that
fadecrest-render: badc.ogg: it ends before its header says it does; previews/badc-preview.ogg holds the 0:00.7 before that
fadecrest-render: 8 of 8 files written, 6 of them cut short
)");
  EXPECT_EQ(shell(directory, "$R -q badc.ogg -o c.wav; head -c 4 c.wav").out,
            "RIFF");  // RF64 only when large
  // Each file on an effect of its own, from the start of its cycle.
  expectFadeRule({stereo.begin(), stereo.end() - 2000}, readSound(directory / "previews/badc-preview.aif"),
                 0.0f, false);
  // A file is replaced only by a whole one. Where files cannot be made without a name, the hidden
  // ones made instead (also for a piped input) are gone afterwards, whether the file was written or not.
  const std::string whole = contentsOf(directory / "previews/a-preview.wav");
  const std::string unnamedFails =
      "LD_PRELOAD=" FADECREST_NO_TMPFILE_PATH " ASAN_OPTIONS=verify_asan_link_order=0 TMPDIR=previews ";
  EXPECT_EQ(shell(directory, unnamedFails + "$R -qy bada.wav -o previews/a-preview.wav").exitCode, 1);
  EXPECT_TRUE(contentsOf(directory / "previews/a-preview.wav") == whole);
  const std::string hidden = "cat a.wav | " + unnamedFails + "$R -q - -o previews/new.wav && ls -A previews";
  EXPECT_EQ(shell(directory, hidden + " | grep -c '^[.]'").out, "0\n");
  EXPECT_TRUE(readSound(directory / "previews/new.wav").samples.size() == stereo.size());

  // Interrupted, a batch says what it wrote, stopped (at a FIFO no one reads) and never began.
  std::filesystem::remove(directory / "previews/b-preview.wav");
  mkfifo((directory / "previews/b-preview.wav").c_str(), 0600);
  EXPECT_EQ(
      shell(directory, "$R -qyj1 a.wav b.wav bada.wav -o previews & sleep 1; kill -HUP $!; wait $!").err,
      R"(fadecrest-render: interrupted by SIGHUP
fadecrest-render: written whole: previews/a-preview.wav
fadecrest-render: stopped: b.wav
fadecrest-render: not begun: bada.wav
)");
  EXPECT_EQ(shell(directory, "{ sleep 0.3; $R -n a.wav b.wav; echo $? >&2; } | true").err,
            "141\n");  // quietly
  // A batch holds few files open, whatever its length; quiet, it still counts what was cut short.
  CommandResult many = shell(directory,
                             "for i in {1..100}; do ln b.wav b$i.wav; done; "
                             "prlimit --nofile=32 $R -qj2 -o many/ b[0-9]*.wav bada.wav; ls many | wc -l");
  EXPECT_EQ(many.out, "101\n");
  EXPECT_TRUE(many.err.ends_with("written, 1 of them cut short\n")) << many.err;
}

// Without an input, three minutes of music, seconds to render: a signal lands while the output is
// written, and nothing is left behind, also where files cannot be made without a name (then a hidden
// one, which the handler removes and only a kill that cannot be caught leaves). Or the editor, at the
// settings asked for, as the golden pictures of the editor's own tests show it.
TEST(Render, WithoutInputRendersMusicThatAnInterruptLeavesNoTraceOfOrTheEditor) {
  ScratchDirectory whole;
  CommandResult run = shell(whole, "$R");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("fadecrest-preview.wav"), std::string::npos) << run.out;
  Sound output = readSound(whole / "fadecrest-preview.wav");
  EXPECT_EQ(output.info.channels, 2);
  EXPECT_EQ(output.info.samplerate, 44100);
  EXPECT_EQ(output.info.frames, 180 * 44100);
  const auto [lowest, highest] = std::ranges::minmax(output.samples);
  EXPECT_TRUE(std::max(-lowest, highest) > 0.25f && std::max(-lowest, highest) < 1.0f) << highest;

  for (const std::string unnamedFiles :
       {"", "LD_PRELOAD=" FADECREST_NO_TMPFILE_PATH " ASAN_OPTIONS=verify_asan_link_order=0"}) {
    ScratchDirectory directory;
    // Once the hidden file shows, however slow the machine (or a second in); then what is left.
    auto interrupt = [&](int signal) {  // everything said, then the names left
      return shell(directory, unnamedFiles + " $R 2>&1 & for i in $(seq " +
                                  (unnamedFiles.empty() ? "20" : "400") +
                                  "); do [ -z \"$(ls -A)\" ] || break; sleep 0.05; done; kill -" +
                                  std::to_string(signal) + " $!; wait $!; echo status $?; " +
                                  "ls -A | sed 's/^[.]fadecrest-preview[.]wav[.].*/hidden/'")
          .out;
    };
    EXPECT_EQ(interrupt(SIGTERM), "fadecrest-render: interrupted by SIGTERM\nstatus 143\n");
    EXPECT_EQ(interrupt(SIGKILL), unnamedFiles.empty() ? "status 137\n" : "status 137\nhidden\n");
  }
  CommandResult plain = shell(whole, "$R --editor-snapshot editor.png --program 3");
  ASSERT_EQ(plain.out, "wrote editor.png\n") << plain.err;
  CommandResult about = shell(whole, "$R --editor-snapshot about.PNG --program 3 --about -q");
  ASSERT_EQ(about.exitCode, 0) << about.err;
  pictures::expectLooksLikeGolden(pictures::readPng((whole / "editor.png").string()), "medium_track");
  pictures::expectLooksLikeGolden(pictures::readPng((whole / "about.PNG").string()), "about");
}

}  // namespace
