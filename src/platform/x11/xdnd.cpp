#include "platform/x11/xdnd.h"

#include <X11/Xatom.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <utility>

namespace platform::x11 {

// What one drag offers, as far as the toolkit asks: text, told from the offered types, or files,
// counted in the file list the source sends when asked.
struct DragOffer final : DragData {
  DragOffer(::Window source, bool text, bool fileList) : source(source), text(text), fileList(fileList) {}
  // Sources offer their file list as plain text as well (Qt does): a drag that carries files is a
  // drag of files, as it is where file lists never come as text.
  bool hasText() const override { return text && files == 0; }
  bool fileCount(std::int32_t& count) const override {
    if (files > 0) count = files;
    return files > 0;
  }

  const ::Window source;
  const bool text;
  const bool fileList;  // offers text/uri-list
  bool asked = false;   // for the file list, which lands on our window `requestor`
  ::Window requestor = 0;
  std::int32_t files = 0;
};

namespace {

constexpr long kVersion = 5;
// How long a drag may take to send its file list before it counts as offering none.
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

// In a sent event 0 and 1 stand for "the window under the pointer" and "the focus window": a source
// that names them would have every answer reach whichever window is there.
bool namesWindow(::Window id) { return id != PointerWindow && id != InputFocus; }

// Answers the source, at its window, naming our window the message was for.
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

// A position or a drop that no window of ours takes is refused at once, so that its source need not
// wait for an answer; one that was not sent to a window of ours is not answered at all.
void refuse(Atom type, ::Window source, const WindowRecord* to) {
  if (!to) return;
  if (type == backend().atoms.xdndPosition) sendStatus(source, to->id, false);
  if (type == backend().atoms.xdndDrop) sendFinished(source, to->id, false);
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

// Asks the source of the current drag for its file list, to land on the window; the answer comes
// with the other events.
void askForFiles(const WindowRecord& over, Time time) {
  Backend& b = backend();
  b.drag.current->asked = true;
  b.drag.current->requestor = over.id;
  b.drag.awaited = b.drag.current;
  b.drag.awaitedUntil = std::chrono::steady_clock::now() + kDataWait;
  ErrorTrap trap;
  XDeleteProperty(b.display, over.id, b.atoms.dropData);
  XConvertSelection(b.display, b.atoms.xdndSelection, b.atoms.uriList, b.atoms.dropData, over.id, time);
  XFlush(b.display);
}

// The file list of the awaited drag, if this is its answer: from here on the drag waits no more.
void receiveFileList(const XSelectionEvent& answer) {
  Backend& b = backend();
  const std::shared_ptr<DragOffer> offer = b.drag.awaited;
  if (!offer || answer.requestor != offer->requestor || answer.selection != b.atoms.xdndSelection ||
      answer.target != b.atoms.uriList)
    return;
  b.drag.awaited.reset();
  if (answer.property == None) return;  // the source refused
  ErrorTrap trap;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool read = XGetWindowProperty(b.display, answer.requestor, b.atoms.dropData, 0, 1 << 20, True,
                                       AnyPropertyType, &type, &format, &count, &after, &data) == Success;
  // Data too large for one property comes piece by piece, announced by a number (INCR, of format
  // 32): a file count does not need it.
  if (read && data && format == 8) offer->files = countFiles({reinterpret_cast<const char*>(data), count});
  if (data) XFree(data);
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
  if (b.drag.over) queueStep(b.drag.over, {DragStep::leave, 0, {}, nullptr});
  b.drag.over = nullptr;
}

// The source left, or another drag began: what has not come of this one by now never will.
void endDrag() {
  Backend& b = backend();
  leaveWindow();
  b.drag.current.reset();
  b.drag.awaited.reset();
}

}  // namespace

bool receiveDragEvent(const XEvent& event) {
  Backend& b = backend();
  if (event.type == SelectionNotify) {
    receiveFileList(event.xselection);  // we ask for no other conversion
    return true;
  }
  if (event.type != ClientMessage) return false;
  const XClientMessageEvent& message = event.xclient;
  const Atoms& a = b.atoms;
  const Atom type = message.message_type;
  if (type != a.xdndEnter && type != a.xdndPosition && type != a.xdndLeave && type != a.xdndDrop)
    return false;
  const auto source = static_cast<::Window>(message.data.l[0]);
  if (message.format != 32 || !namesWindow(source)) return true;
  std::shared_ptr<DragOffer>& drag = b.drag.current;

  if (type == a.xdndEnter) {
    endDrag();
    std::vector<Atom> types;
    if (message.data.l[1] & 1) {
      types = readTypeList(source);  // more than three types
    } else {
      for (int i = 2; i < 5; ++i)
        if (message.data.l[i]) types.push_back(static_cast<Atom>(message.data.l[i]));
    }
    drag = std::make_shared<DragOffer>(source, offersText(types), offers(types, a.uriList));
    return true;
  }
  WindowRecord* to = windowById(message.window);
  if (!drag || source != drag->source) {
    refuse(type, source, to);  // a step of a drag we never saw enter
    return true;
  }
  if (type == a.xdndPosition) {
    const long packed = message.data.l[2];
    const Point root{static_cast<int>((packed >> 16) & 0xffff), static_cast<int>(packed & 0xffff)};
    WindowRecord* over = dropWindowAt(root, to);
    if (over != b.drag.over) leaveWindow();
    b.drag.over = over;
    if (!over) {
      refuse(type, source, to);
      return true;
    }
    if (drag->fileList && !drag->asked) askForFiles(*over, static_cast<Time>(message.data.l[3]));
    queueStep(over, {DragStep::position, source, root, drag});
  } else if (type == a.xdndDrop) {
    // The drop waits behind the drag's positions, for its file list too.
    if (b.drag.over)
      queueStep(b.drag.over, {DragStep::drop, source, {}, drag});
    else
      refuse(type, source, to);
    b.drag.over = nullptr;
    drag.reset();
  } else {
    endDrag();
  }
  return true;
}

bool dragStepWaits(const DragStep& step) {
  Backend& b = backend();
  if (step.kind != DragStep::position || step.offer != b.drag.awaited) return false;
  if (std::chrono::steady_clock::now() < b.drag.awaitedUntil) return true;
  b.drag.awaited.reset();  // the source has had its time: its files count as not offered
  return false;
}

void deliverDragStep(Lock& held, WindowRecord& record, const DragStep& step) {
  const ::Window window = record.id;
  std::uint32_t effect = kDropEffectCopy;
  switch (step.kind) {
    case DragStep::position: {
      // A position of another drag than the one over the window ends that one first.
      if (record.dragTarget && record.dragOffer != step.offer) {
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
        record.dragOffer = step.offer;
        target = record.dragTarget = record.dropTarget;
        target->addRef();
        target->addRef();  // for this call, which the window may not outlive
        held.unlock();
        target->dragEnter(step.offer.get(), kDragKeyLeftButton, step.root, effect);
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
      const std::shared_ptr<DragOffer> offer = std::move(record.dragOffer);
      const Point point = record.dragPoint;
      held.unlock();
      target->drop(offer.get(), kDragKeyLeftButton, point, effect);
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
  const std::shared_ptr<DragOffer> offer = std::move(record.dragOffer);
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
