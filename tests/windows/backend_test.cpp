// The Windows backend's pieces that the editor's pictures do not show: messages as the procedure sees
// them, the window tree, resources by number, the classic bitmap fallback, drawing; and through Wine's OLE:
// what the drop target registered through the seam sees of drags, and a thread whose COM was started in
// another mode keeps it when the editor starts and stops OLE.
#include <gtest/gtest.h>

#include "ole_drag.h"
#include "platform/resources.h"
#include "platform/win32/surface.h"
#include "platform/window.h"

namespace {

using namespace platform;

// What a drop target learnt of the drag at its entry, at its leave and at the drop.
class RecordingTarget final : public DropTargetHandler {
 public:
  std::string entered, left, dropped;  // "text", "3 files", "text, 3 files" or nothing
  DragData* current = nullptr;         // the drag's data since its entry
  int drops = 0, leaves = 0;
  int references = 0;

  ResultCode queryInterface(const InterfaceId& id, void** object) override {
    const bool known = id == kDropTargetInterface || id == kUnknownInterface;
    *object = known ? this : nullptr;
    return known ? (addRef(), kResultOk) : kResultNoInterface;
  }
  std::uint32_t addRef() override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t release() override { return static_cast<std::uint32_t>(--references); }
  ResultCode dragEnter(DragData* data, std::uint32_t, Point, std::uint32_t& effect) override {
    entered = look(current = data);
    effect = kDropEffectCopy;
    return kResultOk;
  }
  ResultCode dragOver(std::uint32_t, Point, std::uint32_t& effect) override {
    effect |= kDropEffectCopy;
    return kResultOk;
  }
  ResultCode dragLeave() override {
    left = look(current);
    ++leaves;
    return kResultOk;
  }
  ResultCode drop(DragData* data, std::uint32_t, Point, std::uint32_t& effect) override {
    ++drops;
    dropped = look(data);
    effect = kDropEffectCopy;
    return kResultOk;
  }

 private:
  static std::string look(DragData* data) {
    std::int32_t files = -1;
    const bool text = data && data->hasText(), list = data && data->fileCount(files);
    return (text ? list ? "text, " : "text" : "") + (list ? std::to_string(files) + " files" : "");
  }
};

Message seen;  // the last message the procedure had
long passOn(WindowHandle window, const Message& message) {
  seen = message;
  return defaultWindowProcedure(window, message);
}
int hostWheels = 0;
LRESULT CALLBACK countWheels(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  hostWheels += message == WM_MOUSEWHEEL;
  return DefWindowProcA(window, message, wParam, lParam);
}

// The target is registered for a window of the backend's own class, inside a host's window.
class OleDrop : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    ASSERT_TRUE(registerWindowClass("FadecrestDropTest", nullptr, passOn));
    host = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 180, 200, 200, 200, nullptr, nullptr,
                           nullptr, nullptr);
    window = static_cast<HWND>(createChildWindow("FadecrestDropTest", "", host, 200, 150));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(registerDropTarget(window, &target));
    EXPECT_FALSE(registerDropTarget(window, &target)) << "one target per window";
    EXPECT_EQ(target.references, 1) << "the refused second registration keeps nothing";
    seen = {};
  }
  void TearDown() override {
    DestroyWindow(host);
    EXPECT_EQ(seen.type, MessageType::destroy);
    EXPECT_EQ(target.references, 0) << "a window that goes with its host's gives its target back";
    unregisterWindowClass("FadecrestDropTest", nullptr);
    OleUninitialize();
  }
  HWND host = nullptr, window = nullptr;
  RecordingTarget target;
};

