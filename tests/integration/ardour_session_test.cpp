// A real host running the effect: Ardour, headless on its dummy engine, builds a session whose
// stereo track plays a file written here through Fadecrest, bounces the session with its export
// tool, and the bounce is compared with what the effect should have done to the file.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <numbers>

#include "ardour_tools.h"
#include "support/fade_model.h"

namespace {

const std::string kExport = "/usr/bin/ardour7-export";
constexpr int kRate = 44100;
constexpr sf_count_t kFrames = 4 * kRate;

// Two different tones, so a swapped or summed channel shows.
float inputSample(sf_count_t frame, int channel) {
  double phase = 2.0 * std::numbers::pi * static_cast<double>(frame) / kRate;
  return channel == 0 ? static_cast<float>(0.5 * std::sin(441.0 * phase))
                      : static_cast<float>(0.3 * std::sin(1003.0 * phase + 0.5));
}

// Where the model, set like the session's effect, first reaches silence: after the interval, the
// opening frame and half the window.
int64_t firstSilence() {
  FadeModel model(0.0f, 0.0f, kRate);
  int64_t frame = 0;
  while (model.next().gain > 0.0f) ++frame;
  return frame;
}

int64_t cycle() { return FadeModel(0.0f, 0.0f, kRate).cycleLength(); }

// The effect's counter starts when Ardour makes it, and the export tool runs the track for some
// thousands of frames before the first one it writes, so the windows are not aligned with the
// file. The phase is read off the bounce instead: the frame where the left channel is quietest
// relative to its input is the middle of a window.
int64_t framesBeforeFile(const std::vector<float>& output) {
  sf_count_t quietest = 0;
  double lowest = 2.0;
  for (sf_count_t frame = 0; frame < kFrames; ++frame) {
    float in = inputSample(frame, 0);
    if (std::fabs(in) < 0.25f) continue;  // near a zero crossing the ratio says little
    double gain = std::fabs(output[static_cast<size_t>(frame) * 2] / in);
    if (gain < lowest) lowest = gain, quietest = frame;
  }
  return ((firstSilence() - quietest) % cycle() + cycle()) % cycle();
}

// Largest difference between the bounce and the model's output of the file after `lead` frames.
float largestError(const std::vector<float>& output, int64_t lead) {
  FadeModel model(0.0f, 0.0f, kRate);
  for (int64_t i = 0; i < lead; ++i) model.next();
  float largest = 0.0f;
  for (sf_count_t frame = 0; frame < kFrames; ++frame) {
    FadeModel::Step step = model.next();
    for (int channel = 0; channel < 2; ++channel) {
      float expected = FadeModel::apply(step, inputSample(frame, channel));
      largest = std::max(largest, std::fabs(output[static_cast<size_t>(frame) * 2 + channel] - expected));
    }
  }
  return largest;
}

TEST(ArdourSession, BouncesATrackThroughTheEffect) {
  if (access(kArdourLua.c_str(), X_OK) != 0) GTEST_SKIP() << kArdourLua << " is not installed";
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "Ardour cannot load a thread-sanitized module: the runtime must be preloaded, "
                  "and preloaded it deadlocks Ardour at exit";
#endif
  ScratchDirectory scratch;
  const std::filesystem::path input = scratch / "input.wav", bounce = scratch / "bounce.wav";
  const std::filesystem::path session = scratch / "session";

  {
    std::vector<float> samples(static_cast<size_t>(kFrames) * 2);
    for (sf_count_t frame = 0; frame < kFrames; ++frame)
      for (int channel = 0; channel < 2; ++channel)
        samples[static_cast<size_t>(frame) * 2 + channel] = inputSample(frame, channel);
    SF_INFO info{.samplerate = kRate, .channels = 2, .format = SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    SNDFILE* file = sf_open(input.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_float(file, samples.data(), kFrames), kFrames);
    sf_close(file);
  }

  // Ardour's configuration, its scanner's index and its temporary files stay in this test's own
  // directories, apart from any other Ardour on the machine.
  const std::filesystem::path plugins = moduleFolder(scratch.path());
  const auto environment = ardourEnvironment(scratch.path(), plugins);
  ASSERT_NO_FATAL_FAILURE(scanAsArdourDoes(plugins / "fadecrest.so", environment));
  CommandResult build =
      buildSession({std::to_string(kRate), input, std::to_string(kFrames)}, session, environment);
  ASSERT_NE(build.out.find("session ready"), std::string::npos)
      << describe("building the session with " + kArdourLua, build);

  CommandResult exported = withSecondTry([&] {
    return runBounded({kExport, "-b", "float", "-o", bounce, session, "fadecrest"}, environment);
  });
  ASSERT_EQ(exported.exitCode, 0) << describe("bouncing the session with " + kExport, exported);

  SF_INFO info{};
  SNDFILE* file = sf_open(bounce.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << describe(
      "bouncing the session with " + kExport + " (no readable bounce: " + sf_strerror(nullptr) + ")",
      exported);
  std::vector<float> output(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, output.data(), info.frames);
  sf_close(file);
  ASSERT_EQ(info.channels, 2);
  ASSERT_EQ(info.samplerate, kRate);
  ASSERT_EQ(info.frames, kFrames);

  // With a one-second interval and a one-second window the four seconds hold two windows
  // whatever the phase.
  const int64_t lead = framesBeforeFile(output);
  // Frame for frame, both channels: unchanged through each interval, scaled down to silence and
  // back up through each window. The quietest frame may be off by a few, so look around it.
  int64_t bestLead = lead;
  float best = largestError(output, lead);
  for (int64_t candidate = std::max<int64_t>(0, lead - 16); candidate <= lead + 16; ++candidate) {
    float error = largestError(output, candidate);
    if (error < best) best = error, bestLead = candidate;
  }
  EXPECT_LT(best, 1e-5f) << "the bounce does not follow the fade at any phase near " << lead << " frames";

  // Said plainly at a point a listener would check: the middle of the first window is silent
  // on both channels, not merely quieter.
  sf_count_t silent = ((firstSilence() - bestLead) % cycle() + cycle()) % cycle();
  if (silent < 20) silent += cycle();
  ASSERT_LT(silent + 20, kFrames);
  for (sf_count_t frame = silent - 20; frame <= silent + 20; ++frame)
    for (int channel = 0; channel < 2; ++channel)
      ASSERT_LT(std::fabs(output[static_cast<size_t>(frame) * 2 + channel]), 0.001f)
          << "not silent at frame " << frame << ", channel " << channel;
  std::cout << "[ info     ] Ardour ran the effect for " << bestLead
            << " frames before the file started; largest difference " << best << "\n";
}

}  // namespace
