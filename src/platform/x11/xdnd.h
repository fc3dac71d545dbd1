// Drags from other applications by the XDND protocol (version 5), on the editor's own window only:
// nothing is put on the host's windows, which keep their own drops.
//
// Messages are read with the rest of the connection's events. Each step of a drag (a position, a
// leave, a drop) waits in the queue of the window under the pointer and reaches its drop target when
// that window's events are taken. The source hears back from each step: a status for a position, a
// finished message for a drop, sent to the source's own window and naming ours. Steps are taken
// only from the source whose enter began the drag; any other source is refused, and one that names
// no window (0 or 1) is not answered at all. A drag that offers files enters a window only once its
// file list has come (asked for at its first position, answered like any other event) or the
// source has had its time: nothing waits for a source.
#pragma once

#include "platform/x11/connection.h"

namespace platform::x11 {

// Takes in an XDND message, or the answer to a request for a drag's data, read from the
// connection (the lock held); false for any other event.
bool receiveDragEvent(const XEvent& event);
// Whether the step must wait for what its drag offers before it is delivered.
bool dragStepWaits(const DragStep& step);
// Hands one step of a drag to the window's drop target, giving up the lock around the target's calls.
void deliverDragStep(Lock& held, WindowRecord& record, const DragStep& step);
// The drag over a window that goes, or whose drop target goes, leaves it.
void endDragOver(Lock& held, WindowRecord& record);
// Tells drag sources whether the window takes drops.
void announceDropTarget(const WindowRecord& record, bool takesDrops);

}  // namespace platform::x11
