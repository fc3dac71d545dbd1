// The editor of fadecrest.dll in a window of a Windows host program under Wine, on a virtual X
// display: loaded with LoadLibrary, made through VSTPluginMain, opened in a top-level window of the
// host's, idled from a timer, and used with real input through the X server (xdotool). What it
// shows is read from the screen and compared with the golden pictures of the headless editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "ole_drag.h"
#include "plugin_module.h"
#include "screen.h"

namespace {

constexpr int kWidth = 328, kHeight = 264;
constexpr RECT kDisplays[] = {{46, 235, 76, 249}, {187, 235, 217, 249}};
constexpr POINT kIntervalLeft{43, 178}, kIntervalTop{93, 128}, kIntervalRight{143, 178},
    kIntervalCentre{93, 178};
constexpr POINT kTitle{160, 50};
constexpr VstInt32 kInterval = 0;

// --- the host ---

struct HostCall {
  VstInt32 opcode;
  VstInt32 index;
  float opt;
};
std::vector<HostCall> gCalls;

// Windows damaged again at every host idle of the editor's own idle routine, and how many of them
// that routine painted in one pass.
std::vector<HWND> gDamagedAtEachPass;
int gMostPaintsInAPass = 0, gPassesThatPainted = 0;

void countPaints() {
  static bool damaged = false;  // by the previous pass
  int painted = 0;
  for (HWND window : gDamagedAtEachPass) {
    painted += damaged && !GetUpdateRect(window, nullptr, FALSE);
    InvalidateRect(window, nullptr, FALSE);
  }
  damaged = !gDamagedAtEachPass.empty();
  gMostPaintsInAPass = std::max(gMostPaintsInAPass, painted);
  gPassesThatPainted += painted > 0;
}

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
  gCalls.push_back({opcode, index, opt});
  if (opcode == audioMasterIdle) countPaints();
  return opcode == audioMasterVersion ? 2400 : 0;
}

std::vector<VstInt32> gestureOpcodes() {
  std::vector<VstInt32> seen;
  for (const HostCall& c : gCalls)
    if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit || c.opcode == audioMasterAutomate)
      seen.push_back(c.opcode);
  return seen;
}

std::vector<float> automated(VstInt32 index) {
  std::vector<float> values;
  for (const HostCall& c : gCalls)
    if (c.opcode == audioMasterAutomate && c.index == index) values.push_back(c.opt);
  return values;
}

// A captioned top-level window whose client area holds the editor; a timer idles the editor.
LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* effect = reinterpret_cast<AEffect*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_TIMER && effect) {
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class HostWindow {
 public:
  HostWindow(int left, int top) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostProcedure;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "FadecrestWineHost";
    RegisterClassA(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT outer{0, 0, kWidth, kHeight};
    AdjustWindowRect(&outer, style, FALSE);
    window_ = CreateWindowExA(0, "FadecrestWineHost", "Fadecrest", style, left, top, outer.right - outer.left,
                              outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
    SetTimer(window_, 1, 50, nullptr);
  }
  ~HostWindow() { DestroyWindow(window_); }
  HWND handle() const { return window_; }
  HWND editor() const { return GetWindow(window_, GW_CHILD); }
  void idle(AEffect* effect) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(effect));
  }
  // A point of the editor on the screen.
  POINT onScreen(POINT client) const {
    ClientToScreen(editor(), &client);
    return client;
  }

 private:
  HWND window_;
};

// --- pictures ---

Picture golden(const char* name) { return readPng(std::string(FADECREST_GOLDEN_DIR) + "/" + name + ".png"); }

// What the screen shows of the editor once it has settled: a busy machine may need a moment to
// paint and to hand the pixels on to the X server.
Picture editorOnScreen(const HostWindow& host) {
  UpdateWindow(host.editor());
  GdiFlush();
  const POINT origin = host.onScreen({0, 0});
  const auto shot = [&] {
    const Picture screen = screenshot();
    EXPECT_GT(screen.width, 0) << "no screenshot";
    return screen.crop(origin.x, origin.y, kWidth, kHeight);
  };
  Picture shown = shot();
  for (int attempt = 0; attempt < 10; ++attempt) {
    Picture again = shot();
    if (again.rgba == shown.rgba) break;
    shown = std::move(again);
  }
  return shown;
}

bool orange(const std::uint8_t* p) { return p[0] > 100 && p[0] > p[2] + 60; }

