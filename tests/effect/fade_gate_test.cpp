// The fade gate, checked frame by frame against the rule: pass for the interval, open the window,
// ramp (single precision) or mute (double precision) for the duration, close, and again; also while
// the parameters change under it from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>
#include <thread>
#include <vector>

#include "effect/fadecrestvst.h"
#include "effect/faderamp.h"
#include "support/fade_model.h"

namespace {

// An effect at a sample rate small enough that whole cycles fit in a test: at 10 Hz the shortest
// program gives interval 10, fade 10, half-fade 5.
struct SmallEffect {
  explicit SmallEffect(float rate = 10.0f, float interval = 0.0f, float duration = 0.0f) : effect(nullptr) {
    effect.dispatcher(effSetSampleRate, 0, 0, nullptr, rate);
    effect.setParameter(kIntervalParameter, interval);
    effect.setParameter(kDurationParameter, duration);
  }
  FadeModel model() const { return FadeModel(effect.intervalSampleCount(), effect.fadeSampleCount()); }
  FadecrestVST effect;
};

std::vector<float> ones(size_t n) { return std::vector<float>(n, 1.0f); }

// Runs a single-precision block through the effect, left input as given, right input negated,
// into buffers of its own or in place.
std::vector<float> runSingle(FadecrestVST& effect, std::vector<float> left,
                             std::vector<float>* rightOut = nullptr, bool inPlace = false) {
  std::vector<float> right(left.size());
  for (size_t i = 0; i < left.size(); ++i) right[i] = -left[i];
  std::vector<float> outL(left.size(), 99.0f), outR(left.size(), 99.0f);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outL.data(), outR.data()};
  effect.processReplacing(in, inPlace ? in : out, static_cast<VstInt32>(left.size()));
  if (rightOut) *rightOut = inPlace ? right : outR;
  return inPlace ? left : outL;
}

std::vector<double> runDouble(FadecrestVST& effect, std::vector<double> left, bool inPlace = false) {
  std::vector<double> right(left), outL(left.size(), 99.0), outR(left.size(), 99.0);
  double* in[2] = {left.data(), right.data()};
  double* out[2] = {outL.data(), outR.data()};
  double** to = inPlace ? in : out;
  effect.processDoubleReplacing(in, to, static_cast<VstInt32>(left.size()));
  for (size_t i = 0; i < left.size(); ++i) EXPECT_EQ(to[0][i], to[1][i]) << "frame " << i;
  return std::vector<double>(to[0], to[0] + left.size());
}

// At 10 Hz, interval 10 and fade 10 (half 5). Single precision passes interval + 1 frames, ramps the
// window (the right channel alike) and passes the closing frame; double precision mutes the opening
// frame and the window with positive zeros. A cycle is interval + fade + 2 frames; the next repeats it.
TEST(FadeGateTimeline, OneCycleInEachPrecisionAndTheNextTheSame) {
  SmallEffect single, twice;
  ASSERT_EQ(single.effect.intervalSampleCount(), 10);
  ASSERT_EQ(single.effect.fadeSampleCount(), 10);
  ASSERT_EQ(single.effect.halfFadeSampleCount(), 5);
  auto twoOf = [](auto cycle) {
    const auto first = cycle;
    cycle.insert(cycle.end(), first.begin(), first.end());
    return cycle;
  };
  std::vector<float> ramped(11, 1.0f);
  ramped.insert(ramped.end(), {0.8f, 0.6f, 0.4f, 0.2f, 0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f});
  std::vector<double> muted(10, 0.5);
  muted.insert(muted.end(), 11, 0.0);
  muted.push_back(0.5);

  std::vector<float> right;
  EXPECT_EQ(runSingle(single.effect, ones(44), &right), twoOf(ramped));
  for (float& gain : ramped) gain = -gain;
  EXPECT_EQ(right, twoOf(ramped));
  const std::vector<double> out = runDouble(twice.effect, std::vector<double>(44, 0.5));
  EXPECT_EQ(out, twoOf(muted));
  EXPECT_TRUE(std::none_of(out.begin(), out.end(), [](double v) { return std::signbit(v); }));

  // A cycle begun in single precision goes on in double precision: four frames into the window,
  // frames 5 to 10 are muted, then the closing frame and the passing phase pass.
  runSingle(single.effect, ones(15));
  EXPECT_EQ(runDouble(single.effect, std::vector<double>(8, 1.0)),
            (std::vector<double>{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 1.0}));
}

