#include "renderer.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace render {
namespace {

// Frames per read and write: large enough that system calls cost nothing beside the audio,
// small enough to stay in the cache.
constexpr int kChunkFrames = 32768;

template <typename T>
int64_t renderIn(PluginHost& effect, SignalSource& source, SoundWriter& output, int blockSize,
                 std::atomic<int64_t>& framesDone) {
  const int fileChannels = source.channels();
  const int inputs = effect.numInputs();
  const int outputs = effect.numOutputs();
  // Whole blocks per chunk, so every process call but the last has the block size asked for.
  const int chunkFrames = blockSize * std::max(1, kChunkFrames / blockSize);

  std::vector<T> interleaved(static_cast<size_t>(chunkFrames) * fileChannels);
  std::vector<std::vector<T>> in(inputs, std::vector<T>(blockSize));
  std::vector<std::vector<T>> out(outputs, std::vector<T>(blockSize));
  std::vector<T*> inPointers, outPointers;
  for (auto& channel : in) inPointers.push_back(channel.data());
  for (auto& channel : out) outPointers.push_back(channel.data());

  int64_t total = 0;
  while (int64_t got = source.read(interleaved.data(), chunkFrames)) {
    for (int64_t start = 0; start < got; start += blockSize) {
      const int frames = static_cast<int>(std::min<int64_t>(blockSize, got - start));
      T* block = interleaved.data() + start * fileChannels;
      // Channel i feeds input i; the last channel also feeds any inputs beyond, so mono fills both.
      for (int c = 0; c < inputs; ++c) {
        const int from = std::min(c, fileChannels - 1);
        for (int i = 0; i < frames; ++i) in[c][i] = block[static_cast<size_t>(i) * fileChannels + from];
      }
      effect.process(inPointers.data(), outPointers.data(), frames);
      for (int c = 0; c < fileChannels; ++c)
        for (int i = 0; i < frames; ++i) block[static_cast<size_t>(i) * fileChannels + c] = out[c][i];
    }
    output.write(interleaved.data(), got);
    total += got;
    framesDone += got;
  }
  return total;
}

}  // namespace

int64_t renderSource(PluginHost& effect, SignalSource& source, SoundWriter& output, int blockSize,
                     Precision precision, std::atomic<int64_t>& framesDone) {
  const int most = std::min(effect.numInputs(), effect.numOutputs());
  if (source.channels() > most)
    throw std::runtime_error("it has " + std::to_string(source.channels()) +
                             " channels; the plug-in takes at most " + std::to_string(most));
  if (precision == Precision::Double) return renderIn<double>(effect, source, output, blockSize, framesDone);
  return renderIn<float>(effect, source, output, blockSize, framesDone);
}

}  // namespace render