// What the target registered through the seam (where OLE finds it for Windows programs) sees of drags:
// text as CF_TEXT, or as CF_UNICODETEXT as text dragged from X11 programs arrives, and the number of files
// of a CF_HDROP list; every reference taken on a drag is given back, after a second enter without a leave
// too. Its answers reach OLE.
TEST_F(OleDrop, WhatTheTargetSeesOfDragsAndTheReferencesGivenBack) {
  auto* registered = static_cast<IDropTarget*>(GetPropA(window, "OleDropTargetInterface"));
  ASSERT_NE(registered, nullptr);
  TestDataObject both, files, unicode;
  both.offerText("a line of text");
  both.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  files.offerFiles({"C:\\one.wav"});
  unicode.offerUnicodeText(L"text from an X11 program");
  DWORD effect = DROPEFFECT_LINK;
  registered->DragOver(0, {}, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_LINK | DROPEFFECT_COPY));
  registered->DragEnter(&both, 0, {}, &effect);
  EXPECT_EQ(target.entered, "text, 3 files");
  registered->DragEnter(&files, 0, {}, &effect);
  EXPECT_TRUE(both.references() == 1 && target.entered == "1 files");
  registered->DragLeave();
  EXPECT_TRUE(target.leaves == 1 && target.left == "1 files" && files.references() == 1);
  registered->DragEnter(&unicode, 0, {}, &effect);
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(registered->Drop(&both, 0, {}, &effect), S_OK);
  EXPECT_TRUE(target.entered == "text" && target.dropped == "text, 3 files" && effect == DROPEFFECT_COPY);
  EXPECT_TRUE(both.references() == 1 && unicode.references() == 1 && target.drops == 1);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(registered->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, registered);
  const ULONG references = unknown->AddRef();
  EXPECT_EQ(unknown->Release(), references - 1);
  unknown->Release();
  EXPECT_EQ(target.references, 1) << "the answer to OLE leaves the target's count as it was";
}

// What the frame asks of the window tree, of painting and of cursors, on a window of the seam.
TEST_F(OleDrop, TheSeamsWindowInItsHostsWindow) {
  EXPECT_TRUE(windowParent(window) == host && windowParent(host) == nullptr);
  WNDCLASSA registered{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "FadecrestDropTest", &registered));
  EXPECT_TRUE(registered.style == CS_GLOBALCLASS &&
              registered.hbrBackground == GetSysColorBrush(COLOR_BTNFACE) &&
              registered.hCursor == LoadCursorA(nullptr, IDC_ARROW));  // for windows of any module
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  EXPECT_EQ(windowClassName(window), "FadecrestDropTest");
  HWND captioned = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 90, 90, nullptr,
                                   nullptr, nullptr, nullptr);
  EXPECT_TRUE(windowHasCaption(captioned) && !windowHasCaption(host));
  RECT inner;
  GetClientRect(captioned, &inner);
  EXPECT_EQ(windowScreenRect(captioned).width() - inner.right, 2 * fixedFrameBorder());
  dispatchWindowEvents(window);
  EXPECT_TRUE(GetUpdateRect(captioned, nullptr, FALSE)) << "another window's paint is left waiting";
  DestroyWindow(captioned);
  resizeWindow(host, 120, 80);
  EXPECT_EQ(windowScreenRect(host), (Rect{180, 200, 300, 280})) << "resized in place";
  EXPECT_EQ(screenToClient(window, {190, 230}), (Point{10, 30}));

  // Damage comes back as the update rectangle and as the paint's, and a paint repairs it, whether
  // drawn, left to the default handling, or taken from the thread's queue.
  RedrawWindow(host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Rect damaged;
  invalidateWindow(window, {5, 6, 30, 40});
  ASSERT_TRUE(windowUpdateRect(window, damaged));
  EXPECT_EQ(damaged, (Rect{5, 6, 30, 40}));
  Surface* surface = beginPaint(window, damaged);
  EXPECT_EQ(damaged, (Rect{5, 6, 30, 40}));
  endPaint(window, surface);
  EXPECT_FALSE(windowUpdateRect(window, damaged));
  invalidateWindow(window, {0, 0, 9, 9});
  defaultWindowProcedure(window, {MessageType::paint, {}, 0});
  EXPECT_FALSE(windowUpdateRect(window, damaged));
  invalidateWindow(window, {0, 0, 9, 9});
  EXPECT_TRUE(dispatchPendingPaint());
  EXPECT_FALSE(dispatchPendingPaint());

  const LPCSTR shapes[] = {IDC_ARROW,    IDC_WAIT,     IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL,
                           IDC_SIZENESW, IDC_SIZENWSE, IDC_NO,     IDC_HAND};
  for (int shape = 0; shape < 9; ++shape)
    EXPECT_EQ(systemCursor(CursorShape(shape)), LoadCursorA(nullptr, shapes[shape])) << shape;
  setCurrentCursor(window, systemCursor(CursorShape::hand));
  EXPECT_EQ(currentCursor(window), systemCursor(CursorShape::hand));
  PlatformVersion version;
  ASSERT_TRUE(queryPlatformVersion(version));
  EXPECT_EQ(version.platformId, 2u) << "the NT family";
  EXPECT_EQ(version.major * 256 + version.minor, LOBYTE(GetVersion()) * 256u + HIBYTE(LOWORD(GetVersion())));
}

