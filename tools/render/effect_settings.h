// The effect's settings as this tool asks for them and shows them: seconds, programs, and where
// the fade windows fall in a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "plugin_host.h"

namespace render {

constexpr int kIntervalParameter = 0;
constexpr int kDurationParameter = 1;

// The two parameters in seconds, as the plug-in shows them.
double intervalSeconds(float normalised);
double durationSeconds(float normalised);

// Opens the effect at `sampleRate` and applies the program and the seconds asked for. The rate
// comes first: the effect turns seconds into sample counts when a program or parameter changes.
// Throws when the effect cannot process in the precision asked for.
void setUpEffect(PluginHost& effect, const Options& options, double sampleRate);

struct FadeSettings {
  int program = 0;
  std::string programName;
  float interval = 0.0f;  // normalised, as the effect holds them
  float duration = 0.0f;
};
// What an effect set up by setUpEffect holds.
FadeSettings settingsOf(PluginHost& effect);

// The effect's cycle in frames at a sample rate: the signal passes for the interval, the next
// frame opens the window, the fade runs, and the frame after it closes the window.
struct FadeTimeline {
  int64_t interval;
  int64_t fade;
  int64_t cycle() const { return interval + fade + 2; }
};
FadeTimeline timelineOf(const FadeSettings& settings, double sampleRate);

// Frames [start, end) of one fade window, from the frame that opens it to the frame that closes it.
struct FadeWindow {
  int64_t start;
  int64_t end;
};
// How many windows begin within the first `frames` frames, worked out without listing them.
int64_t fadeWindowCount(const FadeTimeline& timeline, int64_t frames);
// The first `most` of those windows, the last one cut at the end.
std::vector<FadeWindow> fadeWindows(const FadeTimeline& timeline, int64_t frames, int64_t most);

}  // namespace render
