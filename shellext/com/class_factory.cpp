#include "class_factory.h"

#include <new>

#include "com_server.h"
#include "context_menu.h"

namespace carvex::com {

STDMETHODIMP TContextMenuFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TContextMenuFactory::AddRef() {
  ServerObjectCreated();
  return ++references_;
}

STDMETHODIMP_(ULONG) TContextMenuFactory::Release() {
  const ULONG left = --references_;
  ServerObjectDestroyed();
  return left;
}

STDMETHODIMP TContextMenuFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return Guarded([&]() -> HRESULT {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    TContextMenu* handler = new (std::nothrow) TContextMenu();
    if (!handler) return E_OUTOFMEMORY;
    // The handler's own reference goes once the caller has the one it asked for, or none.
    const HRESULT result = handler->QueryInterface(riid, object);
    handler->Release();
    return result;
  });
}

STDMETHODIMP TContextMenuFactory::LockServer(BOOL lock) {
  com::LockServer(lock != FALSE);
  return S_OK;
}

TContextMenuFactory& Factory() {
  static constinit TContextMenuFactory factory;
  return factory;
}

}  // namespace carvex::com
