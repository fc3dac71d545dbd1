// The music rendered when no input file is given: a stereo chord progression with bass and
// arpeggio, long enough to hear several fades.
#pragma once

#include <algorithm>

#include "audio_files.h"

namespace render {

class TestSignal final : public SignalSource {
 public:
  static constexpr int kSampleRate = 44100;
  static constexpr int64_t kFrames = int64_t{3} * 60 * kSampleRate;

  int channels() const override { return 2; }
  int sampleRate() const override { return kSampleRate; }
  int64_t frames() const override { return kFrames; }
  int64_t read(float* interleaved, int64_t frames) override { return generate(interleaved, frames); }
  int64_t read(double* interleaved, int64_t frames) override { return generate(interleaved, frames); }

  // One stereo frame at a time, by its index from the start.
  static void frameAt(int64_t frame, double& left, double& right);

 private:
  template <typename T>
  int64_t generate(T* interleaved, int64_t frames) {
    int64_t count = std::min(frames, kFrames - position_);
    for (int64_t i = 0; i < count; ++i) {
      double left, right;
      frameAt(position_ + i, left, right);
      interleaved[2 * i] = static_cast<T>(left);
      interleaved[2 * i + 1] = static_cast<T>(right);
    }
    position_ += count;
    return count;
  }

  int64_t position_ = 0;
};

}  // namespace render
