#include "renderer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace render {

volatile std::sig_atomic_t stopRequested = 0;

namespace {

class ProgressBar {
 public:
  ProgressBar(bool enabled, int64_t total) : enabled_(enabled && total > 0), total_(total) {}
  ~ProgressBar() {
    if (shown_ >= 0) std::fputc('\n', stderr);
  }

  void update(int64_t done) {
    if (!enabled_) return;
    int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total_));
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", percent);
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  int64_t total_;
  int shown_ = -1;
};

template <typename T>
void renderIn(PluginHost& effect, SignalSource& source, OutputFile& output, int blockSize,
              bool showProgress) {
  const int fileChannels = source.channels();
  const int inputs = effect.numInputs();
  const int outputs = effect.numOutputs();

  std::vector<T> interleaved(static_cast<size_t>(blockSize) * fileChannels);
  std::vector<std::vector<T>> in(inputs, std::vector<T>(blockSize));
  std::vector<std::vector<T>> out(outputs, std::vector<T>(blockSize));
  std::vector<T*> inPointers, outPointers;
  for (auto& channel : in) inPointers.push_back(channel.data());
  for (auto& channel : out) outPointers.push_back(channel.data());

  ProgressBar progress(showProgress, source.frames());
  int64_t done = 0;
  while (int64_t got = source.read(interleaved.data(), blockSize)) {
    if (stopRequested) throw std::runtime_error("interrupted");
    const int frames = static_cast<int>(got);
    // Channel i feeds input i; the last channel also feeds any inputs beyond, so mono fills both.
    for (int c = 0; c < inputs; ++c) {
      int from = std::min(c, fileChannels - 1);
      for (int i = 0; i < frames; ++i) in[c][i] = interleaved[static_cast<size_t>(i) * fileChannels + from];
    }
    effect.process(inPointers.data(), outPointers.data(), frames);
    for (int c = 0; c < fileChannels; ++c)
      for (int i = 0; i < frames; ++i) interleaved[static_cast<size_t>(i) * fileChannels + c] = out[c][i];
    output.write(interleaved.data(), got);
    done += got;
    progress.update(done);
  }
}

}  // namespace

void renderSource(PluginHost& effect, SignalSource& source, OutputFile& output, int blockSize,
                  Precision precision, bool showProgress) {
  const int most = std::min(effect.numInputs(), effect.numOutputs());
  if (source.channels() > most)
    throw std::runtime_error("the input has " + std::to_string(source.channels()) +
                             " channels; the plug-in takes at most " + std::to_string(most));
  if (precision == Precision::Double)
    renderIn<double>(effect, source, output, blockSize, showProgress);
  else
    renderIn<float>(effect, source, output, blockSize, showProgress);
}

}  // namespace render