// Every other block is processed in place.
TEST(FadeGateTimeline, AnyBlockSplitGivesThePerFrameResultInBothPrecisions) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  std::uniform_int_distribution<int> blockSize(0, 37);
  for (float rate : {10.0f, 23.0f, 44100.0f / 1000.0f}) {
    SmallEffect small(rate, 0.3f, 0.6f);
    FadeModel model = small.model();
    for (int block = 0; block < 200; ++block) {
      std::vector<float> in(blockSize(random));
      for (float& s : in) s = sample(random);
      std::vector<float> right;
      std::vector<float> out = runSingle(small.effect, in, &right, block % 2 == 1);
      for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[i], FadeModel::apply(model.next(), in[i])) << "rate " << rate;
        ASSERT_EQ(right[i], -out[i]);
      }
    }
  }
  SmallEffect small(17.0f, 0.4f, 0.9f);
  FadeModel model = small.model();
  for (int block = 0; block < 200; ++block) {
    std::vector<double> in(blockSize(random));
    for (double& s : in) s = sample(random);
    std::vector<double> out = runDouble(small.effect, in, block % 2 == 1);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], FadeModel::apply(model.next(), in[i]));
  }
}

TEST(FadeGateTimeline, EmptyAndNegativeBlocksReadAndWriteNothing) {
  SmallEffect small;
  runSingle(small.effect, ones(5));
  // A host may pass no channels with an empty block: they must not even be looked at.
  small.effect.processReplacing(nullptr, nullptr, 0);
  small.effect.processDoubleReplacing(nullptr, nullptr, -1);
  float in = 3.0f, out = 7.0f;
  float* ins[2] = {&in, &in};
  float* outs[2] = {&out, &out};
  small.effect.processReplacing(ins, outs, -4);
  double twiceIn = 3.0, twiceOut = 7.0;
  double* doubleIns[2] = {&twiceIn, &twiceIn};
  double* doubleOuts[2] = {&twiceOut, &twiceOut};
  small.effect.processDoubleReplacing(doubleIns, doubleOuts, 0);
  EXPECT_EQ(out, 7.0f);
  EXPECT_EQ(twiceOut, 7.0);
  std::vector<float> after = runSingle(small.effect, ones(8));
  EXPECT_EQ(after[5], 1.0f);  // the opening frame, still at frame 10 of the cycle
  EXPECT_EQ(after[6], 0.8f);
}

// Zero at the middle for any finite input; the last ramped frame is 1 for an even fade and 1 + 1/h
// for an odd one.
TEST(FadeGateGain, ZeroAtTheMiddleTheLastRampedFrameByTheParityOfTheFadeAndAOneFrameWindowSilent) {
  SmallEffect even;
  std::vector<float> out = runSingle(even.effect, std::vector<float>(22, -12345.678f));
  EXPECT_EQ(out[15], 0.0f);  // c == h
  EXPECT_EQ(out[20], -12345.678f);

  // 11 Hz: fade 11 frames, half 5; the last frame has c = 11, gain (11 - 5) / 5.
  SmallEffect odd(11.0f);
  ASSERT_EQ(odd.effect.fadeSampleCount(), 11);
  out = runSingle(odd.effect, ones(24));
  EXPECT_EQ(out[12], 0.8f);  // first window frame, (h - 1) / h
  EXPECT_EQ(out[22], static_cast<float>(6.0 / 5.0));
  EXPECT_EQ(out[23], 1.0f);  // closes the window

  // At 1 Hz with duration 0 the fade count is 1 and the half-fade count 0: the one window frame is
  // silent instead of a division by zero.
  SmallEffect one(1.0f);
  ASSERT_EQ(one.effect.fadeSampleCount(), 1);
  ASSERT_EQ(one.effect.halfFadeSampleCount(), 0);
  EXPECT_EQ(runSingle(one.effect, std::vector<float>(4, 0.5f)), (std::vector<float>{0.5f, 0.5f, 0.0f, 0.5f}));
}

