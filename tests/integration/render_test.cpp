// fadecrest-render run as a user runs it, on files this test writes, with the results read back.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "command.h"
#include "support/fade_model.h"
#include "support/golden.h"

namespace {

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
  EXPECT_EQ(sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels),
            static_cast<sf_count_t>(samples.size()) / channels);
  sf_close(file);
}

// Read to the end: a file streamed to a pipe does not know its length.
Sound readSound(const std::filesystem::path& path) {
  Sound sound;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
  if (!file) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return sound;
  }
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

// The tool run in `directory`, signalled if asked.
CommandResult renderIn(const ScratchDirectory& directory, std::vector<std::string> arguments,
                       std::optional<std::chrono::milliseconds> signalAfter = {}, int signal = SIGTERM,
                       const std::map<std::string, std::string>& environment = {}) {
  arguments.insert(arguments.begin(), FADECREST_RENDER_PATH);
  return runCommand(arguments, directory.path(), environment, signalAfter, signal);
}

// A command line run by bash in `directory`, failing with any part of a pipe; the tool is $R.
CommandResult shell(const ScratchDirectory& directory, const std::string& command) {
  return runCommand({"/bin/bash", "-o", "pipefail", "-c", command}, directory.path(),
                    {{"R", FADECREST_RENDER_PATH}});
}

// Every entry of a directory with what it holds: permission bits, size, where a link points, bytes.
std::string stateOf(const ScratchDirectory& directory) {
  return shell(directory, "ls -l --time-style=+; md5sum -- * 2>&1").out;
}

// Each frame of `output` is the frame of `input` after the effect at these settings; a mono
// file feeds both inputs and keeps the left output.
void expectFadeRule(const std::vector<float>& input, const Sound& output, float interval, float duration,
                    bool doublePrecision) {
  const int channels = output.info.channels;
  ASSERT_EQ(output.samples.size(), input.size());
  FadeModel model(interval, duration, output.info.samplerate);
  int mismatches = 0;
  for (size_t i = 0; i < output.samples.size() && mismatches < 5; i += channels) {
    FadeModel::Step step = model.next();
    for (int c = 0; c < channels; ++c) {
      float in = input[i + c];
      float expected = doublePrecision ? static_cast<float>(FadeModel::apply(step, static_cast<double>(in)))
                                       : FadeModel::apply(step, in);
      if (output.samples[i + c] != expected && ++mismatches)
        ADD_FAILURE() << "frame " << i / channels << " channel " << c << ": got " << output.samples[i + c]
                      << ", expected " << expected << " from " << in;
    }
  }
}

