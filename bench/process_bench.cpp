// Cost of the fade gate beside a plain copy of the same stereo buffers, in the passing phase and
// inside the fade window, for small, usual and large blocks. Prints the ratios at the end, from CPU
// time: on a shared machine the wall time of a run also counts the time other programs had.
#include <benchmark/benchmark.h>

#include <algorithm>
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
// a 16-byte header, so that every run gets the same addresses modulo 64), and each on a cache line.
enum Layout { kHeap, kCacheLine };

template <typename Sample>
struct StereoBuffers {
  StereoBuffers(int frames, Layout layout) {
    const size_t bytes = static_cast<size_t>(frames) * sizeof(Sample);
    const size_t header = layout == kHeap ? 16 : 0, alignment = layout == kHeap ? 16 : 64;
    const size_t stride = header + (bytes + alignment - 1) / alignment * alignment;
    memory = static_cast<char*>(std::aligned_alloc(64, (4 * stride + 63) / 64 * 64));
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

template <typename Sample>
void BM_Memcpy(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  StereoBuffers<Sample>& buffers = buffersFor<Sample>(state);
  for (auto _ : state) {
    std::memcpy(buffers.outputs[0], buffers.inputs[0], frames * sizeof(Sample));
    std::memcpy(buffers.outputs[1], buffers.inputs[1], frames * sizeof(Sample));
    benchmark::ClobberMemory();
  }
}

void BM_ProcessReplacing(benchmark::State& state, Phase phase) {
  const int frames = static_cast<int>(state.range(0));
  auto effect = effectIn(phase);
  StereoBuffers<float>& buffers = buffersFor<float>(state);
  for (auto _ : state) {
    effect->processReplacing(buffers.inputs, buffers.outputs, frames);
    benchmark::ClobberMemory();
  }
}

void BM_ProcessDoubleReplacing(benchmark::State& state, Phase phase) {
  const int frames = static_cast<int>(state.range(0));
  auto effect = effectIn(phase);
  StereoBuffers<double>& buffers = buffersFor<double>(state);
  for (auto _ : state) {
    effect->processDoubleReplacing(buffers.inputs, buffers.outputs, frames);
    benchmark::ClobberMemory();
  }
}

constexpr int kBlockSizes[] = {32, 64, 512, 4096};

// Each case is run several times over: others' work on the machine only ever adds time, so the
// fastest run is the one that says most about the code.
void blockSizes(benchmark::internal::Benchmark* b) {
  for (int layout : {kHeap, kCacheLine})
    for (int frames : kBlockSizes) b->Args({frames, layout});
  b->Repetitions(7)->MinTime(0.05)->ReportAggregatesOnly()->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BM_Memcpy<float>)->Name("memcpy/float")->Apply(blockSizes);
BENCHMARK(BM_Memcpy<double>)->Name("memcpy/double")->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessReplacing, passing, Phase::passing)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessReplacing, window, Phase::window)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessDoubleReplacing, passing, Phase::passing)->Apply(blockSizes);
BENCHMARK_CAPTURE(BM_ProcessDoubleReplacing, window, Phase::window)->Apply(blockSizes);

// Keeps the least CPU time per iteration of every case so the ratios can be printed afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "min")
        times[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

void printRatios(const RatioReporter& reporter) {
  const bool wide = fade::avx2RampKernel() != nullptr;
  std::printf("\nLeast CPU time relative to memcpy of the same stereo buffers (fade window ramp: %s):\n",
              wide ? "AVX2" : "portable");
  std::printf("  %-40s %8s %11s\n", "", "heap", "cache line");
  const char* precision[] = {"float", "double"};
  const char* process[] = {"BM_ProcessReplacing", "BM_ProcessDoubleReplacing"};
  for (int p = 0; p < 2; ++p) {
    for (const char* phase : {"passing", "window"}) {
      for (int frames : kBlockSizes) {
        std::string name = std::string(process[p]) + "/" + phase + "/" + std::to_string(frames);
        std::printf("  %-40s", name.c_str());
        for (int layout : {kHeap, kCacheLine}) {
          const std::string args = "/" + std::to_string(frames) + "/" + std::to_string(layout);
          auto gate = reporter.times.find(std::string(process[p]) + "/" + phase + args);
          auto base = reporter.times.find(std::string("memcpy/") + precision[p] + args);
          if (gate == reporter.times.end() || base == reporter.times.end())
            std::printf(" %10s", "-");
          else
            std::printf(" %9.2fx", gate->second / base->second);
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