// Windows of many lengths, short and long, up to the longest the ramp versions take.
std::vector<int32_t> halfFadeCounts() {
  std::vector<int32_t> halves;
  for (int32_t h = 1; h < 600; ++h) halves.push_back(h);
  for (int32_t h :
       {22050, 66150, 110250, 120000, 480000, (1 << 20) - 1, (1 << 20) + 1, (1 << 21) - 1, 1 << 21})
    halves.push_back(h);
  return halves;
}

TEST(FadeGateGain, EveryRampVersionMatchesTheDoubleFormulaBitForBit) {
  std::vector<std::pair<const char*, fade::RampKernel>> versions = {{"portable", fade::rampPortable}};
  if (fade::RampKernel avx2 = fade::avx2RampKernel())
    versions.emplace_back("avx2", avx2);
  else
    std::cout << "[ note     ] this processor has no AVX2: only the portable version is checked\n";
  // Where the outputs start, in floats from a 64-byte boundary, and whether they are the inputs.
  // After the first 13 frames the outputs of 3 and 7 lie 0 and 4 frames before a 32-byte boundary.
  const struct {
    int32_t left, right;
    bool inPlace;
  } layouts[] = {{3, 3, false}, {7, 3, false}, {3, 7, true}, {7, 7, false}, {0, 5, true}};
  for (const auto& [name, ramp] : versions) {
    for (int32_t h : halfFadeCounts()) {
      // A whole window of 2h + 1 frames in three runs.
      const int32_t frames = 2 * h + 1, stride = (frames + 31) / 16 * 16;
      std::vector<float> left(frames), right(frames), memory(4 * stride + 16);
      for (int32_t k = 0; k < frames; ++k) {
        left[k] = 0.25f + static_cast<float>(k % 7) * 0.125f;
        right[k] = -left[k];
      }
      float* base = memory.data() + (64 - reinterpret_cast<std::uintptr_t>(memory.data()) % 64) / 4;
      for (const auto& layout : layouts) {
        float* outL = base + layout.left;
        float* outR = base + 2 * stride + layout.right;
        float* inL = layout.inPlace ? outL : base + stride + 1;
        float* inR = layout.inPlace ? outR : base + 3 * stride + 2;
        std::fill(memory.begin(), memory.end(), 7.0f);  // what follows each output stays so
        std::copy(left.begin(), left.end(), inL);
        std::copy(right.begin(), right.end(), inR);
        // Runs of 13 frames, of all but the last h % 16 frames, and of those: the long one starts
        // on the layout's boundary and takes every length modulo 16.
        const int32_t ends[] = {std::min(frames, 13), std::max(std::min(frames, 13), frames - h % 16),
                                frames};
        for (int32_t run = 0, from = 0; run < 3; from = ends[run++])
          ramp(inL + from, inR + from, outL + from, outR + from, ends[run] - from, from + 1,
               fade::Divisor(h));
        ASSERT_EQ(outL[frames], 7.0f) << name << " h " << h << " wrote past the end at " << layout.left;
        ASSERT_EQ(outR[frames], 7.0f) << name << " h " << h << " wrote past the end at " << layout.right;
        const int32_t step = h > 5000 ? 997 : 1;
        for (int32_t k = 0; k < frames; k += step) {
          const float g = FadeModel::gain(h, k + 1);
          ASSERT_EQ(outL[k], left[k] * g) << name << " h " << h << " c " << k + 1 << " at " << layout.left;
          ASSERT_EQ(outR[k], right[k] * g) << name << " h " << h << " c " << k + 1 << " at " << layout.right;
        }
      }
    }
  }
}

