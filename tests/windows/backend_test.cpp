// The Windows backend's pieces that the editor's pictures do not show: resources by number, the
// classic bitmap fallback, both ways of a transparent-colour copy; and through Wine's OLE: a drag started
// with DoDragDrop reaches the drop target registered through the seam, which sees its text (CF_TEXT, or
// CF_UNICODETEXT as text dragged from X11 programs arrives) and counts the files of its CF_HDROP list; and a
// thread whose COM was started in another mode keeps it when the editor starts and stops OLE.
#include <gtest/gtest.h>

#include "ole_drag.h"
#include "platform/resources.h"
#include "platform/win32/surface.h"
#include "platform/window.h"
#include "screen.h"

namespace {

// What a drop target learnt of the drag at its entry and at the drop.
class RecordingTarget final : public platform::DropTargetHandler {
 public:
  struct Seen {
    bool text = false;
    bool fileList = false;
    std::int32_t files = -1;
  };
  Seen entered, dropped;
  int drops = 0, leaves = 0;
  int references = 0;

  platform::ResultCode queryInterface(const platform::InterfaceId& id, void** object) override {
    if (id == platform::kDropTargetInterface || id == platform::kUnknownInterface) {
      *object = this;
      addRef();
      return platform::kResultOk;
    }
    *object = nullptr;
    return platform::kResultNoInterface;
  }
  std::uint32_t addRef() override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t release() override { return static_cast<std::uint32_t>(--references); }
  platform::ResultCode dragEnter(platform::DragData* data, std::uint32_t, platform::Point,
                                 std::uint32_t& effect) override {
    entered = look(data);
    effect = platform::kDropEffectCopy;
    return platform::kResultOk;
  }
  platform::ResultCode dragOver(std::uint32_t, platform::Point, std::uint32_t& effect) override {
    effect = platform::kDropEffectCopy;
    return platform::kResultOk;
  }
  platform::ResultCode dragLeave() override {
    ++leaves;
    return platform::kResultOk;
  }
  platform::ResultCode drop(platform::DragData* data, std::uint32_t, platform::Point,
                            std::uint32_t& effect) override {
    ++drops;
    dropped = look(data);
    effect = platform::kDropEffectCopy;
    return platform::kResultOk;
  }

 private:
  static Seen look(platform::DragData* data) {
    Seen seen;
    if (!data) return seen;
    seen.text = data->hasText();
    seen.fileList = data->fileCount(seen.files);
    return seen;
  }
};

long passOn(platform::WindowHandle window, const platform::Message& message) {
  return platform::defaultWindowProcedure(window, message);
}

// The target is registered for a window of the backend's own class, inside a host's window.
class OleDrop : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    ASSERT_TRUE(platform::registerWindowClass("FadecrestDropTest", nullptr, passOn));
    host = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 200, 200, 200, nullptr, nullptr,
                           nullptr, nullptr);
    window = static_cast<HWND>(platform::createChildWindow("FadecrestDropTest", "", host, 200, 200));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(platform::registerDropTarget(window, &target));
    EXPECT_FALSE(platform::registerDropTarget(window, &target)) << "one target per window";
    EXPECT_EQ(target.references, 1) << "the refused second registration keeps nothing";
  }
  void TearDown() override {
    DestroyWindow(host);
    EXPECT_EQ(target.references, 0) << "a window that goes with its host's gives its target back";
    platform::unregisterWindowClass("FadecrestDropTest", nullptr);
    OleUninitialize();
  }
  // Drags the object from elsewhere onto the middle of the window and drops it there.
  DWORD dragOnto(TestDataObject& object) {
    SetCursorPos(20, 20);
    DropAt source({300, 300});
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(&object, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(object.references(), 1u) << "every reference taken on the drag is given back";
    return effect;
  }

  HWND host = nullptr, window = nullptr;
  RecordingTarget target;
};

