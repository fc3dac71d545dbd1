// The frame's drop target as the window system holds it. Turning dragged objects into calls on
// the view tree is the drag-and-drop layer's; this is what the frame registers for its window.
#pragma once

#include "platform/window.h"

namespace VSTGUI {

class CFrame;

class CDropTarget : public platform::DropTargetHandler {
 public:
  explicit CDropTarget(CFrame* frame) : pFrame(frame) {}
  CFrame* getFrame() const { return pFrame; }

 private:
  CFrame* pFrame;
};

}  // namespace VSTGUI
