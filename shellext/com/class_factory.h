#pragma once

#include <unknwn.h>
#include <windows.h>

#include <atomic>

namespace carvex::com {

// The class object that makes TContextMenu handlers, a new one for each request. There is one,
// which lives as long as the library; while anyone holds a reference to it the library stays.
class TContextMenuFactory final : public IClassFactory {
 public:
  constexpr TContextMenuFactory() = default;
  TContextMenuFactory(const TContextMenuFactory&) = delete;
  TContextMenuFactory& operator=(const TContextMenuFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  std::atomic<ULONG> references_{0};
};

TContextMenuFactory& Factory();

}  // namespace carvex::com
