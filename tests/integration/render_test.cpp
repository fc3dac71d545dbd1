// fadecrest-render run as a user runs it, on files this test writes, with the results read back.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
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
};

void writeSound(const std::filesystem::path& path, int channels, int format,
                const std::vector<float>& samples) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = 8000;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
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
  sf_close(file);
  return sound;
}

// Reproducible noise, kept inside full scale.
std::vector<float> noise(size_t count) {
  std::vector<float> samples(count);
  uint32_t state = 12345;
  for (float& sample : samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<float>(state >> 8) / static_cast<float>(1 << 24) * 1.8f - 0.9f;
  }
  return samples;
}

CommandResult renderIn(const ScratchDirectory& directory, std::vector<std::string> arguments,
                       std::optional<std::chrono::milliseconds> signalAfter = {}, int signal = SIGTERM) {
  arguments.insert(arguments.begin(), FADECREST_RENDER_PATH);
  return runCommand(arguments, directory.path(), {}, signalAfter, signal);
}

// Every entry of a directory with what it holds: bytes, permission bits, where a link points.
std::map<std::string, std::string> stateOf(const ScratchDirectory& directory) {
  std::map<std::string, std::string> state;
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    std::string& shown = state[entry.path().filename()];
    if (entry.is_symlink())
      shown = "-> " + std::filesystem::read_symlink(entry.path()).string();
    else if (entry.is_regular_file())
      shown = std::to_string(static_cast<int>(entry.status().permissions())) + " " + contentsOf(entry.path());
  }
  return state;
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

struct FadeCase {
  const char* name;
  std::vector<std::string> options;
  int channels;
  float interval;
  float duration;
  bool doublePrecision;
};

void PrintTo(const FadeCase& test, std::ostream* out) { *out << test.name; }

class RenderFadeTest : public ::testing::TestWithParam<FadeCase> {};

