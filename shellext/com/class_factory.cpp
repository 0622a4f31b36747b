#include "class_factory.h"

#include <new>

#include "com_server.h"
#include "context_menu.h"
#include "explorer_command.h"

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
    return create_(riid, object);
  });
}

STDMETHODIMP TContextMenuFactory::LockServer(BOOL lock) {
  com::LockServer(lock != FALSE);
  return S_OK;
}

namespace {

HRESULT CreateHandler(REFIID riid, void** object) {
  return HandOverNew(static_cast<IShellExtInit*>(new (std::nothrow) TContextMenu()), riid, object);
}

}  // namespace

TContextMenuFactory* FactoryFor(REFCLSID clsid) {
  static constinit TContextMenuFactory handlers(&CreateHandler);
  static constinit TContextMenuFactory commands(&CreateExplorerCommand);
  if (IsEqualCLSID(clsid, kHandlerClsid)) return &handlers;
  if (IsEqualCLSID(clsid, kExplorerCommandClsid)) return &commands;
  return nullptr;
}

}  // namespace carvex::com