// Presses carry the client point (unsigned words) and the keys of the message, buttons physical; a wheel
// turn its screen point, signed delta and keys, and goes on to the host's window.
TEST_F(OleDrop, PressesAndWheelTurnsAsTheProcedureSeesThem) {
  // Left, middle, right with Shift, Control, Alt, as Key has them; then the user's left with buttons swapped.
  const UINT presses[] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDOWN};
  const MessageType types[] = {MessageType::leftButtonDown, MessageType::middleButtonDown,
                               MessageType::rightButtonDown, MessageType::leftButtonDown};
  const BYTE buttons[] = {VK_LBUTTON, VK_MBUTTON, VK_RBUTTON, VK_LBUTTON},
             modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  ASSERT_TRUE(registerWindowClass("FadecrestOtherClass", nullptr, passOn));
  unregisterWindowClass("FadecrestOtherClass", nullptr);  // another class of the module goes
  unregisterWindowClass("FadecrestDropTest", nullptr);    // refused while the window is there
  for (int i = 0; i < 4; ++i) {
    BYTE state[256] = {};
    state[buttons[i]] = state[modifiers[i % 3]] = 0x80;
    SetKeyboardState(state);
    SwapMouseButton(i == 3);
    SendMessageA(window, presses[i], 0, MAKELPARAM(40000, 7 + i));
    EXPECT_TRUE(seen.type == types[i] && seen.point == (Point{40000, 7 + i})) << i;
    EXPECT_EQ(seen.keys, keyBit(Key(i == 3 ? 2 : i)) | keyBit(Key(3 + i % 3))) << i;
    EXPECT_FALSE(isKeyDown(Key(3 + i % 3)) || heldKeys()) << "the live state is another";
  }
  SwapMouseButton(FALSE);
  SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countWheels));
  SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -240), MAKELPARAM(-5, 300));
  EXPECT_TRUE(seen.type == MessageType::wheel && seen.point == (Point{-5, 300}) && seen.wheelDelta == -240 &&
              seen.keys == (keyBit(Key::leftButton) | keyBit(Key::shift)));
  EXPECT_EQ(hostWheels, 1);
  BYTE none[256] = {};
  SetKeyboardState(none);
}

TEST(Ole, AThreadWhoseComRunsInAnotherModeGoesOnWithoutDragAndDrop) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  startOle();  // refused: the thread is multithreaded
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  // Windows refuses drop targets on such a thread, Wine takes them: either way nothing is kept.
  RecordingTarget target;
  registerDropTarget(window, &target);
  revokeDropTarget(window);
  EXPECT_EQ(target.references, 0);
  DestroyWindow(window);
  stopOle();
  // Still initialised as the host left it: a further start only counts up. (Wine's OleUninitialize
  // forgives a stop without a start; Windows' would end the host's COM here.)
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  startOle();  // on a thread without COM: started, then stopped for good
  stopOle();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

