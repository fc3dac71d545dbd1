// Host automation may set parameters while the audio thread processes. Run both at once; under
// ThreadSanitizer this shows the shared fields are free of data races, and in every build that the
// audio stays bounded, one gain for both channels, while the counts change under it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "effect/fadecrestvst.h"

TEST(Concurrency, ParametersChangeWhileAudioRuns) {
  FadecrestVST effect(nullptr);
  effect.setSampleRate(200.0f);
  effect.setProgram(5);
  std::atomic<bool> done{false};

  std::thread automation([&] {
    for (int i = 0; !done.load(); ++i) {
      effect.setParameter(i % 2, static_cast<float>(i % 101) / 100.0f);
      if (i % 1000 == 0) std::this_thread::yield();
    }
  });

  const int frames = 256;
  std::vector<float> left(frames, 0.5f), right(frames, -0.5f), outL(frames), outR(frames);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outL.data(), outR.data()};
  float largest = 0.0f;
  for (int block = 0; block < 2000; ++block) {
    effect.processReplacing(in, out, frames);
    for (int i = 0; i < frames; ++i) {
      ASSERT_TRUE(std::isfinite(outL[i]));
      // Both channels of a frame get one gain, even while the counts change under them.
      ASSERT_EQ(outR[i], -outL[i]) << "block " << block << " frame " << i;
      largest = std::max(largest, std::fabs(outL[i]));
    }
  }
  done = true;
  automation.join();
  // The gain never exceeds 1 + 1/h, and h is at least 100 at 200 Hz.
  EXPECT_LE(largest, 0.5f * 1.01f);
}