// Every frame as the effect makes it, in the container and samples asked for or else the input's;
// out-of-range samples saturate in an integer format instead of wrapping round.
TEST(Render, OutputFollowsTheFadeRuleInTheFormatAskedFor) {
  struct Case {
    std::string input;
    int format, channels;
    std::string command;  // run by bash, with the tool in $R
    std::string output;
    int expected;
    float duration = 0.0f;  // the interval is 0 (one second) in every case
    bool doublePrecision = false;
  };
  constexpr int kFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT, k16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  // clang-format off
  const std::vector<Case> cases = {
      {"in.wav", kFloat, 2, "$R -q in.wav --program 5 --block 333", "in-preview.wav", kFloat},
      {"in.wav", kFloat, 2, "$R -q in.wav --program=5 --block=333 --precision=double", "in-preview.wav", kFloat, 0, true},
      {"in.wav", kFloat, 1, "$R -q in.wav --program 5 --block 333", "in-preview.wav", kFloat},
      {"in.wav", kFloat, 2, "$R -q --program 0 --interval 1 --duration 5 --block 1 in.wav", "in-preview.wav", kFloat, 1},
      {"in.wav", k16, 2, "ln -s ${R%/*}/fadecrest.so m.so; $R -q in.wav --plugin m.so", "in-preview.wav", k16},
      {"in.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, "$R -q in.aif", "in-preview.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {"in.wav", kFloat, 2, "$R -q in.wav --bits 16", "in-preview.wav", k16},
      {"in.wav", kFloat, 2, "$R -q in.wav -o x.FLAC", "x.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"in.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, 2, "$R -q in.au --bits 24", "in-preview.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      // Every input a shell can give, in formats that cannot be read as they come through a pipe.
      {"in.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2, "cat in.caf | $R -q - -o o.wav", "o.wav", k16},
      {"in.rf64", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 2, "$R -q <(cat in.rf64) -o o.wav --program 5", "o.wav", kFloat},
      {"in.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 1, "mkfifo f; cat in.w64 >f & $R -q f -o o.wav --program 5", "o.wav", kFloat},
      {"in.wav", kFloat, 2, "ffmpeg -v error -i in.wav -c:a pcm_f32le -f wav - | $R -q - -o o.wav --program 5", "o.wav", kFloat},
      {"in.wav", k16, 2, "sox in.wav -t aiff - | $R -q - -o - --format wav | cat >o.wav", "o.wav", k16},
      // Into pipes, where nothing can be taken back: a WAV header is written ahead with its sizes right.
      {"in.wav", kFloat, 2, "cat in.wav | $R -q - -o - --format wav --program 5 | cat >o.wav", "o.wav", kFloat},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format wav | cat >o.wav", "o.wav", k16},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format flac | cat >o.flac", "o.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"in.wav", k16, 2, "$R -q in.wav -o - --format ogg | cat >o.ogg", "o.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
  };
  // clang-format on
  for (const Case& test : cases) {
    ScratchDirectory directory;
    const std::vector<float> input = noise(static_cast<size_t>(test.channels) * 7 * 8000, 1.5f);
    writeSound(directory / test.input, test.channels, test.format, input);
    CommandResult run = shell(directory, test.command);
    ASSERT_EQ(run.exitCode, 0) << test.command << ": " << run.err;
    // Clipped as an integer format is written, and counted, as sox counts it.
    const auto over = std::count_if(input.begin(), input.end(), [](float x) { return std::fabs(x) > 1.0f; });
    const bool clips = (test.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT && test.expected != kFloat;
    EXPECT_EQ(
        run.err,
        clips ? "fadecrest-render: " + test.input + ": clipped " + std::to_string(over) + " samples\n" : "");
    const std::string bytes = contentsOf(directory / test.output);
    uint32_t riffSize = 0;  // as stored, little-endian
    if (bytes.starts_with("RIFF") && std::memcpy(&riffSize, bytes.data() + 4, 4))
      EXPECT_EQ(riffSize, bytes.size() - 8) << test.command;
    Sound output = readSound(directory / test.output);
    EXPECT_EQ(output.info.format, test.expected) << test.command;
    EXPECT_EQ(output.info.samplerate, 8000) << test.command;
    ASSERT_EQ(output.info.channels, test.channels) << test.command;
    if (test.expected == kFloat) {
      expectFadeRule(input, output, 0.0f, test.duration, test.doublePrecision);
      continue;
    }
    ASSERT_EQ(output.samples.size(), input.size()) << test.command;
    const bool lossy = (test.expected & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS;
    for (size_t i = 0; !lossy && i < input.size(); ++i)
      ASSERT_TRUE(std::fabs(output.samples[i]) <= 1.0f && output.samples[i] * input[i] >= 0.0f)
          << test.command << ": " << output.samples[i] << " from " << input[i];
  }
}

// What people publish: MP3 and Opus at a rate they hold, resampled where they do not (and said so)
// after the effect ran at the input's rate; the bit-rate asked for; the input's tags.
TEST(Render, PublishesMp3AndOpusWithTheTagsKept) {
  ScratchDirectory directory;
  const std::map<int, std::string> tags = {{SF_STR_TITLE, "Été"}, {SF_STR_ARTIST, "Corvenna"}};
  writeSound(directory / "in.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, noise(2 * 3 * 96000, 0.5f), 0,
             96000, tags);
  struct Case {
    std::string command, output;
    int format, rate, kbps;  // no bit-rate to check: 0
  };
  constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  const std::vector<Case> cases = {
      {"$R in.flac --program 5 -o x.mp3", "x.mp3", kMp3, 48000, 0},
      {"$R in.flac --program 5 -o c.mp3 --bitrate 128", "c.mp3", kMp3, 48000, 128},
      {"$R in.flac --program 5 --format opus --bitrate 96", "in-preview.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS,
       48000, 96},
      {"$R in.flac --program 5 -o x.wav", "x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 0},
  };
  for (const Case& test : cases) {
    CommandResult run = shell(directory, test.command);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("resampled to 48000 Hz") != std::string::npos, test.rate == 48000) << run.err;
    Sound output = readSound(directory / test.output);
    EXPECT_EQ(output.info.format, test.format) << test.output;
    EXPECT_EQ(output.info.samplerate, test.rate) << test.output;
    EXPECT_EQ(output.info.frames, 3 * test.rate) << test.output;
    EXPECT_EQ(output.tags[SF_STR_TITLE] + output.tags[SF_STR_ARTIST], "ÉtéCorvenna") << test.output;
    if ((test.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG)  // libsndfile writes no such ID3 frame
      EXPECT_NE(output.tags[SF_STR_SOFTWARE].find("Fadecrest"), std::string::npos) << test.output;
    const double kbps = std::filesystem::file_size(directory / test.output) * 8.0 / 3000.0;
    if (test.kbps) EXPECT_NEAR(kbps, test.kbps, test.kbps * 0.1) << test.output;
    // Silent in the middle of the first window (1.5 s), loud half a second in.
    auto power = [&](double at) {
      double sum = 0.0;
      for (int i = 0; i < 400; ++i)
        sum += std::pow(output.samples.at(static_cast<size_t>(at * test.rate + i) * 2), 2);
      return sum / 400;
    };
    EXPECT_LT(power(1.5), 1e-4) << test.output;
    EXPECT_GT(power(0.5), 0.01) << test.output;
  }
  // With -q libmpg123 says nothing of a damaged frame; the tool still says what it lost.
  std::string damaged = contentsOf(directory / "x.mp3");
  std::ofstream(directory / "bad.mp3", std::ios::binary)
      << damaged.replace(damaged.size() / 2, 600, 600, '\0');
  EXPECT_TRUE(shell(directory, "$R -q bad.mp3 -o bad.wav").err.starts_with("fadecrest-render: bad.mp3: "));
}

// Nothing a failed or refused run was not asked to write changes: not the input under any of its
// names, not a file already there, not a link.
TEST(Render, RefusalsSayWhyInOneLineAndLeaveEveryFileAsItWas) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 800));
  writeSound(directory / "three.wav", 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(3 * 800));
  writeSound(directory / "out.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  { std::ofstream(directory / "notes.wav") << "not a sound\n"; }
  { std::ofstream(directory / "empty.wav"), std::ofstream(directory / "empty.png"); }
  std::string rate0 = contentsOf(directory / "in.wav");
  std::ofstream(directory / "rate0.wav", std::ios::binary) << rate0.replace(24, 4, 4, '\0');
  std::filesystem::create_directory(directory / "folder");
  std::filesystem::create_hard_link(directory / "in.wav", directory / "hard.wav");
  std::filesystem::create_symlink("in.wav", directory / "link.wav");
  std::filesystem::create_symlink("nowhere.wav", directory / "dangling.wav");
  std::filesystem::copy_file(directory / "out.wav", directory / "readonly.wav");
  std::filesystem::permissions(directory / "readonly.wav", std::filesystem::perms::owner_read);
  // Anyone may write here, but not in folder.
  std::filesystem::permissions(directory.path(), std::filesystem::perms::all);
  const auto before = stateOf(directory);
  // The superuser's refusals are tried as another user.
  const std::string asUser = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
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
      {"$R in.wav --duration 5.5", "--duration"},
      {"$R in.wav --duration 0.99", "--duration"},
      {"$R in.wav -j0", "-j must be"},
      {"$R in.wav --force=1", "--force takes no value"},
      {"$R in.wav --precision half", "--precision"},
      {"$R in.wav --plugin /nonexistent/fadecrest.so", "cannot load plug-in"},
      {"$R in.wav --plugin ''", "--plugin needs a file name"},
      {"$R in.wav -o no-such-directory/out.wav", "No such file or directory"},
      {"$R in.wav --format flac --bits float", "cannot hold 32-bit float"},
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
      {"$R in.wav -o /dev/full --force", "cannot write /dev/full: No space left on device"},
      {"ASAN_OPTIONS=detect_leaks=0 $R in.wav -o /dev/full --format ogg", "cannot write /dev/full: No space left on device"},  // libsndfile's Ogg keeps its buffers then
      {"$R in.wav -o /dev/full --format mp3", "cannot write /dev/full: No space left on device"},
      {"$R rate0.wav", "rate0.wav: cannot read it: its header gives no sample rate"},
      {"$R in.wav --editor-snapshot editor.png", "takes no input"},
      {"$R --editor-snapshot empty.png", "empty.png already exists"},
      {"$R --editor-snapshot editor.jpg", "--editor-snapshot writes PNG"},
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
}

// --force replaces the file a link points to, whole, with the permissions it had; the same
// input and options give the same bytes, whenever they are rendered.
TEST(Render, ForceReplacesAFileWholeKeepingItsPermissions) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 8000));
  ASSERT_EQ(renderIn(directory, {"-q", "in.wav", "-o", "first.wav"}).exitCode, 0);
  {
    std::ofstream(directory / "old.wav")
        << "an older preview, longer than the new one will be" << std::string(1 << 20, 'x');
  }
  using std::filesystem::perms;
  std::filesystem::permissions(directory / "old.wav",
                               perms::owner_read | perms::owner_write | perms::group_read);
  std::filesystem::create_symlink("old.wav", directory / "link.wav");
  const bool root = geteuid() == 0 && chown((directory / "old.wav").c_str(), 65534, 65534) == 0;  // nobody's
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a time stamp would differ now

  CommandResult run = renderIn(directory, {"-q", "in.wav", "-o", "link.wav", "-y"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(renderIn(directory, {"-q", "in.wav", "-o", "/dev/null"}).exitCode, 0);  // written through
  EXPECT_TRUE(std::filesystem::is_symlink(directory / "link.wav"));
  EXPECT_TRUE(contentsOf(directory / "old.wav") == contentsOf(directory / "first.wav"));
  EXPECT_EQ(std::filesystem::status(directory / "old.wav").permissions(),
            perms::owner_read | perms::owner_write | perms::group_read);
  EXPECT_EQ(directory.fileNames(), (std::vector<std::string>{"first.wav", "in.wav", "link.wav", "old.wav"}));
  struct stat replaced {};
  EXPECT_TRUE(stat((directory / "old.wav").c_str(), &replaced) == 0 &&
              (!root || replaced.st_uid + replaced.st_gid == 2 * 65534));
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
  // Damaged copies: the last 1000 frames cut off with the headers still promising them, half an
  // Ogg, data sizes of 0 before all the audio.
  auto damage = [&](const std::string& name, auto change) {
    std::string bytes = contentsOf(directory / name);
    change(bytes);
    std::ofstream(directory / ("bad" + name), std::ios::binary) << bytes;
  };
  for (const std::string name : {"a.wav", "c.aif"})
    damage(name, [](std::string& b) { b.resize(b.size() - 8000); });
  damage("c.ogg", [](std::string& b) { b.resize(b.size() / 2); });
  damage("b.wav", [](std::string& b) { b.replace(b.find("data") + 4, 4, 4, '\0'); });
  damage("c.au", [](std::string& b) { b.replace(8, 4, 4, '\0'); });
  CommandResult run = renderIn(directory, {"--program", "5", "-j2", "a.wav", "b.wav", "bada.wav", "badc.aif",
                                           "badc.ogg", "badb.wav", "badc.au", "-o", "previews/"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "wrote previews/a-preview.wav (0:03.0, 8000 Hz, stereo)\n"
            "wrote previews/b-preview.wav (0:03.0, 8000 Hz, mono)\n"
            "wrote previews/bada-preview.wav (0:02.9, 8000 Hz, stereo)\n"
            "wrote previews/badc-preview.aif (0:02.9, 8000 Hz, stereo)\n"
            "wrote previews/badc-preview.ogg (0:00.7, 8000 Hz, stereo)\n"
            "wrote previews/badb-preview.wav (0:00.0, 8000 Hz, mono)\n"
            "wrote previews/badc-preview.wav (0:00.0, 8000 Hz, stereo)\n");
  const std::string cut = ": it ends before its header says it does; previews/";
  EXPECT_EQ(run.err,
            "fadecrest-render: b.wav: 2 samples were NaN or infinite\n"
            "fadecrest-render: bada.wav" +
                cut + "bada-preview.wav holds the 0:02.9 before that\n" + "fadecrest-render: badc.aif" + cut +
                "badc-preview.aif holds the 0:02.9 before that\n" + "fadecrest-render: badc.ogg" + cut +
                "badc-preview.ogg holds the 0:00.7 before that\n" +
                "fadecrest-render: badb.wav: its header says it holds no audio, yet it is 96080 bytes "
                "long; previews/badb-preview.wav holds the 0:00.0 before that\n"
                "fadecrest-render: badc.au: its header says it holds no audio, yet it is 192024 bytes "
                "long; previews/badc-preview.wav holds the 0:00.0 before that\n"
                "fadecrest-render: 7 of 7 files written, 5 of them cut short\n");
  // Each file on an effect of its own, from the start of its cycle.
  expectFadeRule({stereo.begin(), stereo.end() - 2000}, readSound(directory / "previews/badc-preview.aif"),
                 0.0f, 0.0f, false);
  // A file is replaced only by a whole one.
  const std::string whole = contentsOf(directory / "previews/a-preview.wav");
  EXPECT_EQ(renderIn(directory, {"-q", "-y", "bada.wav", "-o", "previews/a-preview.wav"}).exitCode, 1);
  EXPECT_TRUE(contentsOf(directory / "previews/a-preview.wav") == whole);

  // Interrupted, a batch says what it wrote, stopped and never began; a closed standard output
  // ends it quietly. A FIFO no one reads stops the second file.
  std::filesystem::remove(directory / "previews/b-preview.wav");
  mkfifo((directory / "previews/b-preview.wav").c_str(), 0600);
  CommandResult stopped = renderIn(directory, {"-qyj1", "a.wav", "b.wav", "bada.wav", "-o", "previews"},
                                   std::chrono::milliseconds(1000));
  EXPECT_EQ(
      stopped.err,
      "fadecrest-render: interrupted by SIGTERM\nfadecrest-render: written whole: previews/a-preview.wav\n"
      "fadecrest-render: stopped: b.wav\nfadecrest-render: not begun: bada.wav\n");
  EXPECT_EQ(shell(directory, "{ sleep 0.3; $R -n a.wav b.wav; echo $? >&2; } | true").err, "141\n");
  // A batch holds few files open, whatever its length.
  EXPECT_EQ(shell(directory,
                  "for i in {1..100}; do ln b.wav b$i.wav; done; "
                  "prlimit --nofile=32 $R -qj2 -o many/ b[0-9]*.wav && ls many | wc -l")
                .out,
            "100\n");
}

// With --force a batch still never writes over one of its own inputs, nor twice to one name; a
// file refused does not stop the others.
TEST(Render, BatchNeverWritesOverItsOwnInputs) {
  ScratchDirectory directory;
  std::filesystem::create_directory(directory / "other");
  writeSound(directory / "a.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  writeSound(directory / "a-preview.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(1600));  // a master
  writeSound(directory / "other/a.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  const std::string master = contentsOf(directory / "a-preview.wav");

  // A second run over songs and their previews renders the songs again, not the previews.
  CommandResult again = renderIn(directory, {"--force", "a-preview.wav", "a.wav"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.err,
            "fadecrest-render: a-preview.wav: skipped: it is the preview of a.wav\n"
            "fadecrest-render: a.wav: no fade window falls inside this 0:00.1 file\n"
            "fadecrest-render: 1 of 2 files written, 1 skipped\n");
  EXPECT_EQ(directory.fileNames(), (std::vector<std::string>{"a-preview.wav", "a.wav", "other"}));
  EXPECT_FALSE(contentsOf(directory / "a-preview.wav") == master);

  CommandResult together = renderIn(directory, {"-q", "--force", "a.wav", "other/a.wav", "-o", "previews/"});
  EXPECT_EQ(together.exitCode, 1);
  EXPECT_EQ(
      together.err,
      "fadecrest-render: other/a.wav: previews/a-preview.wav is the output of an input before it as well\n"
      "fadecrest-render: 1 of 2 files written, 1 failed\n");
}

// The headers only: the settings, where the windows fall, the warnings, and nothing written.
TEST(Render, DryRunShowsTheWindowsAndWritesNothing) {
  ScratchDirectory directory;
  writeSound(directory / "song.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(2 * 3 * 8000));
  writeSound(directory / "jingle.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(4000));
  writeSound(directory / "jingle-preview.flac", 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, noise(4000));
  writeSound(directory / "adpcm.wav", 1, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, noise(4000));
  std::filesystem::create_directory(directory /
                                    "big");  // where its 5.6 GB are not read as the folder's state
  writeSound(directory / "big/big.rf64", 2, SF_FORMAT_RF64 | SF_FORMAT_PCM_16, noise(2), 1400000000);  // 48 h
  const auto before = stateOf(directory);

  CommandResult run =
      renderIn(directory, {"-n", "--program", "5", "--format", "flac", "song.wav", "jingle.wav"});
  EXPECT_EQ(run.exitCode, 1) << run.err;  // as the run itself would refuse jingle-preview.flac
  EXPECT_EQ(run.out,
            "song.wav -> song-preview.flac\n"
            "  FLAC 16-bit, 8000 Hz, stereo, 0:03.0\n"
            "  program 5 \"Shortest\", interval 1.00 s, duration 1.00 s, single precision\n"
            "  fade windows: 0:01.0-0:02.0\n"
            "jingle.wav -> jingle-preview.flac (exists; --force replaces it)\n"
            "  FLAC 24-bit, 8000 Hz, mono, 0:00.5\n"
            "  program 5 \"Shortest\", interval 1.00 s, duration 1.00 s, single precision\n"
            "  fade windows: none\n");
  EXPECT_EQ(run.err,
            "fadecrest-render: jingle.wav: 32-bit float samples written as FLAC 24-bit lose resolution\n"
            "fadecrest-render: jingle.wav: no fade window falls inside this 0:00.5 file\n");
  // Past 4 GiB a WAV is RF64, an AIFF is refused; a compressed code becomes PCM; windows are counted.
  CommandResult big = renderIn(directory, {"-n", "big/big.rf64", "adpcm.wav", "-o", "previews/"});
  EXPECT_EQ(big.exitCode, 0) << big.err;
  EXPECT_NE(
      big.out.find("big-preview.wav\n  RF64 16-bit, 8000 Hz, stereo, 48:36:40.0\n  program 1 \"Very Long"),
      std::string::npos);
  EXPECT_NE(big.out.find("12:55.0-13:00.0, ... (2692 in all)\n"), std::string::npos) << big.out;
  EXPECT_NE(big.out.find("adpcm-preview.wav\n  WAV 16-bit"), std::string::npos) << big.out;
  CommandResult aiff = renderIn(directory, {"-n", "big/big.rf64", "-o", "big.aiff"});
  EXPECT_TRUE(aiff.exitCode == 1 &&
              aiff.err.find("AIFF files cannot hold more than 4 GiB, and this one would be 5.2 GiB") !=
                  std::string::npos)
      << aiff.err;
  EXPECT_TRUE(stateOf(directory) == before);

  CommandResult programs = renderIn(directory, {"--list-programs"});
  EXPECT_EQ(programs.exitCode, 0);
  EXPECT_NE(programs.out.find("      3  Medium track       30.50 s    3.00 s\n"), std::string::npos)
      << programs.out;
}

// Three minutes of music without an input. They take seconds to render, so a signal lands while
// the output is being written: nothing is left behind, also where files without a name cannot be
// made (then a hidden name, which the handler removes and only a kill that cannot be caught leaves).
TEST(Render, WithoutInputRendersThreeMinutesOfMusicAndAnInterruptLeavesNoFile) {
  ScratchDirectory whole;
  CommandResult run = renderIn(whole, {});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("fadecrest-preview.wav"), std::string::npos) << run.out;
  Sound output = readSound(whole / "fadecrest-preview.wav");
  EXPECT_EQ(output.info.channels, 2);
  EXPECT_EQ(output.info.samplerate, 44100);
  EXPECT_EQ(output.info.frames, 180 * 44100);
  float peak = 0.0f;
  for (float sample : output.samples) peak = std::max(peak, std::fabs(sample));
  EXPECT_GT(peak, 0.25f);
  EXPECT_LT(peak, 1.0f);

  for (const std::string unnamedFiles :
       {"", "LD_PRELOAD=" FADECREST_NO_TMPFILE_PATH " ASAN_OPTIONS=verify_asan_link_order=0"}) {
    ScratchDirectory directory;
    // A second in; where the hidden file shows, once it is there, however slowly the machine goes.
    auto interrupt = [&](int signal) {
      return unnamedFiles.empty()
                 ? renderIn(directory, {}, std::chrono::milliseconds(1000), signal)
                 : shell(directory, unnamedFiles +
                                        " $R & for i in $(seq 400); do [ -z \"$(ls -A)\" ] || break; "
                                        "sleep 0.05; done; kill -" +
                                        std::to_string(signal) + " $!; wait $!; echo status $? >&2");
    };
    CommandResult terminated = interrupt(SIGTERM);
    EXPECT_TRUE(terminated.exitCode == 128 + SIGTERM || terminated.err.ends_with("status 143\n"))
        << terminated.err;
    EXPECT_TRUE(terminated.err.starts_with("fadecrest-render: interrupted by SIGTERM\n")) << terminated.err;
    EXPECT_EQ(directory.fileNames(), std::vector<std::string>{});
    CommandResult killed = interrupt(SIGKILL);
    EXPECT_TRUE(killed.exitCode == -1 || killed.err.ends_with("status 137\n")) << killed.err;
    const std::vector<std::string> left = directory.fileNames();
    EXPECT_EQ(left.size(), unnamedFiles.empty() ? 0u : 1u);
    EXPECT_TRUE(left.empty() || left[0].starts_with(".fadecrest-preview.wav.")) << left[0];
  }
}

// The version, and what the bash completion offers: options, then formats.
TEST(Render, VersionAndCompletion) {
  ScratchDirectory directory;
  EXPECT_EQ(
      shell(directory, "$R -V | head -1; source " FADECREST_COMPLETION_PATH "; for w in --form --format; do "
                       "COMP_WORDS=(fadecrest-render $w o); COMP_CWORD=$((${#w} == 6 ? 1 : 2)); "
                       "_fadecrest_render; echo ${COMPREPLY[@]}; done")
          .out,
      "fadecrest-render 1.0.0\n--format\nogg opus\n");
}

}  // namespace

// The editor snapshot: the plug-in's real editor at the settings asked for, as the golden pictures
// of the editor's own tests show it.
TEST(Render, EditorSnapshotShowsTheEditorAndItsAboutPicture) {
  ScratchDirectory directory;
  CommandResult plain = renderIn(directory, {"--editor-snapshot", "editor.png", "--program", "3", "-q"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  CommandResult about =
      renderIn(directory, {"--editor-snapshot", "about.png", "--program", "3", "--about", "-q"});
  ASSERT_EQ(about.exitCode, 0) << about.err;

  pictures::expectLooksLikeGolden(pictures::readPng((directory.path() / "editor.png").string()),
                                  "medium_track");
  pictures::expectLooksLikeGolden(pictures::readPng((directory.path() / "about.png").string()), "about");

  CommandResult lonely = renderIn(directory, {"--about"});
  EXPECT_NE(lonely.exitCode, 0);
}
