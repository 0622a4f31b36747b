#pragma once

#include <unknwn.h>
#include <windows.h>

#include <atomic>

namespace carvex::com {

// Makes a new object of one class and asks it for `riid`.
using CreateObject = HRESULT (*)(REFIID riid, void** object);

// The class object that makes the objects of one class, a new one for each request. There is one
// per class, which lives as long as the library; while anyone holds a reference to it the
// library stays.
class TContextMenuFactory final : public IClassFactory {
 public:
  constexpr explicit TContextMenuFactory(CreateObject create) : create_(create) {}
  TContextMenuFactory(const TContextMenuFactory&) = delete;
  TContextMenuFactory& operator=(const TContextMenuFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  CreateObject create_;
  std::atomic<ULONG> references_{0};
};

// The class object of `clsid`; nullptr for a class the library does not serve.
TContextMenuFactory* FactoryFor(REFCLSID clsid);

}  // namespace carvex::com
