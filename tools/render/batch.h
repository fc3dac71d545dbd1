// Many inputs in one run: each is checked and given its output before anything is written, then
// rendered on its own effect, several at once, with one progress display and one summary.
#pragma once

#include "options.h"
#include "plugin_host.h"

namespace render {

// Renders every input; answers the exit status (0 when every file was written whole).
int renderAll(const Options& options, const PluginModule& module);

// Shows what renderAll would do, reading only the headers; answers the exit status.
int showPlan(const Options& options, const PluginModule& module);

}  // namespace render