// A picture without alpha copied with green left out leaves the destination where the picture is
// green, by the imaging library's transparent copy and by the mask method alike, and the surface's
// colours as they were. Blends by per-pixel or constant alpha while any frame keeps the imaging library
// loaded; after the last gave it back, its addresses are not called: a plain copy.
TEST(Gdi, TransparentCopiesBothWaysAndBlendsWhileTheImagingLibraryIsLoaded) {
  const ImagingLibrary imaging = loadImagingLibrary();
  ASSERT_TRUE(imaging.hasTransparentCopy);
  auto picture = createBitmap(4, 2);
  ASSERT_NE(picture, nullptr);
  // The top row (memory row 1): blue, green, red and a fourth byte of 255, as classic bitmaps have it.
  const std::uint8_t pixels[] = {255, 255, 255, 255, 0, 200, 0, 255, 255, 255, 255, 255, 200, 0, 0, 255};
  std::memcpy(picture->memoryRow(1), pixels, sizeof pixels);
  for (bool platformCopy : {true, false}) {
    auto surface = createMemorySurface(nullptr, 6, 2);
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(surface->createBrush({200, 200, 0}));  // sharing bits with the colour left out
    surface->fillRect({0, 0, 6, 2});
    surface->setBackgroundColor({0, 0, 9});
    surface->copyBitmapTransparent(*picture, {0, 0}, {1, 0, 5, 2}, {0, 200, 0}, platformCopy);
    HDC dc = static_cast<win32::GdiSurface&>(*surface).dc();
    const COLORREF expected[] = {RGB(200, 200, 0),   RGB(255, 255, 255), RGB(200, 200, 0),
                                 RGB(255, 255, 255), RGB(0, 0, 200),     RGB(200, 200, 0)};
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(GetPixel(dc, x, 0), expected[x]) << "x " << x << (platformCopy ? "" : " (mask)");
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 9));
    surface->copyBitmap(*picture, {1, 0}, {0, 0, 2, 1});
    EXPECT_TRUE(GetPixel(dc, 0, 0) == RGB(0, 200, 0) && GetPixel(dc, 1, 0) == RGB(255, 255, 255));
  }
  const std::uint8_t halfRed[] = {0, 0, 100, 128};
  std::memcpy(picture->memoryRow(0), halfRed, sizeof halfRed);
  auto surface = createMemorySurface(nullptr, 1, 1);
  const auto blend = [&](std::uint8_t opacity, bool perPixelAlpha, COLORREF expected) {
    surface->fillRect({0, 0, 1, 1});
    surface->alphaBlendBitmap(*picture, {0, 1}, {0, 0, 1, 1}, opacity, perPixelAlpha);
    const COLORREF shown = GetPixel(static_cast<win32::GdiSurface&>(*surface).dc(), 0, 0);
    EXPECT_TRUE(std::abs(GetRValue(shown) - GetRValue(expected)) <= 2 && GetGValue(shown) == 0 &&
                std::abs(GetBValue(shown) - GetBValue(expected)) <= 2)
        << std::hex << shown << " opacity " << int(opacity);
  };
  ASSERT_TRUE(surface && surface->createBrush({0, 0, 200}));
  const ImagingLibrary another = loadImagingLibrary();
  releaseImagingLibrary(imaging.handle);
  blend(255, true, RGB(100, 0, 100));
  blend(128, false, RGB(50, 0, 100));
  releaseImagingLibrary(another.handle);
  EXPECT_EQ(GetModuleHandleA("msimg32.dll"), nullptr) << "given back as often as it was loaded";
  blend(128, true, RGB(100, 0, 0));
}

