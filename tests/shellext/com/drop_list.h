#pragma once
// The selection as the file manager hands it to a context-menu handler, for the handler's tests
// and its benchmark.
#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/wide.h"

namespace carvex::test {

// A data object that holds a Unicode drop list of `paths`, as the file manager passes the
// selection, and offers nothing else; or, not `offered`, nothing at all.
class DropList final : public IDataObject {
 public:
  explicit DropList(const std::vector<std::string>& paths, bool offered = true)
      : DropList(Widened(paths), offered) {}
  explicit DropList(const std::vector<std::wstring>& paths, bool offered = true) : offered_(offered) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    memory_ = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(memory_));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory_);
  }
  ~DropList() { ::GlobalFree(memory_); }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  // Lives on the caller's stack; the handler must not keep it beyond Initialize anyway.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = ::OleDuplicateData(memory_, CF_HDROP, 0);
    medium->pUnkForRelease = nullptr;
    return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP QueryGetData(FORMATETC* format) override {
    const bool dropList =
        format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) && format->lindex == -1;
    return offered_ && dropList ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  static std::vector<std::wstring> Widened(const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide;
    wide.reserve(paths.size());
    for (const std::string& path : paths) wide.push_back(carvex::platform::Widen(path));
    return wide;
  }

  bool offered_;
  HGLOBAL memory_ = nullptr;
};

}  // namespace carvex::test
