// Drags from another application, without a display: an object that offers text, files, both or
// neither, and a drag that carries it across the windows as a window system would, entering,
// moving over, leaving and dropping on whatever drop target lies under the cursor.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/window.h"

namespace platform::headless {

class DragObject : public DragData {
 public:
  DragObject(bool text, std::optional<std::int32_t> files) : text_(text), files_(files) {}
  static DragObject ofText() { return DragObject(true, std::nullopt); }
  static DragObject ofFiles(std::int32_t count) { return DragObject(false, count); }

  bool hasText() const override {
    ++textAsked_;
    return text_;
  }
  bool fileCount(std::int32_t& count) const override {
    ++filesAsked_;
    if (!files_) return false;
    count = *files_;
    return true;
  }
  int textAsked() const { return textAsked_; }
  int filesAsked() const { return filesAsked_; }

 private:
  bool text_;
  std::optional<std::int32_t> files_;
  mutable int textAsked_ = 0;
  mutable int filesAsked_ = 0;
};

// One drag. Each step first puts the cursor where the drag is, then tells the targets; the point
// an event carries is the cursor unless a step says otherwise. While over a target the drag holds
// a reference on it, so revoking the registration mid-drag leaves the target alive for the leave.
class DragSession {
 public:
  // A null object is a source that offers no data object at all.
  explicit DragSession(DragData* object, std::uint32_t allowed = kDropEffectCopy | kDropEffectMove)
      : object_(object), allowed_(allowed) {}
  // A drag still over a target leaves it.
  ~DragSession();
  DragSession(const DragSession&) = delete;
  DragSession& operator=(const DragSession&) = delete;

  void moveTo(Point cursor) { moveTo(cursor, cursor); }
  void moveTo(Point cursor, Point reported);
  // Drops at the cursor; afterwards the drag is over and further steps do nothing.
  void drop() { drop(lastCursor_); }
  void drop(Point reported);
  // The user gives up (Escape): the target under the cursor hears a leave.
  void cancel();

  // The effect the last event left, as the source would show it.
  std::uint32_t effect() const { return effect_; }
  DropTargetHandler* target() const { return target_; }
  bool finished() const { return finished_; }

 private:
  void leaveTarget();

  DragData* object_;
  std::uint32_t allowed_;
  DropTargetHandler* target_ = nullptr;
  std::uint32_t effect_ = kDropEffectNone;
  Point lastCursor_;
  bool finished_ = false;
};

}  // namespace platform::headless
