#include "platform/headless/dragsource.h"

#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "platform/input.h"

namespace platform::headless {
namespace {

std::uint32_t keyState() {
  std::uint32_t state = 0;
  if (isKeyDown(Key::leftButton)) state |= kDragKeyLeftButton;
  if (isKeyDown(Key::rightButton)) state |= kDragKeyRightButton;
  if (isKeyDown(Key::middleButton)) state |= kDragKeyMiddleButton;
  if (isKeyDown(Key::shift)) state |= kDragKeyShift;
  if (isKeyDown(Key::control)) state |= kDragKeyControl;
  if (isKeyDown(Key::alt)) state |= kDragKeyAlt;
  return state;
}

}  // namespace

DragSession::~DragSession() {
  if (!finished_) cancel();
}

void DragSession::leaveTarget() {
  DropTargetHandler* left = target_;
  target_ = nullptr;
  left->dragLeave();
  left->release();
}

void DragSession::moveTo(Point cursor, Point reported) {
  if (finished_) return;
  setCursorPosition(cursor);
  lastCursor_ = cursor;
  WindowHandle window = dropTargetWindowAt(cursor);
  DropTargetHandler* under = window ? dropTargetOf(window) : nullptr;
  if (under != target_) {
    if (target_) leaveTarget();
    effect_ = kDropEffectNone;
    if (!under) return;
    target_ = under;
    target_->addRef();
    effect_ = allowed_;
    target_->dragEnter(object_, keyState(), reported, effect_);
    return;
  }
  if (!target_) return;
  effect_ = allowed_;
  target_->dragOver(keyState(), reported, effect_);
}

void DragSession::drop(Point reported) {
  if (finished_) return;
  finished_ = true;
  if (!target_) {
    effect_ = kDropEffectNone;
    return;
  }
  DropTargetHandler* onto = target_;
  target_ = nullptr;
  effect_ = allowed_;
  onto->drop(object_, keyState(), reported, effect_);
  onto->release();
}

void DragSession::cancel() {
  if (finished_) return;
  finished_ = true;
  if (target_) leaveTarget();
  effect_ = kDropEffectNone;
}

}  // namespace platform::headless
