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
#include "support/editor_gestures.h"

namespace {

using gestures::kInterval;
using pictures::kEditorHeight;
using pictures::kEditorWidth;
using pictures::Picture;

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
    RECT outer{0, 0, kEditorWidth, kEditorHeight};
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

// What the screen shows of the editor once it has settled: a busy machine may need a moment to
// paint and to hand the pixels on to the X server.
Picture editorOnScreen(const HostWindow& host) {
  UpdateWindow(host.editor());
  GdiFlush();
  const POINT origin = host.onScreen({0, 0});
  const auto shot = [&] {
    const Picture screen = screenshot();
    EXPECT_GT(screen.width, 0) << "no screenshot";
    return screen.crop(origin.x, origin.y, kEditorWidth, kEditorHeight);
  };
  Picture shown = shot();
  for (int attempt = 0; attempt < 10; ++attempt) {
    Picture again = shot();
    if (again == shown) break;
    shown = std::move(again);
  }
  return shown;
}

// Every pixel outside the value displays' text as in the golden picture, the text where it stands
// there: GDI lays type out a little differently from FreeType.
void expectLooksLike(const Picture& shown, const char* name) {
  pictures::expectLooksLikeGolden(shown, name, pictures::Text::otherEngine,
                                  std::string("Z:") + FADECREST_OUTPUT_DIR + "/failed-" + name + ".png");
}

// The editor of an effect in a host window, idled by the host's timer while messages are pumped.
class EditorInHost : public gestures::OpenEditor {
 public:
  EditorInHost(const HostWindow& window, Effect& effect, RecordingHost& recorder)
      : window_(window), effect_(effect), recorder_(recorder) {}
  AEffect* effect() const override { return effect_.get(); }
  RecordingHost& host() override { return recorder_; }
  std::string onScreen(gestures::EditorPoint p) const override {
    const POINT screen = window_.onScreen({p.x, p.y});
    return std::to_string(screen.x) + " " + std::to_string(screen.y);
  }
  bool input(const std::string& arguments, bool servedMeanwhile = true) override {
    const bool ran = runOnDisplay("xdotool " + arguments, servedMeanwhile);
    pumpMessages(300);
    return ran;
  }
  Picture shown() override { return editorOnScreen(window_); }
  pictures::Text text() const override { return pictures::Text::otherEngine; }

 private:
  const HostWindow& window_;
  Effect& effect_;
  RecordingHost& recorder_;
};

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

class EditorUnderWine : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(module->entry(), nullptr) << PluginModule::loadError(); }
  void TearDown() override { SwapMouseButton(FALSE); }
  // A new effect at a program, its editor open in the host window.
  std::unique_ptr<Effect> openEditor(HostWindow& window, int program) {
    auto effect = std::make_unique<Effect>(*module, RecordingHost::callback);
    (*effect).dispatch(effSetProgram, 0, program);
    (*effect).dispatch(effSetEditKnobMode, 0, 0);  // circular
    EXPECT_EQ((*effect).dispatch(effEditOpen, 0, 0, window.handle()), 1);
    window.idle(effect->get());
    pumpMessages(200);
    recorder.calls.clear();
    return effect;
  }

  std::optional<PluginModule> module{std::in_place};
  RecordingHost recorder;
  HostWindow host{100, 100};
};

TEST_F(EditorUnderWine, ShowsTheGoldenPicturesAndTakesClicksDragsAndWheelTurns) {
  auto effect = openEditor(host, 3);
  writePng(editorOnScreen(host), std::string("Z:") + FADECREST_OUTPUT_DIR + "/editor-wine.png");
  EditorInHost editor(host, *effect, recorder);
  gestures::expectTheTitleShowsTheAboutPictureUntilTheNextClick(editor);

  // While the knob follows the mouse, the editor and a window below it are damaged again at every
  // pass of the editor's idle routine (seen as the host's idle), which paints one of them each time.
  HostWindow elsewhere(500, 100);
  SetWindowPos(elsewhere.handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  std::vector<int> paintsInPass;
  recorder.onCall = [&](const HostCall& call) {
    if (call.opcode != audioMasterIdle) return;
    int painted = 0;
    for (HWND window : {host.editor(), elsewhere.handle()}) {
      painted += !GetUpdateRect(window, nullptr, FALSE);
      InvalidateRect(window, nullptr, FALSE);
    }
    paintsInPass.push_back(painted);
  };
  gestures::expectAKnobDragAutomatesRisingValuesInOneGesture(editor);
  recorder.onCall = nullptr;
  ASSERT_GT(paintsInPass.size(), 2u);
  EXPECT_EQ(*std::max_element(paintsInPass.begin() + 1, paintsInPass.end()), 1) << "one paint per idle pass";

  gestures::expectWheelNotchesStepTheKnobAndAControlClickCentresIt(editor);
  EXPECT_EQ((*effect).dispatch(effEditKeyDown, 0, VKEY_UP), 1) << "the arrow keys step the knob last used";
  ASSERT_TRUE(editor.input("click 2"));
  EXPECT_EQ((*effect).dispatch(effEditKeyDown, 0, VKEY_UP), 0) << "a middle press takes the focus away";
  (*effect).dispatch(effEditClose);
}

// A drag from a Windows program, as OLE hands it to the target the editor registered for its window.
TEST_F(EditorUnderWine, OleDropsReachTheEditorTextFirstThenFiles) {
  auto effect = openEditor(host, 3);
  auto* target = static_cast<IDropTarget*>(GetPropA(host.editor(), "OleDropTargetInterface"));
  ASSERT_NE(target, nullptr);
  const POINT centre = host.onScreen({164, 100});
  const auto drag = [&](TestDataObject& object) {
    DWORD effectShown = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(&object, MK_LBUTTON, {centre.x, centre.y}, &effectShown);
    effectShown = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(&object, 0, {centre.x, centre.y}, &effectShown), S_OK);
    EXPECT_EQ(object.references(), 1u) << "every reference taken on the drag is given back";
    return effectShown;
  };

  TestDataObject both;
  both.offerText("Fadecrest");
  both.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  EXPECT_EQ(drag(both), static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE))
      << "the drop leaves the effect as the source passed it";
  ASSERT_TRUE(!both.asked().empty() && both.asked().front() == CF_TEXT);
  EXPECT_EQ(std::count(both.asked().begin(), both.asked().end(), CF_HDROP), 0) << "text counts as one item";

  TestDataObject files;
  files.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  drag(files);
  const std::vector<CLIPFORMAT> expected{CF_TEXT, CF_UNICODETEXT, CF_HDROP};
  EXPECT_EQ(files.asked(), expected);
  (*effect).dispatch(effEditClose);
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
  const RECT all{0, 0, kEditorWidth, kEditorHeight};
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
  // Swapped buttons are read as the class is registered anew. Press messages name the buttons as
  // the user sees them: the left one (the physical right) opens the about picture, the right one
  // does nothing.
  SwapMouseButton(TRUE);
  auto again = openEditor(host, 5);
  EditorInHost editor(host, *again, recorder);
  ASSERT_TRUE(editor.input("mousemove " + editor.onScreen(gestures::kTitle) + " click 3"));
  expectLooksLike(editor.shown(), "shortest");
  ASSERT_TRUE(editor.input("click 1"));
  expectLooksLike(editor.shown(), "about");
  (*again).dispatch(effEditClose);
}

}  // namespace
