// The library's exports, by their plain names (see verbhook.def).
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cwctype>
#include <string>

#include "class_factory.h"
#include "com_server.h"
#include "platform/wide.h"
#include "registration.h"

namespace carvex::com {
namespace {

// InprocServer32 names the library without quotes, which a path with a space in it needs in
// places that split at blanks: its short form is written then. A volume without short names
// gives the path back as it is, or nothing, and then the long path is all there is.
std::string RegisteredLibraryPath() {
  const std::wstring path = LibraryPath();
  if (path.find(L' ') == std::wstring::npos) return platform::Narrow(path);
  std::wstring shortPath(::GetShortPathNameW(path.c_str(), nullptr, 0), L'\0');
  const DWORD length = shortPath.empty() ? 0
                                         : ::GetShortPathNameW(path.c_str(), shortPath.data(),
                                                               static_cast<DWORD>(shortPath.size()));
  if (length == 0 || length >= shortPath.size()) return platform::Narrow(path);
  shortPath.resize(length);
  return platform::Narrow(shortPath);
}

// The file manager reads the handler keys afresh only once told that they changed; a failed
// registration may have changed some of them too.
HRESULT Register(bool registering, RegistrationScope scope) noexcept {
  HRESULT result = S_OK;
  try {
    RegisterServerEntries(registering, scope, registering ? RegisteredLibraryPath() : std::string());
  } catch (...) {
    result = E_FAIL;
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return result;
}

bool IsUserCommand(const wchar_t* command) {
  const wchar_t user[] = L"user";
  for (const wchar_t expected : user) {
    if (std::towlower(*command) != expected) return false;
    if (expected == L'\0') return true;
    ++command;
  }
  return false;
}

}  // namespace
}  // namespace carvex::com

using carvex::com::RegistrationScope;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return carvex::com::Guarded([&]() -> HRESULT {
    if (!object) return E_POINTER;
    *object = nullptr;
    carvex::com::TContextMenuFactory* const factory = carvex::com::FactoryFor(clsid);
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(riid, object);
  });
}

STDAPI DllCanUnloadNow() { return carvex::com::ServerInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() { return carvex::com::Register(true, RegistrationScope::kMachine); }

STDAPI DllUnregisterServer() { return carvex::com::Register(false, RegistrationScope::kMachine); }

// "regsvr32 /n /i:user" registers for the current user alone, which needs no administrator;
// "regsvr32 /u /n /i:user" removes that again. Without a command line (regsvr32 /i) it does
// what DllRegisterServer does, which regsvr32 has just run as well.
STDAPI DllInstall(BOOL install, LPCWSTR command) {
  RegistrationScope scope = RegistrationScope::kMachine;
  if (command && *command) {
    if (!carvex::com::IsUserCommand(command)) return E_INVALIDARG;
    scope = RegistrationScope::kUser;
  }
  return carvex::com::Register(install != FALSE, scope);
}
