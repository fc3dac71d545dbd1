#include "platform/win32/droptarget.h"

#include <ole2.h>
#include <shellapi.h>

#include <cstring>
#include <set>

namespace platform::win32 {
namespace {

InterfaceId interfaceId(REFIID id) {
  InterfaceId out;
  out.data1 = id.Data1;
  out.data2 = id.Data2;
  out.data3 = id.Data3;
  std::memcpy(out.data4, id.Data4, sizeof out.data4);
  return out;
}

// Whether the data object can give the format as global memory.
bool offers(IDataObject* object, CLIPFORMAT format, STGMEDIUM& medium) {
  FORMATETC request{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return object && object->GetData(&request, &medium) == S_OK;
}

// The drag's data object as the toolkit asks about it.
class DataObjectView final : public DragData {
 public:
  explicit DataObjectView(IDataObject* object) : object_(object) {}

  // Text from a program of this system comes as CF_TEXT; text dragged from an X11 program reaches
  // Windows programs under Wine only as CF_UNICODETEXT.
  bool hasText() const override {
    for (CLIPFORMAT format : {CLIPFORMAT(CF_TEXT), CLIPFORMAT(CF_UNICODETEXT)}) {
      STGMEDIUM medium{};
      if (offers(object_, format, medium)) {
        ReleaseStgMedium(&medium);
        return true;
      }
    }
    return false;
  }

  bool fileCount(std::int32_t& count) const override {
    STGMEDIUM medium{};
    if (!offers(object_, CF_HDROP, medium)) return false;
    count =
        static_cast<std::int32_t>(DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0));
    ReleaseStgMedium(&medium);
    return true;
  }

 private:
  IDataObject* object_;
};

// The COM object OLE holds. It keeps one reference on the toolkit's target for its own lifetime, so
// the target lives as long as the registration and any drag in progress.
class DropTargetAdapter final : public IDropTarget {
 public:
  explicit DropTargetAdapter(DropTargetHandler* handler) : handler_(handler) { handler_->addRef(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    // The toolkit's target decides which interfaces it answers to; OLE gets this object for them.
    void* answered = nullptr;
    if (handler_->queryInterface(interfaceId(id), &answered) != kResultOk) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    handler_->release();  // the reference the toolkit's target took for its answer
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* object, DWORD keyState, POINTL point,
                                      DWORD* effect) override {
    endDrag();
    if (object) {
      object->AddRef();
      drag_ = object;
      view_ = DataObjectView(object);
    }
    std::uint32_t answer = effect ? *effect : 0;
    const HRESULT result =
        handler_->dragEnter(object ? &view_ : nullptr, keyState, {point.x, point.y}, answer);
    if (effect) *effect = answer;
    return result;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override {
    std::uint32_t answer = effect ? *effect : 0;
    const HRESULT result = handler_->dragOver(keyState, {point.x, point.y}, answer);
    if (effect) *effect = answer;
    return result;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override {
    const HRESULT result = handler_->dragLeave();
    endDrag();
    return result;
  }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* object, DWORD keyState, POINTL point, DWORD* effect) override {
    DataObjectView dropped(object);
    std::uint32_t answer = effect ? *effect : 0;
    const HRESULT result = handler_->drop(object ? &dropped : nullptr, keyState, {point.x, point.y}, answer);
    if (effect) *effect = answer;
    endDrag();
    return result;
  }

 private:
  ~DropTargetAdapter() {
    endDrag();
    handler_->release();
  }
  void endDrag() {
    if (drag_) drag_->Release();
    drag_ = nullptr;
    view_ = DataObjectView(nullptr);
  }

  ULONG references_ = 1;
  DropTargetHandler* handler_;
  IDataObject* drag_ = nullptr;  // held from the enter to the leave or the drop
  DataObjectView view_{nullptr};
};

std::set<HWND>& registeredWindows() {
  static std::set<HWND> windows;
  return windows;
}

}  // namespace

void revokeDropTargetOf(HWND window) {
  if (registeredWindows().erase(window) != 0) RevokeDragDrop(window);
}

}  // namespace platform::win32

namespace platform {

bool registerDropTarget(WindowHandle window, DropTargetHandler* handler) {
  if (!window || !handler) return false;
  auto* adapter = new win32::DropTargetAdapter(handler);
  // Without OLE on this thread (a host that started COM in another mode) there is no drag and drop.
  const HRESULT result = RegisterDragDrop(static_cast<HWND>(window), adapter);
  adapter->Release();  // OLE holds its own references from here on
  if (result != S_OK) return false;
  win32::registeredWindows().insert(static_cast<HWND>(window));
  return true;
}

void revokeDropTarget(WindowHandle window) { win32::revokeDropTargetOf(static_cast<HWND>(window)); }

}  // namespace platform
