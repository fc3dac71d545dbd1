// The data of a drag as another Windows program offers it, text and file lists: it records what a
// drop target asks of it, and each medium it hands out holds a reference until it is given back.
#pragma once

#include <ole2.h>
#include <shlobj.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

class TestDataObject final : public IDataObject {
 public:
  void offerText(const char* text) { offer(CF_TEXT, text, std::strlen(text) + 1); }
  void offerUnicodeText(const wchar_t* text) {
    offer(CF_UNICODETEXT, text, (wcslen(text) + 1) * sizeof(wchar_t));
  }
  // A CF_HDROP list of the given paths, ANSI.
  void offerFiles(const std::vector<std::string>& paths) {
    std::vector<char> block(sizeof(DROPFILES));
    for (const std::string& path : paths)
      block.insert(block.end(), path.c_str(), path.c_str() + path.size() + 1);
    block.push_back('\0');
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    offer(CF_HDROP, block.data(), block.size());
  }
  // Formats asked for with GetData, in order.
  const std::vector<CLIPFORMAT>& asked() const { return asked_; }
  ULONG references() const { return references_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    const bool known = id == IID_IUnknown || id == IID_IDataObject;
    *object = known ? static_cast<IDataObject*>(this) : nullptr;
    return known ? (AddRef(), S_OK) : E_NOINTERFACE;
  }
  // Lives on the test's stack: counting is all COM needs here.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    asked_.push_back(format->cfFormat);
    const Offer* found = find(format);
    if (!found) return DV_E_FORMATETC;
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, found->bytes.size());
    std::memcpy(GlobalLock(copy), found->bytes.data(), found->bytes.size());
    GlobalUnlock(copy);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return find(format) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  struct Offer {
    CLIPFORMAT format;
    std::vector<char> bytes;
  };
  void offer(CLIPFORMAT format, const void* bytes, std::size_t size) {
    const char* begin = static_cast<const char*>(bytes);
    offers_.push_back({format, std::vector<char>(begin, begin + size)});
  }
  const Offer* find(const FORMATETC* format) const {
    if (!(format->tymed & TYMED_HGLOBAL)) return nullptr;
    for (const Offer& o : offers_)
      if (o.format == format->cfFormat) return &o;
    return nullptr;
  }
  std::vector<Offer> offers_;
  std::vector<CLIPFORMAT> asked_;
  ULONG references_ = 1;
};
