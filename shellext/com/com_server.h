#pragma once

// What the library's COM objects share: the counts that decide whether it may be unloaded, the
// guard that keeps every failure inside an entry point, and the window services of the core.

#include <unknwn.h>
#include <windows.h>

#include <exception>
#include <new>
#include <string>

#include "platform/error.h"
#include "ui/app.h"
#include "ui/win32_backend.h"

namespace carvex::com {

// The handler's class, "{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}".
inline constexpr CLSID kHandlerClsid = {
    0x5B0C3F2E, 0x7A41, 0x4D9B, {0x9E, 0x62, 0xC1, 0xD8, 0xA4, 0xF7, 0x0B, 0x35}};
// The class of the commands that File Explorer's compact menu shows,
// "{9C9EE2C9-73E4-4362-B324-E4F4623F48B7}".
inline constexpr CLSID kExplorerCommandClsid = {
    0x9C9EE2C9, 0x73E4, 0x4362, {0xB3, 0x24, 0xE4, 0xF4, 0x62, 0x3F, 0x48, 0xB7}};

// A live object, or a reference to the class factory, keeps the library loaded.
void ServerObjectCreated() noexcept;
void ServerObjectDestroyed() noexcept;
// Locks taken through IClassFactory::LockServer.
void LockServer(bool lock) noexcept;
// Whether anything above holds the library.
bool ServerInUse() noexcept;

// Gives a new object, which holds its own first reference, to a caller that asked it for `riid`:
// the caller gets a reference of its own or none, and the object's first goes, so that an object
// asked for an interface it lacks is freed. A null object (not made) is E_OUTOFMEMORY.
HRESULT HandOverNew(IUnknown* made, REFIID riid, void** object) noexcept;

// The HRESULT that describes a failure of the core.
HRESULT ResultOf(const platform::RuntimeError& error) noexcept;

// Runs the body of a COM entry point: whatever it throws becomes an HRESULT, since nothing may
// unwind into the file manager's code.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const platform::RuntimeError& error) {
    return ResultOf(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The Windows message boxes, folder picker and clipboard as the core's services, for one call
// of the file manager, owned by `owner` (its window, or none). The file manager calls on the
// thread of each of its windows, so every call makes its own: no state of one call's services
// (the picker's last folder among them) is seen by another thread.
class CallServices {
 public:
  explicit CallServices(HWND owner);
  CallServices(const CallServices&) = delete;
  CallServices& operator=(const CallServices&) = delete;

 private:
  ui::Win32Backend backend_;
  // Made after the backend and so gone before it.
  ui::ThreadBackend use_;
};

// The library's own file, as the system loaded it.
std::wstring LibraryPath();

}  // namespace carvex::com
