// What the effect should output, frame by frame, computed independently of its code: the
// signal passes for the interval, then a fade window follows, and the counter carries across
// process calls.
#pragma once

#include <cmath>
#include <cstdint>

class FadeModel {
 public:
  enum class Phase { Pass, Open, Fade, Close };
  struct Step {
    Phase phase;
    float gain;
  };

  FadeModel(float interval, float duration, double sampleRate)
      : FadeModel(static_cast<int64_t>((static_cast<double>(interval) * 59.0 + 1.0) * sampleRate),
                  static_cast<int64_t>((static_cast<double>(duration) * 4.0 + 1.0) * sampleRate)) {}

  // A model with the sample counts given directly.
  FadeModel(int64_t intervalSamples, int64_t fadeSamples)
      : interval_(intervalSamples), fade_(fadeSamples), half_(fadeSamples >> 1) {}

  // Gain of the window frame with 1-based counter value c when the gain reaches zero at half.
  static float gain(int64_t half, int64_t c) {
    float hf = static_cast<float>(half);
    double ratio = (static_cast<double>(hf) - static_cast<double>(c)) / static_cast<double>(hf);
    return std::fabs(static_cast<float>(ratio));
  }

  Step next() {
    int64_t old = counter_;
    int64_t c = old + 1;
    if (!fading_) {
      if (old < interval_) {
        counter_ = c;
        return {Phase::Pass, 1.0f};
      }
      counter_ = 0;
      fading_ = true;
      return {Phase::Open, 1.0f};
    }
    if (old < fade_) {
      counter_ = c;
      return {Phase::Fade, gain(half_, c)};
    }
    counter_ = 0;
    fading_ = false;
    return {Phase::Close, 1.0f};
  }

  // Single precision scales the window; double precision mutes it, opening frame included.
  static float apply(Step step, float in) { return step.phase == Phase::Fade ? in * step.gain : in; }
  static double apply(Step step, double in) {
    return step.phase == Phase::Open || step.phase == Phase::Fade ? 0.0 : in;
  }

  int64_t cycleLength() const { return interval_ + 1 + fade_ + 1; }

 private:
  int64_t interval_;
  int64_t fade_;
  int64_t half_;
  int64_t counter_ = 0;
  bool fading_ = false;
};
