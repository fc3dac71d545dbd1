#include "platform/raster/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace raster {
namespace {

struct FaceKey {
  std::string family;
  bool bold;
  bool italic;
  auto operator<=>(const FaceKey&) const = default;
};

// Faces are opened once and kept until the process ends; text is drawn on one thread at a time,
// but the mutex keeps independent tests honest.
std::mutex gLock;
FT_Library gLibrary = nullptr;
FcConfig* gSystemFonts = nullptr;  // the system's whole font configuration
FcConfig* gFontCaches = nullptr;   // only its usual font folders, read from their caches
std::map<FaceKey, FT_Face> gFaces;

// Closed explicitly at exit: fontconfig keeps its configuration where a leak checker cannot see it.
struct FontSystemCloser {
  ~FontSystemCloser() {
    for (auto& [key, face] : gFaces)
      if (face) FT_Done_Face(face);
    gFaces.clear();
    if (gLibrary) FT_Done_FreeType(gLibrary);
    gLibrary = nullptr;
    for (FcConfig** config : {&gSystemFonts, &gFontCaches}) {
      if (*config) FcConfigDestroy(*config);
      *config = nullptr;
    }
  }
} gCloser;

FaceKey keyFor(const platform::FontDescription& font) { return {font.face, font.weight >= 600, font.italic}; }

// The two faces the toolkit names, with the families that stand in for them metric for metric, in
// the order the usual font configuration prefers them. Parsing that configuration takes longer than
// the rest of opening the editor, so these are looked for first in the usual font folders alone.
struct StandIns {
  const char* face;
  std::vector<const char*> families;
};
const StandIns kStandIns[] = {
    {"Arial", {"Arimo", "Liberation Sans", "Albany", "Albany AMT"}},
    {"Symbol", {"Standard Symbols PS"}},
};

constexpr const char* kUsualFontFolders = R"(<fontconfig>
  <dir>/usr/share/fonts</dir>
  <dir>/usr/local/share/fonts</dir>
  <dir prefix="xdg">fonts</dir>
  <dir>~/.fonts</dir>
  <cachedir>/var/cache/fontconfig</cachedir>
  <cachedir prefix="xdg">fontconfig</cachedir>
  <cachedir>~/.fontconfig</cachedir>
</fontconfig>)";

FcConfig* fontCaches() {
  if (gFontCaches) return gFontCaches;
  FcConfig* config = FcConfigCreate();
  if (config &&
      FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kUsualFontFolders), FcFalse) &&
      FcConfigBuildFonts(config))
    return gFontCaches = config;
  if (config) FcConfigDestroy(config);
  return nullptr;
}

// The best font of the configuration for the key with these families, the first preferred; its
// file and index, or an empty name when there is none or (with `onlyThese`) it is of another family.
std::string bestFile(FcConfig* config, const FaceKey& key, const std::vector<const char*>& families,
                     bool onlyThese, int* index) {
  FcPattern* pattern = FcPatternCreate();
  for (const char* family : families)
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_WEIGHT, key.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  std::string file;
  FcChar8* name = nullptr;
  bool wanted = !onlyThese;
  for (int i = 0; match && !wanted && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    for (const char* family : families)
      wanted = wanted || FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
  FcChar8* path = nullptr;
  if (match && wanted && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  }
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return file;
}

std::string matchFile(const FaceKey& key, int* index) {
  for (const StandIns& standIns : kStandIns) {
    if (key.family != standIns.face) continue;
    std::vector<const char*> families{standIns.face};
    families.insert(families.end(), standIns.families.begin(), standIns.families.end());
    if (FcConfig* caches = fontCaches())
      if (std::string file = bestFile(caches, key, families, true, index); !file.empty()) return file;
  }
  if (!gSystemFonts) gSystemFonts = FcInitLoadConfigAndFonts();
  if (!gSystemFonts) return {};
  return bestFile(gSystemFonts, key, {key.family.c_str()}, false, index);
}

FT_Face faceFor(const platform::FontDescription& font) {
  if (!gLibrary && FT_Init_FreeType(&gLibrary) != 0) return nullptr;
  const FaceKey key = keyFor(font);
  if (auto it = gFaces.find(key); it != gFaces.end()) return it->second;
  int index = 0;
  const std::string file = matchFile(key, &index);
  FT_Face face = nullptr;
  if (file.empty() || FT_New_Face(gLibrary, file.c_str(), index, &face) != 0) face = nullptr;
  // Symbol faces map the single-byte codes directly (a symbol face's Unicode table does too);
  // everything else is read as Latin-1.
  if (face && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) != 0 &&
      FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0)
    FT_Select_Charmap(face, FT_ENCODING_ADOBE_CUSTOM);
  gFaces[key] = face;
  return face;
}

