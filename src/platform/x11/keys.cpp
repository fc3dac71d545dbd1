#include "platform/x11/keys.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <iterator>

namespace platform::x11 {
namespace {

struct NamedKeysym {
  KeySym keysym;
  NamedKey key;
};

// The keys that type no character by their keysyms; the keypad's with NumLock and without, those
// that move as the main keys that move.
constexpr NamedKeysym kNamedKeysyms[] = {
    {XK_BackSpace, NamedKey::backspace},
    {XK_Tab, NamedKey::tab},
    {XK_ISO_Left_Tab, NamedKey::tab},  // Shift+Tab on most keyboard maps
    {XK_KP_Tab, NamedKey::tab},
    {XK_Clear, NamedKey::clear},
    {XK_KP_Begin, NamedKey::clear},
    {XK_Return, NamedKey::returnKey},
    {XK_Pause, NamedKey::pause},
    {XK_Escape, NamedKey::escape},
    {XK_space, NamedKey::space},
    {XK_KP_Space, NamedKey::space},
    {XK_End, NamedKey::end},
    {XK_KP_End, NamedKey::end},
    {XK_Home, NamedKey::home},
    {XK_KP_Home, NamedKey::home},
    {XK_Left, NamedKey::left},
    {XK_KP_Left, NamedKey::left},
    {XK_Up, NamedKey::up},
    {XK_KP_Up, NamedKey::up},
    {XK_Right, NamedKey::right},
    {XK_KP_Right, NamedKey::right},
    {XK_Down, NamedKey::down},
    {XK_KP_Down, NamedKey::down},
    {XK_Page_Up, NamedKey::pageUp},
    {XK_KP_Page_Up, NamedKey::pageUp},
    {XK_Page_Down, NamedKey::pageDown},
    {XK_KP_Page_Down, NamedKey::pageDown},
    {XK_Print, NamedKey::print},
    {XK_Insert, NamedKey::insert},
    {XK_KP_Insert, NamedKey::insert},
    {XK_Delete, NamedKey::deleteKey},
    {XK_KP_Delete, NamedKey::deleteKey},
    {XK_Help, NamedKey::help},
    {XK_KP_0, NamedKey::keypad0},
    {XK_KP_1, NamedKey::keypad1},
    {XK_KP_2, NamedKey::keypad2},
    {XK_KP_3, NamedKey::keypad3},
    {XK_KP_4, NamedKey::keypad4},
    {XK_KP_5, NamedKey::keypad5},
    {XK_KP_6, NamedKey::keypad6},
    {XK_KP_7, NamedKey::keypad7},
    {XK_KP_8, NamedKey::keypad8},
    {XK_KP_9, NamedKey::keypad9},
    {XK_KP_Multiply, NamedKey::keypadMultiply},
    {XK_KP_Add, NamedKey::keypadAdd},
    {XK_KP_Separator, NamedKey::keypadSeparator},
    {XK_KP_Subtract, NamedKey::keypadSubtract},
    {XK_KP_Decimal, NamedKey::keypadDecimal},
    {XK_KP_Divide, NamedKey::keypadDivide},
    {XK_KP_Enter, NamedKey::keypadEnter},
    {XK_KP_Equal, NamedKey::keypadEquals},
    {XK_F1, NamedKey::f1},
    {XK_F2, NamedKey::f2},
    {XK_F3, NamedKey::f3},
    {XK_F4, NamedKey::f4},
    {XK_F5, NamedKey::f5},
    {XK_F6, NamedKey::f6},
    {XK_F7, NamedKey::f7},
    {XK_F8, NamedKey::f8},
    {XK_F9, NamedKey::f9},
    {XK_F10, NamedKey::f10},
    {XK_F11, NamedKey::f11},
    {XK_F12, NamedKey::f12},
    {XK_Num_Lock, NamedKey::numLock},
    {XK_Scroll_Lock, NamedKey::scrollLock},
    {XK_Shift_L, NamedKey::shift},
    {XK_Shift_R, NamedKey::shift},
    {XK_Control_L, NamedKey::control},
    {XK_Control_R, NamedKey::control},
    {XK_Alt_L, NamedKey::alt},
    {XK_Alt_R, NamedKey::alt},
};

// Keysyms of the Latin-1 characters are their code points, and the keysyms of all the others are
// the code point with a flag (what keyboard maps use for them today); the old keysyms of other
// scripts type nothing we know of.
char32_t characterOf(KeySym keysym) {
  if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
    return static_cast<char32_t>(keysym);
  if ((keysym & 0xff000000) == 0x01000000) return static_cast<char32_t>(keysym & 0x00ffffff);
  return 0;
}

}  // namespace

Message keyMessage(XKeyEvent& event) {
  Message message;
  message.type = event.type == KeyPress ? MessageType::keyDown : MessageType::keyUp;
  message.keys = keysOf(event.state) & (keyBit(Key::shift) | keyBit(Key::control) | keyBit(Key::alt));
  // The keysym as Shift and the locks make it; the text it would type is not wanted (Control
  // turns letters into control characters there).
  KeySym keysym = NoSymbol;
  char text[8];
  XLookupString(&event, text, sizeof text, &keysym, nullptr);
  for (const NamedKeysym& named : kNamedKeysyms)
    if (named.keysym == keysym) message.key = named.key;
  if (message.key == NamedKey::none) message.character = characterOf(keysym);
  return message;
}

void passKeyOn(XKeyEvent event) {
  Display* display = backend().display;
  const long mask = event.type == KeyPress ? KeyPressMask : KeyReleaseMask;
  ErrorTrap trap;  // the host's windows may go meanwhile
  ::Window child = event.window;
  for (;;) {
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, child, &root, &parent, &children, &count)) return;
    if (children) XFree(children);
    XWindowAttributes attributes{};
    if (!parent || !XGetWindowAttributes(display, parent, &attributes)) return;
    if (attributes.all_event_masks & mask) {
      ::Window below = 0;
      if (!XTranslateCoordinates(display, event.root, parent, event.x_root, event.y_root, &event.x, &event.y,
                                 &below))
        return;
      event.window = parent;
      event.subwindow = child;
      XSendEvent(display, parent, False, mask, reinterpret_cast<XEvent*>(&event));
      XFlush(display);
      return;
    }
    if (attributes.do_not_propagate_mask & mask) return;
    child = parent;
  }
}

}  // namespace platform::x11