TEST_F(OleDrop, TextAndThreeFilesAreSeenAsBoth) {
  TestDataObject object;
  object.offerText("a line of text");
  object.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  EXPECT_EQ(dragOnto(object), static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_TRUE(target.entered.text);
  EXPECT_TRUE(target.entered.fileList);
  EXPECT_EQ(target.entered.files, 3);
  EXPECT_EQ(target.drops, 1);
  EXPECT_EQ(target.dropped.files, 3);
}

TEST_F(OleDrop, FilesWithoutTextAndUnicodeTextWithoutFiles) {
  TestDataObject files;
  files.offerFiles({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  dragOnto(files);
  EXPECT_FALSE(target.entered.text);
  EXPECT_EQ(target.entered.files, 3);

  TestDataObject unicode;
  unicode.offerUnicodeText(L"text from an X11 program");
  dragOnto(unicode);
  EXPECT_TRUE(target.entered.text);
  EXPECT_FALSE(target.entered.fileList);
  EXPECT_EQ(target.drops, 2);
}

// OLE keeps the registered target where Windows programs find it.
TEST_F(OleDrop, ASecondEnterWithoutALeaveGivesTheFirstDragBack) {
  auto* registered = static_cast<IDropTarget*>(GetPropA(window, "OleDropTargetInterface"));
  ASSERT_NE(registered, nullptr);
  TestDataObject first, second;
  second.offerFiles({"C:\\one.wav"});
  DWORD effect = DROPEFFECT_COPY;
  registered->DragEnter(&first, 0, {}, &effect);
  registered->DragEnter(&second, 0, {}, &effect);
  EXPECT_EQ(first.references(), 1u);
  EXPECT_EQ(target.entered.files, 1);
  registered->DragLeave();
  EXPECT_EQ(target.leaves, 1);
  EXPECT_EQ(second.references(), 1u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(registered->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, registered);
  unknown->Release();
  EXPECT_EQ(target.references, 1) << "the answer to OLE leaves the target's count as it was";
}

// What the frame asks of the window tree, of painting and of cursors, on a window of the seam.
TEST_F(OleDrop, TheSeamsWindowInItsHostsWindow) {
  EXPECT_EQ(platform::windowParent(window), host);
  EXPECT_EQ(platform::windowParent(host), nullptr);
  WNDCLASSA registered{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "FadecrestDropTest", &registered));
  EXPECT_EQ(registered.style, static_cast<UINT>(CS_GLOBALCLASS))
      << "for windows of any module of the process";
  EXPECT_EQ(registered.hbrBackground, GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_EQ(platform::windowClassName(window), "FadecrestDropTest");
  HWND captioned =
      CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(platform::windowHasCaption(captioned));
  EXPECT_FALSE(platform::windowHasCaption(host));
  DestroyWindow(captioned);
  platform::resizeWindow(window, 120, 80);
  EXPECT_EQ(platform::windowScreenRect(window), (platform::Rect{200, 200, 320, 280})) << "resized in place";
  EXPECT_EQ(platform::screenToClient(window, {210, 230}), (platform::Point{10, 30}));

  // Damage comes back as the update rectangle and as the paint's, and a paint repairs it, whether
  // drawn, left to the default handling, or taken from the thread's queue.
  RedrawWindow(host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  platform::Rect damaged;
  platform::invalidateWindow(window, {5, 6, 30, 40});
  ASSERT_TRUE(platform::windowUpdateRect(window, damaged));
  EXPECT_EQ(damaged, (platform::Rect{5, 6, 30, 40}));
  platform::Surface* surface = platform::beginPaint(window, damaged);
  EXPECT_EQ(damaged, (platform::Rect{5, 6, 30, 40}));
  platform::endPaint(window, surface);
  EXPECT_FALSE(platform::windowUpdateRect(window, damaged));
  platform::invalidateWindow(window, {0, 0, 9, 9});
  platform::defaultWindowProcedure(window, {platform::MessageType::paint, {}, 0});
  EXPECT_FALSE(platform::windowUpdateRect(window, damaged));
  platform::invalidateWindow(window, {0, 0, 9, 9});
  EXPECT_TRUE(platform::dispatchPendingPaint());
  EXPECT_FALSE(platform::dispatchPendingPaint());

  using platform::CursorShape;
  EXPECT_EQ(platform::systemCursor(CursorShape::sizeWE), LoadCursorA(nullptr, IDC_SIZEWE));
  platform::setCurrentCursor(window, platform::systemCursor(CursorShape::hand));
  EXPECT_EQ(platform::currentCursor(window), platform::systemCursor(CursorShape::hand));
  platform::PlatformVersion version;
  ASSERT_TRUE(platform::queryPlatformVersion(version));
  EXPECT_EQ(version.platformId, 2u) << "the NT family";
}

// Drags from an X11 program by the XDND protocol; Wine hands them on to the drop target under the
// point as OLE drags, a file list (text/uri-list) as CF_HDROP and text as CF_UNICODETEXT.
TEST_F(OleDrop, AnX11ProgramsFileListAndTextArriveThroughWine) {
  ASSERT_TRUE(
      runOnDisplay(std::string(FADECREST_XDND_DRAG) +
                   " 300 300 text/uri-list file:///tmp/one.wav file:///tmp/two.wav file:///tmp/three.wav"));
  pumpMessages(300);
  EXPECT_EQ(target.drops, 1);
  EXPECT_EQ(target.dropped.files, 3);
  EXPECT_FALSE(target.dropped.text);

  ASSERT_TRUE(runOnDisplay(std::string(FADECREST_XDND_DRAG) + " 300 300 text/plain from-X11"));
  pumpMessages(300);
  EXPECT_EQ(target.drops, 2);
  EXPECT_TRUE(target.dropped.text);
  EXPECT_FALSE(target.dropped.fileList);
}

TEST(Ole, AThreadWhoseComRunsInAnotherModeGoesOnWithoutDragAndDrop) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  platform::startOle();  // refused: the thread is multithreaded
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  // Windows refuses drop targets on such a thread, Wine takes them: either way nothing is kept.
  RecordingTarget target;
  platform::registerDropTarget(window, &target);
  platform::revokeDropTarget(window);
  EXPECT_EQ(target.references, 0);
  DestroyWindow(window);
  platform::stopOle();
  // Still initialised as the host left it: a further start only counts up. (Wine's OleUninitialize
  // forgives a stop without a start; Windows' would end the host's COM here.)
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

// A picture without alpha copied with white left out leaves the destination where the picture is
// white, by the imaging library's transparent copy and by the mask method alike.
TEST(Gdi, TransparentCopyLeavesTheTransparentColourOutBothWays) {
  const platform::ImagingLibrary imaging = platform::loadImagingLibrary();
  ASSERT_TRUE(imaging.hasTransparentCopy);
  auto picture = platform::createBitmap(4, 1);
  ASSERT_NE(picture, nullptr);
  // Blue, green, red and a fourth byte of 255, as pictures from classic bitmap resources have it.
  const std::uint8_t pixels[] = {255, 255, 255, 255, 0, 200, 0, 255, 255, 255, 255, 255, 200, 0, 0, 255};
  std::memcpy(picture->memoryRow(0), pixels, sizeof pixels);
  for (bool platformCopy : {true, false}) {
    auto surface = platform::createMemorySurface(nullptr, 6, 1);
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(surface->createBrush({200, 0, 0}));
    surface->fillRect({0, 0, 6, 1});
    surface->copyBitmapTransparent(*picture, {0, 0}, {1, 0, 5, 1}, {255, 255, 255}, platformCopy);
    HDC dc = static_cast<platform::win32::GdiSurface&>(*surface).dc();
    const COLORREF expected[] = {RGB(200, 0, 0), RGB(200, 0, 0), RGB(0, 200, 0),
                                 RGB(200, 0, 0), RGB(0, 0, 200), RGB(200, 0, 0)};
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(GetPixel(dc, x, 0), expected[x]) << "x " << x << (platformCopy ? "" : " (mask)");
  }
  platform::releaseImagingLibrary(imaging.handle);
}

// Text in opaque mode fills its cells with the background colour; the font is made as described.
TEST(Gdi, OpaqueTextFillsItsCellsAndTheFontIsAsDescribed) {
  auto surface = platform::createMemorySurface(nullptr, 40, 20);
  ASSERT_NE(surface, nullptr);
  HDC dc = static_cast<platform::win32::GdiSurface&>(*surface).dc();
  surface->createFont({"Arial", 12, 700, true, true, 0x22});
  LOGFONTA made{};
  GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof made, &made);
  EXPECT_TRUE(made.lfItalic && made.lfUnderline && made.lfWeight == 700 && made.lfHeight == -12);
  surface->setBackgroundColor({0, 0, 200});
  surface->setBackgroundMode(platform::BackgroundMode::opaque);
  surface->drawText("  ", {0, 0, 40, 20}, platform::TextAlign::left);
  EXPECT_EQ(GetPixel(dc, 1, 10), RGB(0, 0, 200)) << "the background of the spaces' cells";
}

// This program's own resources: a null module names it, as a module handle names a library.
TEST(Resources, PngByTheLow16BitsOfItsNumberAndClassicBitmapsTopRowFirst) {
  const std::span<const std::uint8_t> background = platform::findResource(nullptr, "PNG", 0x10080);
  HANDLE file = CreateFileA(FADECREST_BACKGROUND_PICTURE, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(background.size(), GetFileSize(file, nullptr)) << "resource 128, the background picture";
  CloseHandle(file);
  EXPECT_TRUE(platform::findResource(nullptr, "PNG", 77).empty()) << "77 is a classic bitmap only";

  const std::unique_ptr<platform::Bitmap> classic = platform::loadClassicBitmap(nullptr, 77);
  ASSERT_NE(classic, nullptr);
  ASSERT_EQ(classic->width(), 2);
  ASSERT_EQ(classic->height(), 2);
  // Memory rows are bottom-up: row 1 is the picture's top row. Blue, green, red, opaque.
  const std::uint8_t top[] = {0, 0, 255, 255, 0, 255, 0, 255};
  const std::uint8_t bottom[] = {255, 0, 0, 255, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(classic->memoryRow(1), top, sizeof top), 0);
  EXPECT_EQ(std::memcmp(classic->memoryRow(0), bottom, sizeof bottom), 0);
  EXPECT_EQ(platform::loadClassicBitmap(nullptr, 78), nullptr);
}

}  // namespace
