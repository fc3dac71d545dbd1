#include "platform/x11/xdnd.h"

#include <X11/Xatom.h>
#include <poll.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>

namespace platform::x11 {
namespace {

constexpr long kVersion = 5;
// How long a window waits for the source's data before it counts as not offered.
constexpr std::chrono::milliseconds kDataWait{500};

bool offers(const std::vector<Atom>& types, Atom type) {
  return type != None && std::find(types.begin(), types.end(), type) != types.end();
}

bool offersText(const std::vector<Atom>& types) {
  const Atoms& a = backend().atoms;
  for (Atom type : {a.utf8String, a.textPlainUtf8, a.textPlainUtf8Upper, a.textPlain, a.string, a.text})
    if (offers(types, type)) return true;
  return false;
}

// The files of a text/uri-list: one URI a line, ending in CRLF or LF, comments starting with '#'.
// Only file URIs name files.
std::int32_t countFiles(std::string_view list) {
  std::int32_t files = 0;
  while (!list.empty()) {
    const std::size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) line.remove_suffix(1);
    if (line.size() > 5 && strncasecmp(line.data(), "file:", 5) == 0) ++files;
  }
  return files;
}

std::vector<Atom> readTypeList(::Window source) {
  Backend& b = backend();
  std::vector<Atom> types;
  ErrorTrap trap;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(b.display, source, b.atoms.xdndTypeList, 0, 4096, False, XA_ATOM, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);  // format 32 comes as longs
    types.assign(atoms, atoms + count);
  }
  if (data) XFree(data);
  return types;
}

// Asks the source for its data of one type and waits a bounded time for it, leaving every other
// event pending. The answer may come in a type other than the one asked for.
bool fetch(const WindowRecord& record, Atom target, Time time, std::string& out) {
  Backend& b = backend();
  Display* display = b.display;
  ErrorTrap trap;
  XDeleteProperty(display, record.id, b.atoms.dropData);
  XConvertSelection(display, b.atoms.xdndSelection, target, b.atoms.dropData, record.id,
                    time ? time : CurrentTime);
  XFlush(display);
  const auto deadline = std::chrono::steady_clock::now() + kDataWait;
  XEvent event;
  for (;;) {
    if (XCheckTypedWindowEvent(display, record.id, SelectionNotify, &event) &&
        event.xselection.target == target)
      break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(std::min<long>(left.count(), 20)));
  }
  if (event.xselection.property == None) return false;  // the source refused
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool read = XGetWindowProperty(display, record.id, b.atoms.dropData, 0, 1 << 20, True,
                                       AnyPropertyType, &type, &format, &count, &after, &data) == Success;
  // Data too large for one property comes piece by piece (INCR), which a file count does not need.
  const bool usable = read && data && format == 8 && type != b.atoms.incr;
  if (usable) out.assign(reinterpret_cast<const char*>(data), count);
  if (data) XFree(data);
  return usable;
}

std::unique_ptr<OfferedData> fetchOffer(const WindowRecord& record, const DragStep& step) {
  bool files = false;
  std::int32_t count = 0;
  std::string list;
  if (offers(step.types, backend().atoms.uriList) &&
      fetch(record, backend().atoms.uriList, step.time, list)) {
    count = countFiles(list);
    files = count > 0;
  }
  // Sources offer their file list as plain text as well (Qt does): a drag that carries files is a
  // drag of files, as it is where file lists never come as text.
  return std::make_unique<OfferedData>(!files && offersText(step.types), files, count);
}

// Answers the source, at the window it sent from.
void reply(::Window source, Atom type, long second, long third, long fifth, ::Window from) {
  Backend& b = backend();
  XEvent event{};
  XClientMessageEvent& message = event.xclient;
  message.type = ClientMessage;
  message.display = b.display;
  message.window = source;
  message.message_type = type;
  message.format = 32;
  message.data.l[0] = static_cast<long>(from);
  message.data.l[1] = second;
  message.data.l[2] = third;
  message.data.l[4] = fifth;
  ErrorTrap trap;  // a source that has gone meanwhile
  XSendEvent(b.display, source, False, NoEventMask, &event);
  XFlush(b.display);
}

// Whether the window takes the drop, and with which action. The editor keeps nothing of what is
// dropped, so it never tells a source that it moved the data: the source would delete its copy.
void sendStatus(::Window source, ::Window from, bool accepted) {
  // Bit 1 asks for a position on every move, as no rectangle is given.
  reply(source, backend().atoms.xdndStatus, accepted ? 3 : 0, 0,
        accepted ? backend().atoms.xdndActionCopy : None, from);
}

void sendFinished(::Window source, ::Window from, bool accepted) {
  reply(source, backend().atoms.xdndFinished, accepted ? 1 : 0,
        accepted ? backend().atoms.xdndActionCopy : None, 0, from);
}

// Our window with a drop target under a point of the screen; the one the message was sent to
// first. A source may name another window in the message than the one it sent it to.
WindowRecord* dropWindowAt(Point root, WindowRecord* named) {
  Backend& b = backend();
  std::vector<WindowRecord*> candidates;
  if (named && named->dropTarget) candidates.push_back(named);
  for (WindowRecord* record : b.windows)
    if (record != named && !record->gone && record->dropTarget) candidates.push_back(record);
  ErrorTrap trap;
  for (WindowRecord* record : candidates) {
    int x = 0, y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(b.display, DefaultRootWindow(b.display), record->id, root.x, root.y, &x, &y,
                               &child))
      continue;
    if (x >= 0 && y >= 0 && x < record->pixels.width() && y < record->pixels.height()) return record;
  }
  return nullptr;
}

