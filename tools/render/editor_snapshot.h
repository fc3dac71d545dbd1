// The plug-in's editor, opened in a host window without a display, written as PNG: what a user of
// the module would see at the same settings.
#pragma once

#include <string>

#include "effect_settings.h"

namespace render {

// With `withAbout` the title is clicked first, so the about picture is shown. An existing file
// is replaced only with `replace`, as any output of this tool.
void writeEditorSnapshot(const FadeSettings& settings, const std::string& path, bool withAbout, bool replace);

}  // namespace render