// Where a display's text lies: the box around its orange pixels.
RECT textBox(const Picture& picture, const RECT& display) {
  RECT box{display.right, display.bottom, display.left, display.top};
  for (int y = display.top; y < display.bottom; ++y)
    for (int x = display.left; x < display.right; ++x)
      if (orange(picture.at(x, y))) {
        box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
               std::max<LONG>(box.bottom, y + 1)};
      }
  return box;
}

// Every pixel outside the value displays' text as in the golden picture; where the golden picture
// shows text, orange text in the same place (GDI lays type out a little differently from FreeType).
void expectLooksLike(const Picture& shown, const char* name) {
  const Picture expected = golden(name);
  ASSERT_EQ(expected.width, kWidth) << name;
  ASSERT_EQ(shown.width, kWidth);
  std::vector<RECT> texts;
  for (const RECT& display : kDisplays)
    if (const RECT box = textBox(expected, display); box.left < box.right) texts.push_back(display);
  const auto inText = [&](int x, int y) {
    return std::any_of(texts.begin(), texts.end(), [&](const RECT& r) {
      return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    });
  };
  int different = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (inText(x, y)) continue;
      if (!std::equal(shown.at(x, y), shown.at(x, y) + 3, expected.at(x, y)) && ++different <= 3)
        ADD_FAILURE() << name << ": pixel (" << x << ", " << y << ") is " << int(shown.at(x, y)[0]) << ","
                      << int(shown.at(x, y)[1]) << "," << int(shown.at(x, y)[2]) << ", expected "
                      << int(expected.at(x, y)[0]) << "," << int(expected.at(x, y)[1]) << ","
                      << int(expected.at(x, y)[2]);
    }
  EXPECT_EQ(different, 0) << name << ": pixels that differ outside the text";
  if (different > 0) writePng(shown, std::string("Z:") + FADECREST_OUTPUT_DIR + "/failed-" + name + ".png");
  for (const RECT& display : texts) {
    const RECT want = textBox(expected, display);
    const RECT got = textBox(shown, display);
    EXPECT_LT(got.left, got.right) << name << ": no orange text in the display at x " << display.left;
    EXPECT_NEAR(got.left, want.left, 2) << name;
    EXPECT_NEAR(got.right, want.right, 2) << name;
    EXPECT_NEAR(got.top, want.top, 2) << name;
    EXPECT_NEAR(got.bottom, want.bottom, 2) << name;
  }
}

// --- live GDI and USER objects ---

// GetGuiResources answers 0 under Wine: the GDI handle table is probed instead.
int gdiObjects() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(n);
  int count = 0;
  for (ULONG_PTR handle = 1; handle < 0x10000; ++handle)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(handle))) ++count;
  return count;
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, countWindow, count);
  return TRUE;
}

int windowsOfThisThread() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

std::string frameClassName(const PluginModule& module) {
  char name[64];
  std::snprintf(name, sizeof name, "Plugin%p", static_cast<void*>(module.handle()));
  return name;
}

// --- the tests ---

class EditorUnderWine : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module->entry(), nullptr) << PluginModule::loadError();
    gCalls.clear();
  }
  void TearDown() override { SwapMouseButton(FALSE); }
  // A new effect at a program, its editor open in the host window.
  std::unique_ptr<Effect> openEditor(HostWindow& window, int program) {
    auto effect = std::make_unique<Effect>(*module, recordingHost);
    (*effect).dispatch(effSetProgram, 0, program);
    (*effect).dispatch(effSetEditKnobMode, 0, 0);  // circular
    EXPECT_EQ((*effect).dispatch(effEditOpen, 0, 0, window.handle()), 1);
    window.idle(effect->get());
    pumpMessages(200);
    gCalls.clear();
    return effect;
  }
  static bool xdotool(const std::string& arguments) { return runOnDisplay("xdotool " + arguments); }
  static std::string at(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }

  std::optional<PluginModule> module{std::in_place};
  HostWindow host{100, 100};
};

