#pragma once

// What the tests of verbhook.dll share: the library as the build made it, regsvr32, the real
// registry entries it writes, and COM pointers.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/registry.h"
#include "support/win_driver.h"

namespace carvex::test {

inline constexpr char kClsidText[] = "{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}";
inline constexpr CLSID kClsid = {
    0x5B0C3F2E, 0x7A41, 0x4D9B, {0x9E, 0x62, 0xC1, 0xD8, 0xA4, 0xF7, 0x0B, 0x35}};
inline constexpr char kDescription[] = "Carvex by Orvane Software";
inline constexpr char kClassKey[] = "CLSID\\{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}";
inline constexpr char kServerKey[] = "CLSID\\{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}\\InprocServer32";
// The class of File Explorer's compact menu's commands.
inline constexpr CLSID kCommandClsid = {
    0x9C9EE2C9, 0x73E4, 0x4362, {0xB3, 0x24, 0xE4, 0xF4, 0x62, 0x3F, 0x48, 0xB7}};
inline constexpr char kCommandClassKey[] = "CLSID\\{9C9EE2C9-73E4-4362-B324-E4F4623F48B7}";
inline constexpr char kCommandServerKey[] = "CLSID\\{9C9EE2C9-73E4-4362-B324-E4F4623F48B7}\\InprocServer32";
inline constexpr char kApprovedKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
inline constexpr char kContentsKey[] = "SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents";

// verbhook.dll beside the test program, where the build puts it.
inline std::string LibraryFile() { return win::ThisProgramFolder() + "\\" CARVEX_VERBHOOK_DLL; }

// Runs the system's regsvr32 with `arguments`; its exit code.
inline DWORD RunRegsvr32(const std::string& arguments) {
  win::Program regsvr32("C:\\windows\\system32\\regsvr32.exe", arguments, win::ThisProgramFolder());
  return regsvr32.WaitForExit().value_or(STILL_ACTIVE);
}

// The text of a value; nullopt when the key or the value is missing.
inline std::optional<std::string> ReadString(platform::RegistryRoot root, const std::string& key,
                                             const std::string& value) {
  const std::optional<platform::RegistryKey> opened =
      platform::RegistryKey::Open(root, key, platform::RegistryAccess::kRead);
  return opened ? opened->QueryString(value) : std::nullopt;
}

inline bool KeyExists(platform::RegistryRoot root, const std::string& key) {
  return platform::RegistryKey::Open(root, key, platform::RegistryAccess::kRead).has_value();
}

// An owned COM interface pointer.
template <typename T>
class Com {
 public:
  Com() = default;
  Com(Com&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() { Reset(); }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void** Put() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void Reset() {
    if (pointer_) std::exchange(pointer_, nullptr)->Release();
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace carvex::test
