// OLE drag and drop behind the seam: an IDropTarget that hands each event to the toolkit's drop
// target, and the drag's data object seen as text and files.
#pragma once

#include <windows.h>

#include "platform/window.h"

namespace platform::win32 {

// Revokes the registration this backend made for the window, if any (a window that goes must not
// leave OLE holding its target).
void revokeDropTargetOf(HWND window);

}  // namespace platform::win32
