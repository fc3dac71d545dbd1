// The editor as a person sees it, compared with pictures kept in the repository: at three
// parameter settings and with the about picture open. Only the two value displays, whose text is
// anti-aliased by the font engine, may differ slightly; every other pixel must match exactly.
// Set FADECREST_UPDATE_GOLDEN=1 to write the pictures anew after an intended change.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "editor/fadecrestvsteditor.h"
#include "effect/fadecrestvst.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"

namespace {

constexpr int kWidth = 328, kHeight = 264;
constexpr platform::Rect kDisplays[] = {{46, 235, 76, 249}, {187, 235, 217, 249}};
constexpr int kTextTolerance = 64;  // per channel, inside the displays only

struct Setting {
  const char* name;
  int program;  // -1: as constructed
  bool about;
};

// Opaque RGBA rows, top-down, of what the editor's window shows.
std::vector<png_byte> editorPicture(const Setting& setting) {
  platform::headless::resetInput();
  platform::headless::resetWindowSystem();
  FadecrestVST effect(nullptr);
  if (setting.program >= 0) effect.setProgram(setting.program);
  platform::headless::Window host({0, 0, kWidth, kHeight});
  EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, host.handle(), 0), 1);
  platform::WindowHandle window = host.children().front()->handle();
  platform::invalidateWindow(window, {0, 0, kWidth, kHeight});
  platform::headless::dispatchMessages();
  if (setting.about) {
    platform::headless::setKeyDown(platform::Key::leftButton, true);
    platform::headless::sendMessage(window, {platform::MessageType::leftButtonDown, {160, 50}, 0});
    platform::headless::setKeyDown(platform::Key::leftButton, false);
  }
  effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);

  std::vector<png_byte> rgba;
  const raster::Image& pixels = host.children().front()->pixels();
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      raster::Pixel p = pixels.pixel(x, y);
      rgba.insert(rgba.end(), {p.red, p.green, p.blue, 255});
    }
  effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
  return rgba;
}

png_image imageHeader() {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.format = PNG_FORMAT_RGBA;
  image.width = kWidth;
  image.height = kHeight;
  return image;
}

bool inDisplay(int x, int y) {
  for (const platform::Rect& r : kDisplays)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

class GoldenEditor : public testing::TestWithParam<Setting> {};

TEST_P(GoldenEditor, LooksAsItDid) {
  const Setting& setting = GetParam();
  const std::string path = std::string(FADECREST_GOLDEN_DIR) + "/" + setting.name + ".png";
  std::vector<png_byte> shown = editorPicture(setting);

  if (std::getenv("FADECREST_UPDATE_GOLDEN")) {
    png_image image = imageHeader();
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, shown.data(), 0, nullptr)) << image.message;
  }

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path << ": " << image.message;
  image.format = PNG_FORMAT_RGBA;
  ASSERT_EQ(image.width, static_cast<png_uint_32>(kWidth));
  ASSERT_EQ(image.height, static_cast<png_uint_32>(kHeight));
  std::vector<png_byte> golden(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, golden.data(), 0, nullptr)) << image.message;

  int differentOutside = 0, worstInside = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) {
        size_t i = (static_cast<size_t>(y) * kWidth + x) * 4 + c;
        int difference = std::abs(int{shown[i]} - int{golden[i]});
        if (inDisplay(x, y))
          worstInside = std::max(worstInside, difference);
        else if (difference != 0)
          ++differentOutside;
      }
  EXPECT_EQ(differentOutside, 0) << "channels that differ outside the value displays";
  EXPECT_LE(worstInside, kTextTolerance) << "largest difference inside the value displays";
}

INSTANTIATE_TEST_SUITE_P(Settings, GoldenEditor,
                         testing::Values(Setting{"constructed", -1, false}, Setting{"medium_track", 3, false},
                                         Setting{"shortest", 5, false}, Setting{"about", 3, true}),
                         [](const testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.name);
                         });

// The goldens themselves must show what the effect holds: the displays are not blank, and the
// settings differ where their knobs and displays are.
TEST(GoldenPictures, DifferWhereTheValuesDiffer) {
  std::vector<png_byte> constructed = editorPicture({"constructed", -1, false});
  std::vector<png_byte> shortest = editorPicture({"shortest", 5, false});
  std::vector<png_byte> about = editorPicture({"about", 3, true});
  auto region = [](const std::vector<png_byte>& picture, platform::Rect r) {
    std::vector<png_byte> part;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        for (int c = 0; c < 3; ++c) part.push_back(picture[(static_cast<size_t>(y) * kWidth + x) * 4 + c]);
    return part;
  };
  EXPECT_NE(region(constructed, {43, 128, 143, 228}), region(shortest, {43, 128, 143, 228}));
  EXPECT_NE(region(constructed, kDisplays[0]), region(shortest, kDisplays[0]));
  EXPECT_NE(region(constructed, {0, 120, 328, 250}), region(about, {0, 120, 328, 250}));
  // Orange text in the interval display.
  bool orange = false;
  std::vector<png_byte> display = region(constructed, kDisplays[0]);
  for (size_t i = 0; i + 2 < display.size(); i += 3)
    orange |= display[i] > 150 && display[i + 1] > 50 && display[i + 1] < 140 && display[i + 2] < 40;
  EXPECT_TRUE(orange);
}

}  // namespace
