#include "platform/window.h"

#include <ole2.h>
#include <windows.h>
#include <windowsx.h>

#include <map>
#include <string>

#include "platform/win32/droptarget.h"
#include "platform/win32/input.h"
#include "platform/win32/surface.h"

namespace platform {
namespace {

HWND hwnd(WindowHandle window) { return static_cast<HWND>(window); }

// The classes this backend registered, each with the toolkit's procedure for its windows.
struct RegisteredClass {
  std::string name;
  HINSTANCE instance;
  WindowProcedure procedure;
};
std::map<ATOM, RegisteredClass>& registeredClasses() {
  static std::map<ATOM, RegisteredClass> classes;
  return classes;
}

// The native message being handled on this thread, for the default handling the toolkit asks for.
struct NativeMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
thread_local const NativeMessage* tHandling = nullptr;

bool translate(UINT message, WPARAM wParam, LPARAM lParam, Message& out) {
  switch (message) {
    case WM_DESTROY:
      out.type = MessageType::destroy;
      return true;
    case WM_PAINT:
      out.type = MessageType::paint;
      return true;
    case WM_LBUTTONDOWN:
      out.type = MessageType::leftButtonDown;
      break;
    case WM_RBUTTONDOWN:
      out.type = MessageType::rightButtonDown;
      break;
    case WM_MBUTTONDOWN:
      out.type = MessageType::middleButtonDown;
      break;
    case WM_MOUSEWHEEL:
      out.type = MessageType::wheel;
      out.point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen coordinates
      out.wheelDelta = GET_WHEEL_DELTA_WPARAM(wParam);
      out.keys = win32::keysAtMessage();
      return true;
    default:
      // Keys among them: the window never takes the keyboard focus, so they stay with the host's
      // windows, and a host hands the editor what it wants it to have through effEditKeyDown.
      return false;
  }
  // Presses: the client position as two unsigned 16-bit words.
  out.point = {LOWORD(lParam), HIWORD(lParam)};
  out.keys = win32::keysAtMessage();
  return true;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Message translated;
  const auto found = registeredClasses().find(static_cast<ATOM>(GetClassLongPtrA(window, GCW_ATOM)));
  if (found == registeredClasses().end() || !translate(message, wParam, lParam, translated))
    return DefWindowProcA(window, message, wParam, lParam);

  const NativeMessage native{window, message, wParam, lParam};
  const NativeMessage* outer = tHandling;
  tHandling = &native;
  const LRESULT result = found->second.procedure(window, translated);
  tHandling = outer;
  // A window destroyed from outside (with the host's window) still gives its drop target back.
  if (message == WM_DESTROY) win32::revokeDropTargetOf(window);
  return result;
}

}  // namespace

long defaultWindowProcedure(WindowHandle window, const Message& message) {
  if (tHandling && tHandling->window == hwnd(window))
    return static_cast<long>(
        DefWindowProcA(tHandling->window, tHandling->message, tHandling->wParam, tHandling->lParam));
  // Outside a window procedure: a paint left alone still counts as done.
  if (message.type == MessageType::paint) ValidateRect(hwnd(window), nullptr);
  return 0;
}

bool registerWindowClass(const std::string& name, ModuleHandle module, WindowProcedure procedure) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_GLOBALCLASS;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = static_cast<HINSTANCE>(module);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = name.c_str();
  const ATOM atom = RegisterClassA(&windowClass);
  if (!atom) return false;
  registeredClasses()[atom] = {name, windowClass.hInstance, procedure};
  return true;
}

void unregisterWindowClass(const std::string& name, ModuleHandle module) {
  const auto instance = static_cast<HINSTANCE>(module);
  if (!UnregisterClassA(name.c_str(), instance)) return;
  std::erase_if(registeredClasses(), [&](const auto& entry) {
    return entry.second.name == name && entry.second.instance == instance;
  });
}

WindowHandle createChildWindow(const std::string& className, const std::string& title, WindowHandle parent,
                               int width, int height) {
  return CreateWindowExA(0, className.c_str(), title.c_str(),
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width, height,
                         hwnd(parent), nullptr, static_cast<HINSTANCE>(moduleHandle()), nullptr);
}

void destroyWindow(WindowHandle window) {
  if (window) DestroyWindow(hwnd(window));
}