TEST_P(RenderFadeTest, OutputFollowsTheFadeRuleSampleBySample) {
  const FadeCase& test = GetParam();
  constexpr int kFrames = 7 * 8000;
  ScratchDirectory directory;
  const std::vector<float> input = noise(static_cast<size_t>(kFrames) * test.channels);
  writeSound(directory / "in.wav", test.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, input);

  std::vector<std::string> arguments = test.options;
  arguments.push_back("in.wav");
  CommandResult run = renderIn(directory, arguments);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  Sound output = readSound(directory / "in-preview.wav");
  ASSERT_EQ(output.info.channels, test.channels);
  ASSERT_EQ(output.info.frames, kFrames);
  EXPECT_EQ(output.info.samplerate, 8000);
  EXPECT_EQ(output.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

  EXPECT_LT(FadeModel(test.interval, test.duration, 8000.0).cycleLength(), kFrames);  // a whole window
  expectFadeRule(input, output, test.interval, test.duration, test.doublePrecision);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RenderFadeTest,
    ::testing::Values(FadeCase{"ShortestSingle", {"--program", "5", "--block", "333"}, 2, 0.0f, 0.0f, false},
                      FadeCase{"ShortestDouble",
                               {"--program", "5", "--block", "333", "--precision", "double"},
                               2,
                               0.0f,
                               0.0f,
                               true},
                      FadeCase{"ShortestMono", {"--program", "5", "--block", "333"}, 1, 0.0f, 0.0f, false},
                      FadeCase{"SecondsOverrideProgram",
                               {"--program", "0", "--interval", "1", "--duration", "5", "--block", "1"},
                               2,
                               0.0f,
                               1.0f,
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Render, KeepsTheInputFormat) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(2 * 8000));
  CommandResult run = renderIn(directory, {"--quiet", "in.wav"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  Sound input = readSound(directory / "in.wav");
  Sound output = readSound(directory / "in-preview.wav");
  EXPECT_EQ(output.info.format, input.info.format);
  EXPECT_EQ(output.info.channels, 2);
  EXPECT_EQ(output.info.frames, input.info.frames);
}

// Nothing a failed or refused run was not asked to write changes: not the input under any of its
// names, not a file already there, not a link.
TEST(Render, RefusalsSayWhyInOneLineAndLeaveEveryFileAsItWas) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 800));
  writeSound(directory / "three.wav", 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(3 * 800));
  writeSound(directory / "out.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  { std::ofstream(directory / "notes.wav") << "not a sound\n"; }
  { std::ofstream(directory / "empty.wav"); }
  std::filesystem::create_directory(directory / "folder");
  std::filesystem::create_hard_link(directory / "in.wav", directory / "hard.wav");
  std::filesystem::create_symlink("in.wav", directory / "link.wav");
  std::filesystem::create_symlink("nowhere.wav", directory / "dangling.wav");
  std::filesystem::copy_file(directory / "out.wav", directory / "readonly.wav");
  std::filesystem::permissions(directory / "readonly.wav", std::filesystem::perms::owner_read);
  const auto before = stateOf(directory);

  struct Refusal {
    std::vector<std::string> arguments;
    std::string cause;
  };
  std::vector<Refusal> refusals = {
      {{"missing.wav"}, "missing.wav: No such file or directory"},
      {{"folder"}, "folder: is a directory"},
      {{"empty.wav"}, "empty.wav: is empty"},
      {{"notes.wav"}, "notes.wav: cannot read it"},
      {{"three.wav"}, "3 channels"},
      {{"in.wav", "--block", "0"}, "--block"},
      {{"in.wav", "--program", "6"}, "--program"},
      {{"in.wav", "--interval", "61"}, "--interval"},
      {{"in.wav", "--precision", "half"}, "--precision"},
      {{"in.wav", "--plugin", "/nonexistent/fadecrest.so"}, "cannot load plug-in"},
      {{"in.wav", "--plugin", ""}, "--plugin needs a file name"},
      {{"in.wav", "-o", "no-such-directory/out.wav"}, "No such file or directory"},
      {{"in.wav", "--format", "flac", "--bits", "float"}, "cannot hold 32-bit float"},
      {{"in.wav", "-o", "in.wav", "--force"}, "is this input itself"},
      {{"in.wav", "-o", "hard.wav", "--force"}, "is this input itself"},
      {{"in.wav", "-o", "link.wav", "--force"}, "is this input itself"},
      {{"link.wav", "-o", "./in.wav", "--force"}, "is this input itself"},
      {{"in.wav", "-o", "out.wav"}, "out.wav already exists"},
      {{"in.wav", "-o", "dangling.wav", "--force"}, "dangling.wav is a link to nothing"},
      {{"in.wav", "-o", "preview.mp3"}, "names no format"},
      {{"in.wav", "-o", "preview.WAV", "--format", "aiff"}, "says wav, but --format asks for aiff"},
      {{"in.wav", "three.wav", "-o", "previews"}, "names a folder"},
      {{"in.wav", "--editor-snapshot", "editor.png"}, "takes no input"},
      {{"--editor-snapshot", "out.wav"}, "out.wav already exists"},
  };
  // Only the superuser may write a file without write permission, with cp as with this tool.
  if (geteuid() != 0) refusals.push_back({{"in.wav", "-o", "readonly.wav", "--force"}, "Permission denied"});

  for (const Refusal& refusal : refusals) {
    CommandResult run = renderIn(directory, refusal.arguments);
    std::string shown = ::testing::PrintToString(refusal.arguments);
    EXPECT_NE(run.exitCode, 0) << shown;
    EXPECT_TRUE(run.err.starts_with("fadecrest-render: ")) << shown << ": " << run.err;
    EXPECT_NE(run.err.find(refusal.cause), std::string::npos) << shown << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
    EXPECT_TRUE(stateOf(directory) == before) << shown << " changed the directory";
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
  std::filesystem::permissions(directory / "old.wav", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write |
                                                          std::filesystem::perms::group_read);
  std::filesystem::create_symlink("old.wav", directory / "link.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a time stamp would differ now

  CommandResult run = renderIn(directory, {"-q", "in.wav", "-o", "link.wav", "-y"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(directory / "link.wav"));
  EXPECT_TRUE(contentsOf(directory / "old.wav") == contentsOf(directory / "first.wav"));
  EXPECT_EQ(std::filesystem::status(directory / "old.wav").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  EXPECT_EQ(directory.fileNames(), (std::vector<std::string>{"first.wav", "in.wav", "link.wav", "old.wav"}));
}

// One bad file does not stop the others; a cut one is rendered as far as it goes; the summary
// says which is which and the exit status that something went wrong.
TEST(Render, BatchWritesTheGoodFilesAndSummarisesTheRest) {
  ScratchDirectory directory;
  const std::vector<float> stereo = noise(2 * 3 * 8000), mono(stereo.begin(), stereo.begin() + 3 * 8000);
  writeSound(directory / "a.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, stereo);
  writeSound(directory / "b.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, mono);
  writeSound(directory / "c.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, stereo);
  { std::ofstream(directory / "broken.wav") << "not a sound\n"; }
  // The same as a.wav with its last 1000 frames cut off, the header still promising them.
  std::string cut = contentsOf(directory / "a.wav");
  cut.resize(cut.size() - 1000 * 2 * sizeof(float));
  { std::ofstream(directory / "cut.wav", std::ios::binary) << cut; }

  CommandResult run = renderIn(directory, {"--program", "5", "-j", "2", "a.wav", "broken.wav", "b.wav",
                                           "cut.wav", "c.flac", "-o", "previews/"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "wrote previews/a-preview.wav (0:03.0, 8000 Hz, stereo)\n"
            "wrote previews/b-preview.wav (0:03.0, 8000 Hz, mono)\n"
            "wrote previews/cut-preview.wav (0:02.9, 8000 Hz, stereo)\n"
            "wrote previews/c-preview.flac (0:03.0, 8000 Hz, stereo)\n");
  EXPECT_EQ(
      run.err,
      "fadecrest-render: broken.wav: cannot read it: Format not recognised\n"
      "fadecrest-render: cut.wav: it ends before its header says it does; previews/cut-preview.wav holds "
      "the 0:02.9 before that\n"
      "fadecrest-render: 4 of 5 files written, 1 of them cut short, 1 failed\n");

  expectFadeRule(stereo, readSound(directory / "previews/a-preview.wav"), 0.0f, 0.0f, false);
  expectFadeRule(mono, readSound(directory / "previews/b-preview.wav"), 0.0f, 0.0f, false);
  expectFadeRule({stereo.begin(), stereo.end() - 2000}, readSound(directory / "previews/cut-preview.wav"),
                 0.0f, 0.0f, false);
  Sound flac = readSound(directory / "previews/c-preview.flac");
  EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(flac.info.frames, 3 * 8000);
  EXPECT_EQ(std::filesystem::exists(directory / "previews/broken-preview.wav"), false);
}

// Standard input and output through real pipes give what a render of the file gives; the WAV
// header goes out before the samples, as nothing can be taken back from a pipe.
TEST(Render, PipeThroughStandardInputAndOutputMatchesTheFileRender) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 3 * 8000));
  ASSERT_EQ(renderIn(directory, {"-q", "--program", "5", "in.wav", "-o", "file.wav"}).exitCode, 0);
  CommandResult piped = runCommand(
      {"/bin/bash", "-o", "pipefail", "-c",
       "cat in.wav | '" FADECREST_RENDER_PATH "' --program 5 - -o - --format wav | cat > piped.wav"},
      directory.path());
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.err, "wrote standard output (0:03.0, 8000 Hz, stereo)\n");
  Sound file = readSound(directory / "file.wav"), pipe = readSound(directory / "piped.wav");
  EXPECT_EQ(pipe.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(pipe.info.frames, 3 * 8000);
  EXPECT_TRUE(pipe.samples == file.samples)
      << pipe.samples.size() << " samples from the pipe, " << file.samples.size() << " from the file";
}

// With --force a batch still never writes over one of its own inputs, nor twice to one name.
TEST(Render, BatchNeverWritesOverItsOwnInputs) {
  ScratchDirectory directory;
  std::filesystem::create_directory(directory / "other");
  writeSound(directory / "a.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  writeSound(directory / "a-preview.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(1600));  // a master
  writeSound(directory / "other/a.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(800));
  const std::string master = contentsOf(directory / "a-preview.wav");

  CommandResult beside = renderIn(directory, {"-q", "--force", "a.wav", "a-preview.wav"});
  EXPECT_EQ(beside.exitCode, 1);
  EXPECT_EQ(
      beside.err,
      "fadecrest-render: a.wav: the output a-preview.wav is the input a-preview.wav; not writing over it\n"
      "fadecrest-render: 1 of 2 files written, 1 failed\n");
  EXPECT_TRUE(contentsOf(directory / "a-preview.wav") == master);
  EXPECT_TRUE(std::filesystem::exists(directory / "a-preview-preview.wav"));

  CommandResult together = renderIn(directory, {"-q", "--force", "a.wav", "other/a.wav", "-o", "previews/"});
  EXPECT_EQ(together.exitCode, 1);
  EXPECT_EQ(
      together.err,
      "fadecrest-render: other/a.wav: previews/a-preview.wav is the output of an input before it as well\n"
      "fadecrest-render: 1 of 2 files written, 1 failed\n");
}

// A device is written through, never replaced by a file, whoever runs the tool.
TEST(Render, DevicesAreWrittenThrough) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 800));
  CommandResult null = renderIn(directory, {"-q", "in.wav", "-o", "/dev/null"});
  EXPECT_EQ(null.exitCode, 0) << null.err;
  CommandResult full = renderIn(directory, {"-q", "in.wav", "-o", "/dev/full", "--force"});
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.err, "fadecrest-render: in.wav: cannot write /dev/full: No space left on device\n");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  EXPECT_EQ(directory.fileNames(), std::vector<std::string>{"in.wav"});
}

// The headers only: the settings, where the windows fall, the warnings, and nothing written.
TEST(Render, DryRunShowsTheWindowsAndWritesNothing) {
  ScratchDirectory directory;
  writeSound(directory / "song.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise(2 * 3 * 8000));
  writeSound(directory / "jingle.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(4000));
  const auto before = stateOf(directory);

  CommandResult run = renderIn(
      directory, {"-n", "--program", "5", "--format", "flac", "song.wav", "jingle.wav", "-o", "previews/"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "song.wav -> previews/song-preview.flac\n"
            "  FLAC 16-bit, 8000 Hz, stereo, 0:03.0\n"
            "  program 5 \"Shortest\", interval 1.00 s, duration 1.00 s, single precision\n"
            "  fade windows: 0:01.0-0:02.0\n"
            "jingle.wav -> previews/jingle-preview.flac\n"
            "  FLAC 24-bit, 8000 Hz, mono, 0:00.5\n"
            "  program 5 \"Shortest\", interval 1.00 s, duration 1.00 s, single precision\n"
            "  fade windows: none\n");
  EXPECT_EQ(run.err,
            "fadecrest-render: jingle.wav: 32-bit float samples written as FLAC 24-bit lose resolution\n"
            "fadecrest-render: jingle.wav: no fade window falls inside this 0:00.5 file\n");
  EXPECT_TRUE(stateOf(directory) == before);

  CommandResult programs = renderIn(directory, {"--list-programs"});
  EXPECT_EQ(programs.exitCode, 0);
  EXPECT_NE(programs.out.find("      3  Medium track       30.50 s    3.00 s\n"), std::string::npos)
      << programs.out;
}

TEST(Render, WithoutInputRendersThreeMinutesOfMusic) {
  ScratchDirectory directory;
  CommandResult run = renderIn(directory, {});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("fadecrest-preview.wav"), std::string::npos) << run.out;

  Sound output = readSound(directory / "fadecrest-preview.wav");
  EXPECT_EQ(output.info.channels, 2);
  EXPECT_EQ(output.info.samplerate, 44100);
  EXPECT_EQ(output.info.frames, 180 * 44100);
  float peak = 0.0f;
  for (float sample : output.samples) peak = std::max(peak, std::fabs(sample));
  EXPECT_GT(peak, 0.25f);
  EXPECT_LT(peak, 1.0f);
}

// Three minutes take seconds to render, so the signal lands while the output is being written:
// even a kill that cannot be caught leaves nothing behind.
TEST(Render, InterruptedRenderLeavesNoFile) {
  ScratchDirectory directory;
  CommandResult terminated = renderIn(directory, {}, std::chrono::milliseconds(1000), SIGTERM);
  EXPECT_EQ(terminated.exitCode, 128 + SIGTERM);
  EXPECT_EQ(terminated.err, "fadecrest-render: interrupted by SIGTERM\n");
  EXPECT_EQ(directory.fileNames(), std::vector<std::string>{});

  CommandResult killed = renderIn(directory, {}, std::chrono::milliseconds(1000), SIGKILL);
  EXPECT_EQ(killed.exitCode, -1);
  EXPECT_EQ(directory.fileNames(), std::vector<std::string>{});
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
