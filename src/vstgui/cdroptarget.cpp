#include "vstgui/cdroptarget.h"

#include <new>

#include "vstgui/cdragcontainer.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

// One drag at a time in the process; the target that took it in holds its creation reference.
CDragContainer* gDragContainer = nullptr;
CDropTarget* gDragOwner = nullptr;

}  // namespace

CDragContainer* getCurrentDragContainer() { return gDragContainer; }

CDropTarget::~CDropTarget() {
  if (gDragOwner == this) releaseCurrentDrag();
}

platform::ResultCode CDropTarget::queryInterface(const platform::InterfaceId& id, void** object) {
  if (!object) return platform::kResultNoInterface;
  if (id == platform::kDropTargetInterface || id == platform::kUnknownInterface) {
    *object = this;
    addRef();
    return platform::kResultOk;
  }
  *object = nullptr;
  return platform::kResultNoInterface;
}

std::uint32_t CDropTarget::addRef() { return static_cast<std::uint32_t>(++refCount); }

std::uint32_t CDropTarget::release() {
  if (--refCount > 0) return static_cast<std::uint32_t>(refCount);
  delete this;
  return 0;
}

void CDropTarget::frameClosed() {
  pFrame = nullptr;
  if (gDragOwner == this) releaseCurrentDrag();
}

void CDropTarget::releaseCurrentDrag() {
  CDragContainer* drag = gDragContainer;
  gDragContainer = nullptr;
  gDragOwner = nullptr;
  if (drag) drag->forget();
}

template <typename Handler>
void CDropTarget::deliver(Handler handler) {
  if (!pFrame) return;
  CDrawContext* context = pFrame->createDrawContext();
  // The point the window system passes is ignored: views always get the cursor.
  CPoint where(0, 0);
  pFrame->getMouseLocation(context, where);
  handler(context, where);
  if (context) context->forget();
}

platform::ResultCode CDropTarget::dragEnter(platform::DragData* data, std::uint32_t, platform::Point,
                                            std::uint32_t& effect) {
  if (!data) {
    effect = platform::kDropEffectNone;
    return platform::kResultOk;
  }
  // A container still current belongs to a drag that never left; it is released rather than lost.
  if (gDragContainer) {
    CDropTarget* earlier = gDragOwner;
    if (earlier && earlier->pFrame)
      earlier->deliver([&](CDrawContext* context, const CPoint& where) {
        earlier->pFrame->onDragLeave(context, gDragContainer, where);
      });
    releaseCurrentDrag();
  }
  gDragContainer = new (std::nothrow) CDragContainer(data);
  gDragOwner = gDragContainer ? this : nullptr;
  deliver([&](CDrawContext* context, const CPoint& where) {
    pFrame->onDragEnter(context, gDragContainer, where);
  });
  effect = platform::kDropEffectMove;
  return platform::kResultOk;
}

platform::ResultCode CDropTarget::dragOver(std::uint32_t, platform::Point, std::uint32_t& effect) {
  // Only the target that took the drag in moves it: on a window system that queues each window's
  // events apart, a drag may enter another editor's window before it leaves this one.
  if (gDragOwner != this) return platform::kResultOk;  // the effect stays as the source passed it
  deliver([&](CDrawContext* context, const CPoint& where) {
    pFrame->onDragMove(context, gDragContainer, where);
  });
  effect = platform::kDropEffectMove;
  return platform::kResultOk;
}

platform::ResultCode CDropTarget::dragLeave() {
  if (gDragOwner != this) return platform::kResultOk;  // a drag another target took in since
  deliver([&](CDrawContext* context, const CPoint& where) {
    pFrame->onDragLeave(context, gDragContainer, where);
  });
  releaseCurrentDrag();
  return platform::kResultOk;
}

platform::ResultCode CDropTarget::drop(platform::DragData*, std::uint32_t, platform::Point, std::uint32_t&) {
  // The views see the container made when the drag entered; the effect is left as it came.
  if (gDragOwner != this) return platform::kResultOk;
  deliver(
      [&](CDrawContext* context, const CPoint& where) { pFrame->onDrop(context, gDragContainer, where); });
  releaseCurrentDrag();
  return platform::kResultOk;
}

}  // namespace VSTGUI
