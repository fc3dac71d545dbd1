#include "vstgui/cdragcontainer.h"

namespace VSTGUI {

CDragContainer::CDragContainer(platform::DragData* platformDrag) : platformDrag(platformDrag) {
  if (!platformDrag) return;
  // Text is asked first, so a drag of text and files counts as one item.
  if (platformDrag->hasText()) {
    nbItems = 1;
    return;
  }
  std::int32_t files = 0;
  if (platformDrag->fileCount(files)) nbItems = files;
}

}  // namespace VSTGUI
