// Timing what happens once in a process, as a host sees it: the benchmark runs its own program
// again as a child with a flag, and the child does the thing once and prints how long it took, in
// wall time and in the CPU time of its own process (on a shared machine the wall time also counts
// whatever else ran meanwhile).
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace fresh {

inline double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The child's side: times one call of `work` and prints the wall and CPU seconds.
template <typename Work>
int timeOnce(Work work) {
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = cpuSeconds();
  if (!work()) return 1;
  const double cpu = cpuSeconds() - cpuStart;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  std::printf("%.9f %.9f\n", wall, cpu);
  return 0;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// One child per iteration (its start is not timed); the manual time is the child's wall time, and
// the counters give the medians of both times in milliseconds.
inline void run(benchmark::State& state, const char* flag) {
  char self[4096] = {}, command[4200] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
    return state.SkipWithError("no path to this program");
  std::snprintf(command, sizeof command, "'%s' %s", self, flag);
  std::vector<double> walls, cpus;
  for (auto _ : state) {
    FILE* child = popen(command, "r");
    double wall = -1, cpu = -1;
    if (!child || std::fscanf(child, "%lf %lf", &wall, &cpu) != 2) wall = -1;
    if (child && pclose(child) != 0) wall = -1;
    if (wall < 0) {
      state.SkipWithError("the child process measured nothing");
      break;
    }
    state.SetIterationTime(wall);
    walls.push_back(wall * 1e3);
    cpus.push_back(cpu * 1e3);
  }
  state.counters["wall_median_ms"] = median(walls);
  state.counters["cpu_median_ms"] = median(cpus);
}

}  // namespace fresh
