#include "effect_settings.h"

#include <algorithm>
#include <stdexcept>

namespace render {
namespace {

// The plug-in maps 0..1 onto 1..60 seconds of interval and 1..5 seconds of fade.
constexpr double kIntervalSpan = 59.0;
constexpr double kDurationSpan = 4.0;

// Sample counts as the effect derives them: in double precision, truncated.
int64_t framesOf(double seconds, double sampleRate) { return static_cast<int64_t>(seconds * sampleRate); }

}  // namespace

double intervalSeconds(float normalised) { return static_cast<double>(normalised) * kIntervalSpan + 1.0; }
double durationSeconds(float normalised) { return static_cast<double>(normalised) * kDurationSpan + 1.0; }

void setUpEffect(PluginHost& effect, const Options& options, double sampleRate) {
  effect.open(sampleRate, options.block);
  effect.setProgram(options.program.value_or(effect.currentProgram()));
  if (options.intervalSeconds)
    effect.setParameter(kIntervalParameter,
                        static_cast<float>((*options.intervalSeconds - 1.0) / kIntervalSpan));
  if (options.durationSeconds)
    effect.setParameter(kDurationParameter,
                        static_cast<float>((*options.durationSeconds - 1.0) / kDurationSpan));

  bool supported =
      options.precision == Precision::Double ? effect.canProcessDouble() : effect.canProcessSingle();
  if (!supported)
    throw std::runtime_error(std::string("the plug-in cannot process in ") +
                             (options.precision == Precision::Double ? "double" : "single") + " precision");
}

FadeSettings settingsOf(PluginHost& effect) {
  FadeSettings settings;
  settings.program = effect.currentProgram();
  settings.programName = effect.programName(settings.program);
  settings.interval = effect.parameter(kIntervalParameter);
  settings.duration = effect.parameter(kDurationParameter);
  return settings;
}

FadeTimeline timelineOf(const FadeSettings& settings, double sampleRate) {
  return {framesOf(intervalSeconds(settings.interval), sampleRate),
          framesOf(durationSeconds(settings.duration), sampleRate)};
}

int64_t fadeWindowCount(const FadeTimeline& timeline, int64_t frames) {
  return frames <= timeline.interval ? 0 : (frames - timeline.interval - 1) / timeline.cycle() + 1;
}

std::vector<FadeWindow> fadeWindows(const FadeTimeline& timeline, int64_t frames, int64_t most) {
  std::vector<FadeWindow> windows;
  for (int64_t start = timeline.interval; start < frames && std::ssize(windows) < most;
       start += timeline.cycle())
    windows.push_back({start, std::min(frames, start + timeline.fade + 2)});
  return windows;
}

}  // namespace render