FT_UInt glyphIndex(FT_Face face, unsigned char c) {
  if (face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL) {
    if (FT_UInt g = FT_Get_Char_Index(face, 0xF000u | c)) return g;
  }
  return FT_Get_Char_Index(face, c);
}

void blendCoverage(Pixel& d, Pixel c, unsigned coverage) {
  auto mix = [coverage](unsigned from, unsigned to) {
    return static_cast<std::uint8_t>((from * (255 - coverage) + to * coverage + 127) / 255);
  };
  d = {mix(d.blue, c.blue), mix(d.green, c.green), mix(d.red, c.red), mix(d.alpha, c.alpha)};
}

}  // namespace

std::string resolveFontFile(const platform::FontDescription& font) {
  std::lock_guard lock(gLock);
  int index = 0;
  return matchFile(keyFor(font), &index);
}

TextLayout drawText(Image& image, const Rect& clip, const Rect& box, std::string_view text,
                    const TextStyle& style, platform::TextAlign align) {
  std::lock_guard lock(gLock);
  FT_Face face = faceFor(style.font);
  if (!face || style.font.pixelHeight <= 0 || FT_Set_Pixel_Sizes(face, 0, style.font.pixelHeight) != 0)
    return {};

  const auto& metrics = face->size->metrics;
  const int ascender = static_cast<int>((metrics.ascender + 63) >> 6);
  const int descender = static_cast<int>(metrics.descender >> 6);  // negative
  const int lineHeight = ascender - descender;

  long advance = 0;
  for (unsigned char c : text) {
    if (FT_Load_Glyph(face, glyphIndex(face, c), FT_LOAD_DEFAULT) == 0)
      advance += face->glyph->advance.x >> 6;
  }
  const int textWidth = static_cast<int>(std::min<long>(advance, 1 << 24));

  int x = box.left;
  if (align == platform::TextAlign::center) x = box.left + (box.width() - textWidth) / 2;
  if (align == platform::TextAlign::right) x = box.right - textWidth;
  const int top = box.top + (box.height() - lineHeight) / 2;
  const TextLayout layout{{x, top, x + textWidth, top + lineHeight}, top + ascender};

  const Rect limit = intersect(intersect(box, clip), image.bounds());
  if (isEmpty(limit)) return layout;
  if (style.opaque) fill(image, limit, layout.cells, style.background);

  int pen = x;
  for (unsigned char c : text) {
    if (pen >= limit.right) break;
    if (FT_Load_Glyph(face, glyphIndex(face, c), FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    const int left = pen + g->bitmap_left;
    const int glyphTop = layout.baseline - g->bitmap_top;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (unsigned row = 0; row < bm.rows; ++row) {
        const int y = glyphTop + static_cast<int>(row);
        if (y < limit.top || y >= limit.bottom) continue;
        for (unsigned col = 0; col < bm.width; ++col) {
          const int px = left + static_cast<int>(col);
          if (px < limit.left || px >= limit.right) continue;
          const unsigned coverage = bm.buffer[row * bm.pitch + col];
          if (coverage) blendCoverage(*image.at(px, y), style.color, coverage);
        }
      }
    }
    pen += static_cast<int>(g->advance.x >> 6);
  }

  if (style.font.underline) {
    const int position = static_cast<int>(-FT_MulFix(face->underline_position, metrics.y_scale) >> 6);
    const int thickness =
        std::max(1, static_cast<int>((FT_MulFix(face->underline_thickness, metrics.y_scale) + 32) >> 6));
    const int y = layout.baseline + std::max(position, 1);
    fill(image, limit, {x, y, x + textWidth, y + thickness}, style.color);
  }
  return layout;
}

}  // namespace raster
