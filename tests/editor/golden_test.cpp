// The editor as a person sees it, compared with pictures kept in the repository: at three
// parameter settings and with the about picture open. Only the two value displays, whose text is
// anti-aliased by the font engine, may differ slightly; every other pixel must match exactly.
// Set FADECREST_UPDATE_GOLDEN=1 to write the pictures anew after an intended change.
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "editor/fadecrestvsteditor.h"
#include "effect/fadecrestvst.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"

namespace {

using pictures::kEditorHeight;
using pictures::kEditorWidth;
using pictures::kValueDisplays;
using pictures::Picture;

struct Setting {
  const char* name;
  int program;  // -1: as constructed
  bool about;
};

// What the editor's window shows.
Picture editorPicture(const Setting& setting) {
  platform::headless::resetInput();
  platform::headless::resetWindowSystem();
  FadecrestVST effect(nullptr);
  if (setting.program >= 0) effect.setProgram(setting.program);
  platform::headless::Window host({0, 0, kEditorWidth, kEditorHeight});
  EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, host.handle(), 0), 1);
  platform::WindowHandle window = host.children().front()->handle();
  platform::invalidateWindow(window, {0, 0, kEditorWidth, kEditorHeight});
  platform::headless::dispatchMessages();
  if (setting.about) {
    platform::headless::setKeyDown(platform::Key::leftButton, true);
    platform::headless::sendMessage(window, {platform::MessageType::leftButtonDown, {160, 50}, 0});
    platform::headless::setKeyDown(platform::Key::leftButton, false);
  }
  effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);

  Picture picture{kEditorWidth, kEditorHeight, {}};
  const raster::Image& pixels = host.children().front()->pixels();
  for (int y = 0; y < kEditorHeight; ++y)
    for (int x = 0; x < kEditorWidth; ++x) {
      raster::Pixel p = pixels.pixel(x, y);
      picture.rgb.insert(picture.rgb.end(), {p.red, p.green, p.blue});
    }
  effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
  return picture;
}

class GoldenEditor : public testing::TestWithParam<Setting> {};

TEST_P(GoldenEditor, LooksAsItDid) {
  const Setting& setting = GetParam();
  const Picture shown = editorPicture(setting);
  if (std::getenv("FADECREST_UPDATE_GOLDEN"))
    ASSERT_TRUE(pictures::writePng(shown, std::string(FADECREST_GOLDEN_DIR) + "/" + setting.name + ".png"));
  pictures::expectLooksLikeGolden(shown, setting.name);
}

INSTANTIATE_TEST_SUITE_P(Settings, GoldenEditor,
                         testing::Values(Setting{"constructed", -1, false}, Setting{"medium_track", 3, false},
                                         Setting{"shortest", 5, false}, Setting{"about", 3, true}),
                         [](const testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.name);
                         });

// The goldens themselves must show what the effect holds: orange text in the displays, and the
// settings differ where their knobs and displays are.
TEST(GoldenPictures, DifferWhereTheValuesDiffer) {
  const Picture constructed = editorPicture({"constructed", -1, false});
  const Picture shortest = editorPicture({"shortest", 5, false});
  const Picture about = editorPicture({"about", 3, true});
  const auto region = [](const Picture& picture, pictures::Box r) {
    return picture.crop(r.left, r.top, r.right - r.left, r.bottom - r.top);
  };
  EXPECT_NE(region(constructed, {43, 128, 143, 228}), region(shortest, {43, 128, 143, 228}));
  EXPECT_NE(region(constructed, kValueDisplays[0]), region(shortest, kValueDisplays[0]));
  EXPECT_NE(region(constructed, {0, 120, 328, 250}), region(about, {0, 120, 328, 250}));
  for (const pictures::Box& display : kValueDisplays) {
    const pictures::Box text = pictures::textBox(constructed, display);
    EXPECT_LT(text.left, text.right) << "orange text in the display at x " << display.left;
  }
}

}  // namespace
