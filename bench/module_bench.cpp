// What a host waits for at every scan and session load: the size of the shipped module, and making
// an effect through its exported entry point up to a usable record (opened, given a sample rate and
// a block size, switched on), in a new process as a host's scanner does it, and again in a process
// that made one before.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstring>

#include "fresh_process.h"
#include "integration/plugin_module.h"

namespace {

constexpr const char* kInstantiateChild = "--instantiate-child";

// From the entry point to a usable record; the caller closes the effect.
AEffect* instantiate(EntryProc entry) {
  AEffect* effect = entry(versionedHost);
  if (!effect) return nullptr;
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
  return effect;
}

void close(AEffect* effect) {
  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

// The child's side: the module is loaded untimed, as the host's loader does it before the entry.
int instantiateChild() {
  PluginModule module;
  if (!module.entry()) return 1;
  AEffect* effect = nullptr;
  const int status = fresh::timeOnce([&] { return (effect = instantiate(module.entry())) != nullptr; });
  if (effect) close(effect);
  return status;
}

void BM_ModuleSize(benchmark::State& state) {
  struct stat file {};
  if (stat(FADECREST_MODULE_PATH, &file) != 0) return state.SkipWithError("no module");
  for (auto _ : state) benchmark::DoNotOptimize(file.st_size);
  state.counters["MB"] = static_cast<double>(file.st_size) / 1e6;
}
BENCHMARK(BM_ModuleSize)->Iterations(1);

void BM_InstantiationInAFreshProcess(benchmark::State& state) { fresh::run(state, kInstantiateChild); }
BENCHMARK(BM_InstantiationInAFreshProcess)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);

void BM_InstantiationAgain(benchmark::State& state) {
  PluginModule module;
  if (!module.entry()) return state.SkipWithError("the module did not load");
  close(instantiate(module.entry()));
  for (auto _ : state) {
    AEffect* effect = instantiate(module.entry());
    state.PauseTiming();
    close(effect);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InstantiationAgain)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kInstantiateChild) == 0) return instantiateChild();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
