// fadecrest-render run as a user runs it, on files this test writes, with the results read back.
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "command.h"
#include "support/fade_model.h"

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

Sound readSound(const std::filesystem::path& path) {
  Sound sound;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
  if (!file) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return sound;
  }
  sound.samples.resize(static_cast<size_t>(sound.info.frames * sound.info.channels));
  sf_readf_float(file, sound.samples.data(), sound.info.frames);
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
                       std::optional<std::chrono::milliseconds> terminateAfter = {}) {
  arguments.insert(arguments.begin(), FADECREST_RENDER_PATH);
  return runCommand(arguments, directory.path(), {}, terminateAfter);
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

  // A mono file feeds both inputs and keeps the left output.
  FadeModel model(test.interval, test.duration, 8000.0);
  EXPECT_LT(model.cycleLength(), kFrames);  // at least one whole window and its end
  int mismatches = 0;
  for (size_t i = 0; i < output.samples.size() && mismatches < 5; i += test.channels) {
    FadeModel::Step step = model.next();
    for (int c = 0; c < test.channels; ++c) {
      float in = input[i + c];
      float expected = test.doublePrecision
                           ? static_cast<float>(FadeModel::apply(step, static_cast<double>(in)))
                           : FadeModel::apply(step, in);
      if (output.samples[i + c] != expected && ++mismatches)
        ADD_FAILURE() << "frame " << i / test.channels << " channel " << c << ": got "
                      << output.samples[i + c] << ", expected " << expected << " from " << in;
    }
  }
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

TEST(Render, FailuresSayWhyInOneLineAndLeaveNoFile) {
  ScratchDirectory directory;
  writeSound(directory / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(2 * 800));
  writeSound(directory / "three.wav", 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT, noise(3 * 800));
  { std::ofstream(directory / "notes.wav") << "not a sound\n"; }
  const std::vector<std::string> before = directory.fileNames();

  const std::vector<std::vector<std::string>> failures = {
      {"missing.wav"},
      {"three.wav"},
      {"notes.wav"},
      {"in.wav", "--block", "0"},
      {"in.wav", "--program", "6"},
      {"in.wav", "--interval", "61"},
      {"in.wav", "--precision", "half"},
      {"in.wav", "--plugin", "/nonexistent/fadecrest.so"},
      {"in.wav", "-o", "no-such-directory/out.wav"},
      {"in.wav", "--format", "flac", "--bits", "float"},
  };
  for (const auto& arguments : failures) {
    CommandResult run = renderIn(directory, arguments);
    std::string shown = ::testing::PrintToString(arguments);
    EXPECT_NE(run.exitCode, 0) << shown;
    EXPECT_TRUE(run.err.starts_with("fadecrest-render: ")) << shown << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
    EXPECT_EQ(directory.fileNames(), before) << shown;
  }
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

// Three minutes take seconds to render, so the signal lands while the output is being written.
TEST(Render, InterruptedRenderLeavesNoFile) {
  ScratchDirectory directory;
  CommandResult run = renderIn(directory, {}, std::chrono::milliseconds(1000));
  EXPECT_EQ(run.exitCode, 128 + SIGTERM);
  EXPECT_EQ(run.err, "fadecrest-render: interrupted by SIGTERM\n");
  EXPECT_EQ(directory.fileNames(), std::vector<std::string>{});
}

}  // namespace

// The editor snapshot: the plug-in's real editor, opened in a host window of the render tool.
TEST(Render, EditorSnapshotShowsTheEditorAndItsAboutPicture) {
  ScratchDirectory directory;
  CommandResult plain = renderIn(directory, {"--editor-snapshot", "editor.png", "--program", "3", "-q"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  CommandResult about = renderIn(directory, {"--editor-snapshot", "about.png", "--program", "3", "--about", "-q"});
  ASSERT_EQ(about.exitCode, 0) << about.err;

  auto read = [&](const std::string& name) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string path = (directory.path() / name).string();
    EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(image.width, 328u);
    EXPECT_EQ(image.height, 264u);
    return pixels;
  };
  std::vector<png_byte> editor = read("editor.png");
  std::vector<png_byte> withAbout = read("about.png");
  ASSERT_EQ(editor.size(), static_cast<size_t>(328 * 264 * 3));
  // The corners are the black ground; the panel of the about picture is grey where the knobs were.
  EXPECT_EQ(editor[0] + editor[1] + editor[2], 0);
  size_t knobCentre = (178 * 328 + 93) * 3;
  EXPECT_NE(editor[knobCentre], withAbout[knobCentre]);
  // Orange value text in the interval display.
  bool orange = false;
  for (int y = 235; y < 249; ++y)
    for (int x = 46; x < 76; ++x) {
      const png_byte* p = &editor[(static_cast<size_t>(y) * 328 + x) * 3];
      orange |= p[0] > 150 && p[1] > 50 && p[1] < 140 && p[2] < 40;
    }
  EXPECT_TRUE(orange);

  CommandResult lonely = renderIn(directory, {"--about"});
  EXPECT_NE(lonely.exitCode, 0);
}
