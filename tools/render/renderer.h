// Streams a source through the effect into a sound file: read and written in large chunks,
// processed in blocks of the size asked for.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio_files.h"
#include "options.h"
#include "plugin_host.h"

namespace render {

// The effect must already be open, set up and resumed. A mono source feeds every input, and the
// output keeps the source's channels. `framesDone` counts the frames written so far; the total
// is returned.
int64_t renderSource(PluginHost& effect, SignalSource& source, SoundWriter& output, int blockSize,
                     Precision precision, std::atomic<int64_t>& framesDone);

}  // namespace render
