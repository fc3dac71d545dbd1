// The frame's receiver of drags from other applications. The window system calls it for every
// drag event over the frame's window; it turns each drag into one CDragContainer and hands the
// events to the frame's drag handlers, always at the cursor position the frame reads itself.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace VSTGUI {

class CFrame;
class CDragContainer;

class CDropTarget : public platform::DropTargetHandler {
 public:
  // Starts with no reference: the registration and the drags take theirs.
  explicit CDropTarget(CFrame* frame) : pFrame(frame) {}

  platform::ResultCode queryInterface(const platform::InterfaceId& id, void** object) override;
  std::uint32_t addRef() override;
  std::uint32_t release() override;
  platform::ResultCode dragEnter(platform::DragData* data, std::uint32_t keyState, platform::Point screen,
                                 std::uint32_t& effect) override;
  platform::ResultCode dragOver(std::uint32_t keyState, platform::Point screen,
                                std::uint32_t& effect) override;
  platform::ResultCode dragLeave() override;
  platform::ResultCode drop(platform::DragData* data, std::uint32_t keyState, platform::Point screen,
                            std::uint32_t& effect) override;

  CFrame* getFrame() const { return pFrame; }
  std::int32_t getReferenceCount() const { return refCount; }
  // The frame is going: events that still arrive (the window system may hold the target past
  // revoking it) reach no frame, and a drag this target took in is released now.
  void frameClosed();

 protected:
  ~CDropTarget() override;

 private:
  // Gives the frame's handler a context and the cursor position in frame coordinates.
  template <typename Handler>
  void deliver(Handler handler);
  void releaseCurrentDrag();

  std::int32_t refCount = 0;
  CFrame* pFrame;
};

}  // namespace VSTGUI
