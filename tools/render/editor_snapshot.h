// Opens the plug-in's editor in a host window without a display and writes what it shows as PNG.
#pragma once

#include <string>

#include "plugin_host.h"

namespace render {

// With `withAbout` the title is clicked first, so the about picture is shown. An existing file
// is replaced only with `replace`, as any output of this tool.
void writeEditorSnapshot(PluginHost& effect, const std::string& path, bool withAbout, bool replace);

}  // namespace render