// With the buttons swapped, press messages name the buttons as the user sees them: the left one
// (the physical right) opens the about picture, the right one does nothing.
TEST_F(EditorUnderWine, ShowsTheGoldenPicturesAndTheTitleOpensTheAboutPictureUntilTheNextClick) {
  SwapMouseButton(TRUE);
  auto effect = openEditor(host, 3);
  const Picture shown = editorOnScreen(host);
  expectLooksLike(shown, "medium_track");
  writePng(shown, std::string("Z:") + FADECREST_OUTPUT_DIR + "/editor-wine.png");

  ASSERT_TRUE(xdotool("mousemove " + at(host.onScreen(kTitle)) + " click 3"));
  expectLooksLike(editorOnScreen(host), "medium_track");
  ASSERT_TRUE(xdotool("click 1"));
  expectLooksLike(editorOnScreen(host), "about");
  ASSERT_TRUE(xdotool("click 1"));
  expectLooksLike(editorOnScreen(host), "medium_track");
  EXPECT_TRUE(automated(kInterval).empty());
  (*effect).dispatch(effEditClose);
}

TEST_F(EditorUnderWine, DraggingAKnobAutomatesRisingValuesInsideAnEditGesture) {
  auto effect = openEditor(host, 3);
  // Left of the centre, over the top, to the right: clockwise in the knob's circular mode.
  std::string gesture = "mousemove " + at(host.onScreen(kIntervalLeft)) + " mousedown 1 sleep 0.3";
  for (int step = 1; step <= 8; ++step) {
    const POINT from = step <= 4 ? kIntervalLeft : kIntervalTop;
    const POINT to = step <= 4 ? kIntervalTop : kIntervalRight;
    const int k = step <= 4 ? step : step - 4;
    const POINT p{from.x + (to.x - from.x) * k / 4, from.y + (to.y - from.y) * k / 4};
    gesture += " mousemove " + at(host.onScreen(p)) + " sleep 0.12";
  }
  HostWindow elsewhere(500, 100);  // below the editor's: Wine paints the topmost window first
  SetWindowPos(elsewhere.handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  gDamagedAtEachPass = {host.editor(), elsewhere.handle()};
  ASSERT_TRUE(xdotool(gesture + " sleep 0.2 mouseup 1"));
  gDamagedAtEachPass.clear();
  pumpMessages(300);
  EXPECT_GT(gPassesThatPainted, 0) << "the idle routine paints while the knob follows the mouse";
  EXPECT_EQ(gMostPaintsInAPass, 1) << "one paint per idle pass";

  const std::vector<VstInt32> seen = gestureOpcodes();
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), audioMasterBeginEdit);
  EXPECT_EQ(seen.back(), audioMasterEndEdit);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), audioMasterEndEdit), 1) << "the gesture ended on release";
  const std::vector<float> values = automated(kInterval);
  ASSERT_GE(values.size(), 3u);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_NEAR(values.front(), 1.0f / 6.0f, 0.02f);
  EXPECT_NEAR(values.back(), 5.0f / 6.0f, 0.02f);
  EXPECT_EQ((*effect)->getParameter(effect->get(), kInterval), values.back());
  (*effect).dispatch(effEditClose);
}

TEST_F(EditorUnderWine, WheelTurnsStepTheKnobAndAControlClickCentresIt) {
  auto effect = openEditor(host, 3);
  (*effect)->setParameter(effect->get(), kInterval, 0.5f);
  ASSERT_TRUE(xdotool("mousemove " + at(host.onScreen(kIntervalCentre)) + " click 4"));  // one notch up
  pumpMessages(300);
  EXPECT_NEAR((*effect)->getParameter(effect->get(), kInterval), 0.6f, 1e-6f);
  ASSERT_TRUE(xdotool("click 5 click 5"));
  pumpMessages(300);
  EXPECT_NEAR((*effect)->getParameter(effect->get(), kInterval), 0.4f, 1e-6f);

  gCalls.clear();
  ASSERT_TRUE(xdotool("keydown ctrl click 1 keyup ctrl"));
  pumpMessages(200);
  EXPECT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.5f);
  const std::vector<float> values = automated(kInterval);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values.back(), 0.5f);

  EXPECT_EQ((*effect).dispatch(effEditKeyDown, 0, VKEY_UP), 1) << "the arrow keys step the knob last used";
  ASSERT_TRUE(xdotool("click 2"));
  pumpMessages(200);
  EXPECT_EQ((*effect).dispatch(effEditKeyDown, 0, VKEY_UP), 0) << "a middle press takes the focus away";
  (*effect).dispatch(effEditClose);
}

