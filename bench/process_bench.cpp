// Cost of the fade gate beside a plain copy of the same stereo buffers, in the passing phase and
// inside the fade window, for small, usual and large blocks. Prints the ratios at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effect/fadecrestvst.h"
#include "effect/faderamp.h"

namespace {

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

enum class Phase { passing, window };

// An effect held in one phase for as long as a benchmark runs: in the passing phase the window
// closes as soon as it opens; inside the window the passing phase is over at once.
std::unique_ptr<FadecrestVST> effectIn(Phase phase) {
  auto effect = std::make_unique<FadecrestVST>(silentHost);
  if (phase == Phase::passing) {
    effect->setParameter(kIntervalParameter, 1e9f);
    effect->setParameter(kDurationParameter, -1e9f);
  } else {
    effect->setParameter(kIntervalParameter, -1e9f);
    effect->setParameter(kDurationParameter, 1.0f);
  }
  return effect;
}

// Where a host's buffers lie changes what a copy costs as much as what the effect costs: their
// alignment (a store across two cache lines costs about two), and how far each output lies from its
// input modulo the page size (a load waits on an earlier store whose address agrees in the low 12
// bits). So every case of a block size works on the same buffers, made once: memcpy and the effect
// are timed on the same addresses. Two kinds, as hosts allocate them: each channel a block of its
// own from the heap, one after another (laid out here as the C library lays them out, each behind
// a 16-byte header), and each on a cache line. The four start on a page, so that every run times
// the same addresses modulo the page size.
enum Layout { kHeap, kCacheLine };

template <typename Sample>
struct StereoBuffers {
  StereoBuffers(int frames, Layout layout) {
    const size_t bytes = static_cast<size_t>(frames) * sizeof(Sample);
    const size_t header = layout == kHeap ? 16 : 0, alignment = layout == kHeap ? 16 : 64;
    const size_t stride = header + (bytes + alignment - 1) / alignment * alignment;
    memory = static_cast<char*>(std::aligned_alloc(4096, (4 * stride + 4095) / 4096 * 4096));
    for (int c = 0; c < 4; ++c) channels[c] = reinterpret_cast<Sample*>(memory + header + c * stride);
    for (int i = 0; i < frames; ++i) {
      inputs[0][i] = static_cast<Sample>(std::sin(i * 0.01));
      inputs[1][i] = static_cast<Sample>(std::cos(i * 0.013));
    }
  }
  ~StereoBuffers() { std::free(memory); }
  char* memory;
  Sample* channels[4];
  Sample** inputs = channels;
  Sample** outputs = channels + 2;
};

template <typename Sample>
StereoBuffers<Sample>& buffersFor(const benchmark::State& state) {
  static std::map<std::pair<int, int>, std::unique_ptr<StereoBuffers<Sample>>> made;
  const int frames = static_cast<int>(state.range(0)), layout = static_cast<int>(state.range(1));
  auto& buffers = made[{frames, layout}];
  if (!buffers) buffers = std::make_unique<StereoBuffers<Sample>>(frames, static_cast<Layout>(layout));
  return *buffers;
}

// The effect's blocks and memcpy of the same buffers, in alternating batches of calls: each batch
// pair runs within microseconds, so a stretch in which the machine runs slower (another program, a
// slower clock) slows both alike. The least time per call of each over all batches is what the code
// costs, and their ratio what it costs beside a copy; a batch that was interrupted is never the
// least.
template <typename Sample, typename Process>
void timeBesideMemcpy(benchmark::State& state, Process process) {
  const int frames = static_cast<int>(state.range(0));
  StereoBuffers<Sample>& buffers = buffersFor<Sample>(state);
  constexpr int kBatch = 256;
  using Clock = std::chrono::steady_clock;
  Clock::duration leastEffect = Clock::duration::max(), leastCopy = Clock::duration::max();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      process(buffers.inputs, buffers.outputs, frames);
      benchmark::ClobberMemory();
    }
    const Clock::time_point between = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      std::memcpy(buffers.outputs[0], buffers.inputs[0], frames * sizeof(Sample));
      std::memcpy(buffers.outputs[1], buffers.inputs[1], frames * sizeof(Sample));
      benchmark::ClobberMemory();
    }
    leastEffect = std::min(leastEffect, between - start);
    leastCopy = std::min(leastCopy, Clock::now() - between);
  }
  const auto perCall = [](Clock::duration batch) {
    return std::chrono::duration<double, std::nano>(batch).count() / kBatch;
  };
  state.counters["effect_ns"] = perCall(leastEffect);
  state.counters["memcpy_ns"] = perCall(leastCopy);
  state.counters["vs_memcpy"] = perCall(leastEffect) / perCall(leastCopy);
}

void BM_ProcessReplacing(benchmark::State& state, Phase phase) {
  auto effect = effectIn(phase);
  timeBesideMemcpy<float>(
      state, [&](float** in, float** out, int frames) { effect->processReplacing(in, out, frames); });
}

void BM_ProcessDoubleReplacing(benchmark::State& state, Phase phase) {
  auto effect = effectIn(phase);
  timeBesideMemcpy<double>(
      state, [&](double** in, double** out, int frames) { effect->processDoubleReplacing(in, out, frames); });
}

constexpr int kBlockSizes[] = {32, 64, 512, 4096};

void blockSizes(benchmark::internal::Benchmark* b) {
  for (int layout : {kHeap, kCacheLine})
    for (int frames : kBlockSizes) b->Args({frames, layout});
  b->MinTime(0.3);
}

BENCHMARK_CAPTURE(BM_ProcessReplacing, passing, Phase::passing)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessReplacing, window, Phase::window)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessDoubleReplacing, passing, Phase::passing)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessDoubleReplacing, window, Phase::window)->Apply(blockSizes);

// Keeps every case's ratio so that they can be printed as a table afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (auto ratio = run.counters.find("vs_memcpy"); ratio != run.counters.end())
        ratios[run.run_name.function_name + "/" + run.run_name.args] = ratio->second;
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ratios;
};

void printRatios(const RatioReporter& reporter) {
  const bool wide = fade::avx2RampKernel() != nullptr;
  std::printf("\nLeast time per block beside memcpy of the same stereo buffers (fade window ramp: %s):\n",
              wide ? "AVX2" : "portable");
  std::printf("  %-40s %8s %11s\n", "", "heap", "cache line");
  for (const char* process : {"BM_ProcessReplacing", "BM_ProcessDoubleReplacing"}) {
    for (const char* phase : {"passing", "window"}) {
      for (int frames : kBlockSizes) {
        const std::string name = std::string(process) + "/" + phase + "/" + std::to_string(frames);
        std::printf("  %-40s", name.c_str());
        for (int layout : {kHeap, kCacheLine}) {
          auto ratio = reporter.ratios.find(name + "/" + std::to_string(layout));
          if (ratio == reporter.ratios.end())
            std::printf(" %10s", "-");
          else
            std::printf(" %9.2fx", ratio->second);
        }
        std::printf("\n");
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
