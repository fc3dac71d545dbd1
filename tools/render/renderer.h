// Streams a source through the effect into an output file, one block per process call.
#pragma once

#include <csignal>

#include "audio_files.h"
#include "options.h"
#include "plugin_host.h"

namespace render {

// Set from a signal handler; the render stops at the next block and leaves no output behind.
extern volatile std::sig_atomic_t stopRequested;

// The effect must already be open, set up and resumed. Channels beyond the effect's inputs
// are an error; a mono source feeds every input, and the output keeps the source's channels.
void renderSource(PluginHost& effect, SignalSource& source, OutputFile& output, int blockSize,
                  Precision precision, bool showProgress);

}  // namespace render
