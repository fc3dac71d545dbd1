// Single lines of text through FreeType, faces found with fontconfig.
#pragma once

#include <string_view>

#include "platform/raster/image.h"

namespace raster {

struct TextStyle {
  platform::FontDescription font;
  Pixel color;
  bool opaque = false;  // paint the text's cells in the background colour first
  Pixel background;
};

// Where the text went, for callers that want to know; empty when nothing was laid out.
struct TextLayout {
  Rect cells;  // the text's cells: advance width by line height
  int baseline = 0;
};

// One line, vertically centred in `box`, aligned left/centre/right, clipped to box and clip.
// Bytes are Latin-1 characters; nothing is treated as a prefix or a line break.
TextLayout drawText(Image& image, const Rect& clip, const Rect& box, std::string_view text,
                    const TextStyle& style, platform::TextAlign align);

// The font file fontconfig picks for a description (empty when none), for tests and diagnostics.
std::string resolveFontFile(const platform::FontDescription& font);

}  // namespace raster
