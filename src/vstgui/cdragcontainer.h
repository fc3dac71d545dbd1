// What is being dragged over the editor, as the views see it: the window system's object and the
// number of items it carries (1 for text, else the number of files). The drop target makes one
// for each drag that enters a frame's window; a view that wants it beyond the drag remembers it.
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "vstgui/cbase.h"

namespace VSTGUI {

class CDragContainer : public CReferenceCounter {
 public:
  // The object is not owned and no reference is taken on it: it lives as long as the drag.
  explicit CDragContainer(platform::DragData* platformDrag);
  ~CDragContainer() override = default;

  platform::DragData* getPlatformDrag() const { return platformDrag; }
  std::int32_t getCount() const { return nbItems; }

 protected:
  platform::DragData* platformDrag;
  std::int32_t nbItems = 0;
};

// The container of the drag now over an editor window of this process, or null. There is one
// drag at a time, so this is a single pointer shared by every frame.
CDragContainer* getCurrentDragContainer();

}  // namespace VSTGUI