void queueStep(WindowRecord* record, DragStep step) {
  PendingEvent event;
  event.kind = PendingEvent::dragStep;
  event.drag = std::move(step);
  record->pending.push_back(std::move(event));
}

// The drag over a window leaves it before another begins or the pointer moves elsewhere.
void leaveWindow() {
  Backend& b = backend();
  if (b.drag.over) queueStep(b.drag.over, {DragStep::leave, b.drag.source, {}, 0, {}});
  b.drag.over = nullptr;
}

}  // namespace

bool receiveDragMessage(const XClientMessageEvent& message) {
  Backend& b = backend();
  const Atoms& a = b.atoms;
  const Atom type = message.message_type;
  if (type != a.xdndEnter && type != a.xdndPosition && type != a.xdndLeave && type != a.xdndDrop)
    return false;
  if (message.format != 32) return true;
  const auto source = static_cast<::Window>(message.data.l[0]);

  if (type == a.xdndEnter) {
    leaveWindow();
    b.drag.source = source;
    b.drag.types.clear();
    if (message.data.l[1] & 1) {
      b.drag.types = readTypeList(source);  // more than three types
    } else {
      for (int i = 2; i < 5; ++i)
        if (message.data.l[i]) b.drag.types.push_back(static_cast<Atom>(message.data.l[i]));
    }
    return true;
  }
  if (source != b.drag.source) {
    // A step of a drag we never saw enter.
    if (type == a.xdndPosition) sendStatus(source, message.window, false);
    if (type == a.xdndDrop) sendFinished(source, message.window, false);
    return true;
  }
  if (type == a.xdndPosition) {
    const long packed = message.data.l[2];
    const Point root{static_cast<int>((packed >> 16) & 0xffff), static_cast<int>(packed & 0xffff)};
    WindowRecord* over = dropWindowAt(root, windowById(message.window));
    if (over != b.drag.over) leaveWindow();
    b.drag.over = over;
    if (!over) {
      sendStatus(source, message.window, false);
      return true;
    }
    queueStep(over, {DragStep::position, source, root, static_cast<Time>(message.data.l[3]), b.drag.types});
    return true;
  }
  if (type == a.xdndDrop) {
    if (b.drag.over)
      queueStep(b.drag.over, {DragStep::drop, source, {}, 0, {}});
    else
      sendFinished(source, message.window, false);
  } else {
    leaveWindow();
  }
  b.drag = {};
  return true;
}

void deliverDragStep(Lock& held, WindowRecord& record, const DragStep& step) {
  const ::Window window = record.id;
  std::uint32_t effect = kDropEffectCopy;
  switch (step.kind) {
    case DragStep::position: {
      // A position from another source than the drag over the window ends that drag first.
      if (record.dragTarget && record.dragSource != step.source) {
        const std::uint64_t serial = record.serial;
        endDragOver(held, record);
        if (!windowBySerial(serial)) return;
      }
      if (!record.dragTarget && !record.dropTarget) {
        sendStatus(step.source, window, false);
        return;
      }
      record.dragPoint = step.root;
      DropTargetHandler* target = record.dragTarget;
      if (!target) {
        // The toolkit asks what the drag offers inside its enter: fetched before it is asked.
        record.dragData = fetchOffer(record, step);
        record.dragSource = step.source;
        target = record.dragTarget = record.dropTarget;
        target->addRef();
        target->addRef();  // for this call, which the window may not outlive
        DragData* data = record.dragData.get();
        held.unlock();
        target->dragEnter(data, kDragKeyLeftButton, step.root, effect);
      } else {
        target->addRef();
        held.unlock();
        target->dragOver(kDragKeyLeftButton, step.root, effect);
      }
      target->release();
      held.lock();
      sendStatus(step.source, window, effect != kDropEffectNone);
      return;
    }
    case DragStep::leave:
      endDragOver(held, record);
      return;
    case DragStep::drop: {
      DropTargetHandler* target = std::exchange(record.dragTarget, nullptr);
      if (!target) {
        sendFinished(step.source, window, false);
        return;
      }
      std::unique_ptr<OfferedData> data = std::move(record.dragData);
      const Point point = record.dragPoint;
      held.unlock();
      target->drop(data.get(), kDragKeyLeftButton, point, effect);
      target->release();
      held.lock();
      sendFinished(step.source, window, true);
      return;
    }
  }
}

void endDragOver(Lock& held, WindowRecord& record) {
  DropTargetHandler* target = std::exchange(record.dragTarget, nullptr);
  if (!target) return;
  std::unique_ptr<OfferedData> data = std::move(record.dragData);
  held.unlock();
  target->dragLeave();
  target->release();
  held.lock();
}

void announceDropTarget(const WindowRecord& record, bool takesDrops) {
  Backend& b = backend();
  ErrorTrap trap;
  if (takesDrops)
    XChangeProperty(b.display, record.id, b.atoms.xdndAware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&kVersion), 1);
  else
    XDeleteProperty(b.display, record.id, b.atoms.xdndAware);
  XFlush(b.display);
}

}  // namespace platform::x11

namespace platform {

bool registerDropTarget(WindowHandle handle, DropTargetHandler* handler) {
  auto held = x11::lock();
  x11::WindowRecord* record = x11::liveWindow(handle);
  if (!record || !handler || record->dropTarget) return false;
  record->dropTarget = handler;
  handler->addRef();
  x11::announceDropTarget(*record, true);
  return true;
}

void revokeDropTarget(WindowHandle handle) {
  auto held = x11::lock();
  x11::WindowRecord* record = x11::liveWindow(handle);
  if (!record || !record->dropTarget) return;
  x11::announceDropTarget(*record, false);
  std::exchange(record->dropTarget, nullptr)->release();
}

}  // namespace platform