TEST(FadeGateGain, EveryWindowLengthThroughTheEffectMatchesTheDoubleFormulaBitForBit) {
  // The version this processor runs, and windows too long for any version.
  std::vector<int32_t> halves = halfFadeCounts();
  for (int32_t h : {(1 << 21) + 1, (1 << 23) - 1, 1 << 23, (1 << 24) + 2}) halves.push_back(h);
  for (int32_t h : halves) {
    // The sample rate 2h with duration 0 gives a fade of 2h frames; a negative interval opens the
    // window at the first frame.
    SmallEffect small(static_cast<float>(2 * h), -1.0f, 0.0f);
    ASSERT_EQ(small.effect.halfFadeSampleCount(), h);
    runSingle(small.effect, ones(1));
    const int32_t chunk = 1 << 16;
    const int32_t step = h > 5000 ? 997 : 1;
    for (int32_t first = 1; first <= 2 * h; first += chunk) {
      std::vector<float> out = runSingle(small.effect, ones(std::min(chunk, 2 * h - first + 1)));
      for (size_t k = 0; k < out.size(); k += step) {
        int32_t c = first + static_cast<int32_t>(k);
        ASSERT_EQ(out[k], FadeModel::gain(h, c)) << "h " << h << " c " << c;
      }
    }
  }
}

// Counts read afresh at every frame: a change takes effect at the next frame of a running cycle.
TEST(FadeGateParameterChanges, TakeEffectAtTheNextFrame) {
  // What follows `frames` frames of ones at 10 Hz with the given parameters, once `change` is made.
  auto after = [](float interval, float duration, int frames, auto change, size_t n) {
    SmallEffect small(10.0f, interval, duration);
    runSingle(small.effect, ones(frames));
    change(small.effect);
    return runSingle(small.effect, ones(n));
  };
  auto setDuration = [](float value) {
    return [=](FadecrestVST& e) { e.setParameter(kDurationParameter, value); };
  };
  // Fade 50, 20 frames into the window; fade 10 is below the counter: the window closes unchanged.
  EXPECT_EQ(after(0.0f, 1.0f, 31, setDuration(0.0f), 2), (std::vector<float>{1.0f, 1.0f}));
  // Five frames into a window of half 25; half 15 moves the ramp: |15 - 6| / 15.
  EXPECT_EQ(after(0.0f, 1.0f, 16, setDuration(0.5f), 1), std::vector<float>{0.6f});
  // A new sample rate retimes the running window without restarting it: half 50, |50 - 6| / 50.
  auto rate20 = [](FadecrestVST& e) { e.dispatcher(effSetSampleRate, 0, 0, nullptr, 20.0f); };
  EXPECT_EQ(after(0.0f, 1.0f, 16, rate20, 1), std::vector<float>{0.88f});
  // Interval 600, 100 frames in; interval 10 opens the window at once.
  auto interval0 = [](FadecrestVST& e) { e.setParameter(kIntervalParameter, 0.0f); };
  EXPECT_EQ(after(1.0f, 0.0f, 100, interval0, 2), (std::vector<float>{1.0f, 0.8f}));

  // The shorter duration ends a running window in double precision too.
  SmallEffect twice(10.0f, 0.0f, 1.0f);
  runDouble(twice.effect, std::vector<double>(31, 1.0));
  twice.effect.setParameter(kDurationParameter, 0.0f);
  EXPECT_EQ(runDouble(twice.effect, {1.0})[0], 1.0);
}

// Host automation may set parameters while the audio thread processes. Run both at once; under
// ThreadSanitizer this shows the shared fields are free of data races, and in every build that the
// audio stays bounded, one gain for both channels, while the counts change under it.
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

}  // namespace