TEST_F(EditorUnderWine, OleDropsReachTheEditorTextFirstThenFiles) {
  ASSERT_EQ(OleInitialize(nullptr), S_OK);  // the host's own, for its drag source
  auto effect = openEditor(host, 3);
  const POINT centre = host.onScreen({164, 100});
  const auto drag = [&](TestDataObject& object) {
    SetCursorPos(20, 20);
    DropAt source(centre);
    DWORD effectShown = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(&object, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effectShown), DRAGDROP_S_DROP);
    return effectShown;
  };

  TestDataObject both;
  both.offerText("Fadecrest");
  both.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  EXPECT_EQ(drag(both), static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE))
      << "the drop leaves the effect as the source passed it";
  ASSERT_FALSE(both.asked().empty());
  EXPECT_EQ(both.asked().front(), CF_TEXT);
  EXPECT_EQ(std::count(both.asked().begin(), both.asked().end(), CF_HDROP), 0) << "text counts as one item";

  TestDataObject files;
  files.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  drag(files);
  const std::vector<CLIPFORMAT> expected{CF_TEXT, CF_UNICODETEXT, CF_HDROP};
  EXPECT_EQ(files.asked(), expected);
  (*effect).dispatch(effEditClose);
  effect.reset();
  OleUninitialize();
}

TEST_F(EditorUnderWine, TwoHundredOpenCloseCyclesGiveBackEveryGdiAndUserObject) {
  auto effect = openEditor(host, 3);
  (*effect).dispatch(effEditClose);
  {
    HostWindow elsewhere(100, 420);
    (*effect).dispatch(effEditOpen, 0, 0, elsewhere.handle());
    UpdateWindow(elsewhere.editor());
  }
  (*effect).dispatch(effEditClose);  // the first openings make what GDI keeps for good
  const int gdiBefore = gdiObjects();
  const int windowsBefore = windowsOfThisThread();
  for (int cycle = 0; cycle < 200; ++cycle) {
    if (cycle % 20 == 10) {
      // Now and then the host destroys its window, and the editor's with it, before it closes the editor.
      HostWindow doomed(100, 420);
      ASSERT_EQ((*effect).dispatch(effEditOpen, 0, 0, doomed.handle()), 1);
      UpdateWindow(doomed.editor());
    } else {
      ASSERT_EQ((*effect).dispatch(effEditOpen, 0, 0, host.handle()), 1);
      UpdateWindow(host.editor());  // the first paint, through the back buffer
    }
    (*effect)->setParameter(effect->get(), kInterval, static_cast<float>(cycle % 10) / 10.0f);
    (*effect).dispatch(effEditIdle);
    (*effect).dispatch(effEditClose);
  }
  pumpMessages(100);
  EXPECT_EQ(gdiObjects(), gdiBefore);
  EXPECT_EQ(windowsOfThisThread(), windowsBefore);
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(module->handle(), frameClassName(*module).c_str(), &windowClass))
      << "the window class goes with the last frame";
}

TEST_F(EditorUnderWine, TwoEditorsAtOnceThenFreeLibraryAfterEffClose) {
  HostWindow second(500, 100);
  auto medium = openEditor(host, 3);
  auto shortest = openEditor(second, 5);
  expectLooksLike(editorOnScreen(host), "medium_track");
  expectLooksLike(editorOnScreen(second), "shortest");
  WNDCLASSA windowClass;
  EXPECT_TRUE(GetClassInfoA(module->handle(), frameClassName(*module).c_str(), &windowClass));
  (*medium).dispatch(effEditClose);
  // The other editor keeps its class and still paints, when the host idles it and pumps nothing.
  HDC dc = GetDC(second.editor());
  const RECT all{0, 0, kWidth, kHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(second.editor(), dc);
  InvalidateRect(second.editor(), nullptr, FALSE);
  (*shortest).dispatch(effEditIdle);
  EXPECT_FALSE(GetUpdateRect(second.editor(), nullptr, FALSE)) << "the idle pass takes the waiting paint";
  expectLooksLike(editorOnScreen(second), "shortest");

  // The host closes the second effect with its editor still open, then unloads the library.
  host.idle(nullptr);
  second.idle(nullptr);
  medium.reset();
  shortest.reset();
  EXPECT_EQ(second.editor(), nullptr) << "effClose takes the editor window along";
  module.reset();  // FreeLibrary: the last reference, so the library goes
  pumpMessages(200);
  module.emplace();  // loaded once more: a fresh start after a clean unload
  ASSERT_NE(module->entry(), nullptr);
  auto again = openEditor(host, 5);
  expectLooksLike(editorOnScreen(host), "shortest");
  (*again).dispatch(effEditClose);
}

}  // namespace
