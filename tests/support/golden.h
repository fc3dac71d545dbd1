// The editor's golden pictures (kept in tests/editor/golden, named by FADECREST_GOLDEN_DIR) and the
// one rule by which what a window system shows is compared with them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/picture.h"

namespace pictures {

constexpr int kEditorWidth = 328, kEditorHeight = 264;

struct Box {
  int left, top, right, bottom;
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};
// The two value displays: the only places whose text a font engine lays out.
constexpr Box kValueDisplays[] = {{46, 235, 76, 249}, {187, 235, 217, 249}};

// How the text of the value displays may differ from the golden picture's.
enum class Text {
  // Our raster with FreeType, as in the golden pictures: anti-aliasing within a tolerance per channel.
  antiAliased,
  // Another engine (GDI): it lays type out a little differently, so the text's pixels are not
  // compared; orange text must stand where the golden picture's stands, its box within 2 pixels.
  otherEngine,
};
constexpr int kTextTolerance = 64;

inline Picture goldenPicture(const std::string& name) {
  return readPng(std::string(FADECREST_GOLDEN_DIR) + "/" + name + ".png");
}

// The box around the orange pixels (the value text) inside a display; empty when there are none.
inline Box textBox(const Picture& picture, const Box& display) {
  Box box{display.right, display.bottom, display.left, display.top};
  for (int y = display.top; y < display.bottom; ++y)
    for (int x = display.left; x < display.right; ++x)
      if (const std::uint8_t* p = picture.at(x, y); p[0] > 100 && p[0] > p[2] + 60)
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
  return box;
}

// Every pixel outside the displays' text as in the golden picture `name`, the text as `text`
// allows. A picture that does not match is kept at `keepFailedAs`, when that is given.
inline void expectLooksLikeGolden(const Picture& shown, const std::string& name,
                                  Text text = Text::antiAliased, const std::string& keepFailedAs = "") {
  const Picture golden = goldenPicture(name);
  ASSERT_EQ(golden.width, kEditorWidth) << "golden picture " << name;
  ASSERT_EQ(shown.width, kEditorWidth) << name;
  ASSERT_EQ(shown.height, kEditorHeight) << name;
  std::vector<Box> texts;  // displays that show text in the golden picture
  for (const Box& display : kValueDisplays)
    if (const Box box = textBox(golden, display); box.left < box.right) texts.push_back(display);
  const auto tolerance = [&](int x, int y) {
    const auto inside = [&](const Box& box) { return box.contains(x, y); };
    if (text == Text::otherEngine) return std::any_of(texts.begin(), texts.end(), inside) ? 255 : 0;
    return std::any_of(std::begin(kValueDisplays), std::end(kValueDisplays), inside) ? kTextTolerance : 0;
  };
  int different = 0;
  for (int y = 0; y < kEditorHeight; ++y)
    for (int x = 0; x < kEditorWidth; ++x)
      for (int c = 0; c < 3; ++c)
        if (std::abs(shown.at(x, y)[c] - golden.at(x, y)[c]) > tolerance(x, y) && ++different <= 3)
          ADD_FAILURE() << name << ": pixel (" << x << ", " << y << ") channel " << c << " is "
                        << int(shown.at(x, y)[c]) << ", expected " << int(golden.at(x, y)[c]);
  EXPECT_EQ(different, 0) << name << ": channels that differ";
  if (text == Text::otherEngine)
    for (const Box& display : texts) {
      const Box want = textBox(golden, display), got = textBox(shown, display);
      EXPECT_LT(got.left, got.right) << name << ": no orange text in the display at x " << display.left;
      EXPECT_NEAR(got.left, want.left, 2) << name;
      EXPECT_NEAR(got.right, want.right, 2) << name;
      EXPECT_NEAR(got.top, want.top, 2) << name;
      EXPECT_NEAR(got.bottom, want.bottom, 2) << name;
    }
  if (different > 0 && !keepFailedAs.empty()) writePng(shown, keepFailedAs);
}

}  // namespace pictures
