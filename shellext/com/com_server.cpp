#include "com_server.h"

#include <atomic>
#include <string>

namespace carvex::com {

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

}  // namespace

void ServerObjectCreated() noexcept { ++liveObjects; }

void ServerObjectDestroyed() noexcept { --liveObjects; }

// An unlock without a lock would let the library go while a real lock is still held.
void LockServer(bool lock) noexcept {
  if (lock) {
    ++serverLocks;
    return;
  }
  long held = serverLocks.load();
  while (held > 0 && !serverLocks.compare_exchange_weak(held, held - 1)) {
  }
}

bool ServerInUse() noexcept { return liveObjects.load() > 0 || serverLocks.load() > 0; }

HRESULT HandOverNew(IUnknown* made, REFIID riid, void** object) noexcept {
  if (!made) return E_OUTOFMEMORY;
  const HRESULT result = made->QueryInterface(riid, object);
  made->Release();
  return result;
}

HRESULT ResultOf(const platform::RuntimeError& error) noexcept {
  const long number = error.Number();
  return number > 0 ? HRESULT_FROM_WIN32(static_cast<DWORD>(number)) : E_FAIL;
}

CallServices::CallServices(HWND owner) : use_(backend_) { backend_.SetHostWindow(owner); }

std::wstring LibraryPath() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&LibraryPath), &self);
  // A path longer than the buffer comes back cut and without an error: grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) platform::ThrowLastError("Cannot find the file of", "verbhook.dll");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace carvex::com