// Text on one line, centred vertically, aligned, no prefixes, opaque cells; the font as described; lines
// in copy mode within the clip; the device context's own objects back at the end.
TEST(Gdi, TextLinesAndClipAndTheObjectsGivenBack) {
  auto surface = createMemorySurface(nullptr, 40, 20);
  ASSERT_NE(surface, nullptr);
  HDC dc = static_cast<win32::GdiSurface&>(*surface).dc();
  const HGDIOBJ own[] = {GetCurrentObject(dc, OBJ_PEN), GetCurrentObject(dc, OBJ_BRUSH),
                         GetCurrentObject(dc, OBJ_FONT)};
  surface->saveObjects();
  surface->createFont({"Arial", 12, 700, false, true, 0x22});
  LOGFONTA made{};
  GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof made, &made);
  EXPECT_TRUE(!made.lfItalic && made.lfUnderline && made.lfWeight == 700 && made.lfHeight == -12 &&
              std::string(made.lfFaceName) == "Arial");
  surface->createBrush({200, 0, 0});
  surface->fillRect({0, 0, 40, 20});
  surface->setBackgroundColor({0, 0, 200});
  surface->setBackgroundMode(BackgroundMode::opaque);
  surface->drawText("&&", {0, 0, 40, 20}, TextAlign::right);
  SIZE size{};
  GetTextExtentPoint32A(dc, "&&", 2, &size);
  const int top = (20 - size.cy) / 2;  // centred vertically
  EXPECT_TRUE(GetPixel(dc, 39 - size.cx, top) == RGB(200, 0, 0) &&
              GetPixel(dc, 39, top - 1) == RGB(200, 0, 0));
  EXPECT_TRUE(GetPixel(dc, 40 - size.cx, top) == RGB(0, 0, 200) && GetPixel(dc, 39, top) == RGB(0, 0, 200))
      << "both ampersands' cells, filled, at the right";
  surface->createPen({0, 200, 0}, 1);
  surface->moveTo({0, 19});
  surface->lineTo({40, 19});
  EXPECT_EQ(GetPixel(dc, 20, 19), RGB(0, 200, 0)) << "a solid line";
  surface->setClip({0, 0, 10, 20});
  surface->createPen({0, 200, 0}, 3);
  surface->setCopyMode();
  surface->moveTo({0, 1});
  surface->lineTo({40, 1});
  EXPECT_TRUE(GetPixel(dc, 9, 2) == RGB(0, 200, 0) && GetPixel(dc, 10, 1) == RGB(200, 0, 0));
  surface->restoreObjects();
  EXPECT_TRUE(GetCurrentObject(dc, OBJ_PEN) == own[0] && GetCurrentObject(dc, OBJ_BRUSH) == own[1] &&
              GetCurrentObject(dc, OBJ_FONT) == own[2]);
}

// This program's own resources: a null module names it, as a module handle names a library.
TEST(Resources, PngByTheLow16BitsOfItsNumberAndClassicBitmapsTopRowFirst) {
  const std::span<const std::uint8_t> background = findResource(nullptr, "PNG", 0x10080);
  HANDLE file = CreateFileA(FADECREST_BACKGROUND_PICTURE, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(background.size(), GetFileSize(file, nullptr)) << "resource 128, the background picture";
  CloseHandle(file);
  EXPECT_TRUE(findResource(nullptr, "PNG", 77).empty() && findResource(nullptr, "PNG", 0x180).empty())
      << "77 is a classic bitmap only, and 0x180 no resource";

  const std::unique_ptr<Bitmap> classic = loadClassicBitmap(nullptr, 77);
  ASSERT_TRUE(classic && classic->width() == 2 && classic->height() == 2);
  // Memory rows are bottom-up: row 1 is the picture's top row. Blue, green, red, opaque.
  const std::uint8_t top[] = {0, 0, 255, 255, 0, 255, 0, 255};
  const std::uint8_t bottom[] = {255, 0, 0, 255, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(classic->memoryRow(1), top, sizeof top), 0);
  EXPECT_EQ(std::memcmp(classic->memoryRow(0), bottom, sizeof bottom), 0);
  EXPECT_EQ(loadClassicBitmap(nullptr, 78), nullptr);
}

}  // namespace