void setWindowUserData(WindowHandle window, void* data) {
  if (window) SetWindowLongPtrA(hwnd(window), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

void* windowUserData(WindowHandle window) {
  return window ? reinterpret_cast<void*>(GetWindowLongPtrA(hwnd(window), GWLP_USERDATA)) : nullptr;
}

WindowHandle windowParent(WindowHandle window) { return window ? GetParent(hwnd(window)) : nullptr; }

std::string windowClassName(WindowHandle window) {
  char name[1024] = {};
  if (!window || GetClassNameA(hwnd(window), name, sizeof name) == 0) return {};
  return name;
}

bool windowHasCaption(WindowHandle window) {
  return window && (GetWindowLongA(hwnd(window), GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
}

void resizeWindow(WindowHandle window, int width, int height) {
  if (window) SetWindowPos(hwnd(window), nullptr, 0, 0, width, height, SWP_NOMOVE);
}

Point screenToClient(WindowHandle window, Point screen) {
  POINT point{screen.x, screen.y};
  if (window) MapWindowPoints(HWND_DESKTOP, hwnd(window), &point, 1);
  return {point.x, point.y};
}

void invalidateWindow(WindowHandle window, const Rect& rect) {
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  if (window) InvalidateRect(hwnd(window), &r, FALSE);
}

bool windowUpdateRect(WindowHandle window, Rect& damaged) {
  RECT r{};
  if (!window || !GetUpdateRect(hwnd(window), &r, FALSE)) return false;
  damaged = {r.left, r.top, r.right, r.bottom};
  return true;
}

Surface* beginPaint(WindowHandle window, Rect& damaged) {
  win32::GdiSurface* surface = win32::GdiSurface::ofPaint(hwnd(window));
  if (!surface) {
    damaged = {};
    return nullptr;
  }
  const RECT& r = surface->paintRect();
  damaged = {r.left, r.top, r.right, r.bottom};
  return surface;
}

void endPaint(WindowHandle /*window*/, Surface* surface) { delete surface; }

bool dispatchPendingPaint() {
  MSG message{};
  if (!PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) return false;
  DispatchMessageA(&message);
  return true;
}

// Presses, wheel turns and the destroy message reach the window procedure through the host's own
// message loop, in order and as they come, with whatever the host does around them; taking them
// here would take them from under the host and out of order. What is left is the paint, taken when
// the host idles the editor.
void dispatchWindowEvents(WindowHandle window) {
  MSG message{};
  if (window && PeekMessageA(&message, hwnd(window), WM_PAINT, WM_PAINT, PM_REMOVE))
    DispatchMessageA(&message);
}

CursorHandle systemCursor(CursorShape shape) {
  // In the order of CursorShape.
  static const LPCSTR kNames[] = {IDC_ARROW,    IDC_WAIT,     IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL,
                                  IDC_SIZENESW, IDC_SIZENWSE, IDC_NO,     IDC_HAND};
  return LoadCursorA(nullptr, kNames[static_cast<int>(shape)]);
}

// One cursor for all windows here: the window must be there, but it does not choose the cursor.
CursorHandle currentCursor(WindowHandle window) { return window ? GetCursor() : nullptr; }

void setCurrentCursor(WindowHandle window, CursorHandle cursor) {
  if (window) SetCursor(static_cast<HCURSOR>(const_cast<void*>(cursor)));
}

int fixedFrameBorder() { return GetSystemMetrics(SM_CYFIXEDFRAME); }

bool queryPlatformVersion(PlatformVersion& version) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;  // 156 bytes
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
  version = {info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId};
  return true;
}

namespace {
// An exported function by name, as the type the caller knows it has.
template <typename Function>
Function entryPoint(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}
}  // namespace

ImagingLibrary loadImagingLibrary() {
  HMODULE library = LoadLibraryA("msimg32.dll");
  if (!library) return {};
  auto& entries = win32::imagingEntries();
  entries.alphaBlend = entryPoint<win32::AlphaBlendEntry>(library, "AlphaBlend");
  entries.transparentBlt = entryPoint<win32::TransparentBltEntry>(library, "TransparentBlt");
  ++entries.loads;
  return {library, entries.alphaBlend != nullptr, entries.transparentBlt != nullptr};
}

void releaseImagingLibrary(void* handle) {
  if (!handle) return;
  FreeLibrary(static_cast<HMODULE>(handle));
  // Once the last load is given back the library may be gone: its addresses must not be called.
  auto& entries = win32::imagingEntries();
  if (--entries.loads == 0) entries = {};
}

// OLE in pairs on the calling thread. A thread whose COM was started in another mode answers
// RPC_E_CHANGED_MODE: the editor goes on without drag and drop, and the matching stop must then
// leave the host's COM alone.
namespace {
thread_local int tOleStarted = 0;  // starts that succeeded
thread_local int tOleRefused = 0;  // starts refused, given back first: they stop nothing
}  // namespace

void startOle() {
  const HRESULT result = OleInitialize(nullptr);
  if (SUCCEEDED(result))
    ++tOleStarted;
  else
    ++tOleRefused;
}

void stopOle() {
  if (tOleRefused > 0) {
    --tOleRefused;
    return;
  }
  if (tOleStarted == 0) return;
  --tOleStarted;
  OleUninitialize();
}

}  // namespace platform
