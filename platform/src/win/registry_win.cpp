#include <windows.h>

#include "platform/error.h"
#include "platform/registry.h"
#include "registry_data.h"
#include "platform/wide.h"

// Documented for drivers only, and so declared in no user-mode header.
extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR character);

namespace carvex::platform {

namespace {

HKEY RootHandle(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

REGSAM Rights(RegistryAccess access) {
  return access == RegistryAccess::kRead ? KEY_READ : KEY_READ | KEY_WRITE;
}

// Registry functions return their error instead of setting the thread's last error; it is
// handed over so that the description comes from the same place as every other one.
[[noreturn]] void Fail(LSTATUS status, const std::string& what, const std::string& where) {
  ::SetLastError(static_cast<DWORD>(status));
  ThrowLastError(what, where);
}

std::string ValueText(const std::string& name) {
  return name.empty() ? "the default registry value of" : "the registry value '" + name + "' of";
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path,
                                             RegistryAccess access) {
  HKEY handle = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(RootHandle(root), Widen(path).c_str(), 0, Rights(access), &handle);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  const std::string where = Below(RootName(root), path);
  if (status != ERROR_SUCCESS) Fail(status, "Cannot open the registry key", where);
  return RegistryKey(handle, where);
}

RegistryKey RegistryKey::Create(RegistryRoot root, const std::string& path) {
  HKEY handle = nullptr;
  const LSTATUS status =
      ::RegCreateKeyExW(RootHandle(root), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &handle, nullptr);
  const std::string where = Below(RootName(root), path);
  if (status != ERROR_SUCCESS) Fail(status, "Cannot create the registry key", where);
  return RegistryKey(handle, where);
}

std::optional<RegistryKey> RegistryKey::OpenSubKey(const std::string& path, RegistryAccess access) const {
  HKEY handle = nullptr;
  const LSTATUS status =
      ::RegOpenKeyExW(static_cast<HKEY>(handle_), Widen(path).c_str(), 0, Rights(access), &handle);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status != ERROR_SUCCESS) Fail(status, "Cannot open the registry key", Below(path_, path));
  return RegistryKey(handle, Below(path_, path));
}

RegistryKey RegistryKey::CreateSubKey(const std::string& path) const {
  HKEY handle = nullptr;
  const LSTATUS status =
      ::RegCreateKeyExW(static_cast<HKEY>(handle_), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) Fail(status, "Cannot create the registry key", Below(path_, path));
  return RegistryKey(handle, Below(path_, path));
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (handle_) ::RegCloseKey(static_cast<HKEY>(handle_));
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  if (handle_) ::RegCloseKey(static_cast<HKEY>(handle_));
}

void RegistryKey::SetValue(const std::string& name, RegistryType type, std::string_view data) {
  const LSTATUS status =
      ::RegSetValueExW(static_cast<HKEY>(handle_), Widen(name).c_str(), 0, static_cast<DWORD>(type),
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  if (status != ERROR_SUCCESS) Fail(status, "Cannot write " + ValueText(name), path_);
}

void RegistryKey::SetString(const std::string& name, std::string_view text, RegistryType type) {
  SetValue(name, type, EncodeRegistryString(text));
}

void RegistryKey::SetStrings(const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [name, text] : values) SetString(name, text);
}

std::optional<RegistryValue> RegistryKey::QueryValue(const std::string& name) const {
  const std::wstring wideName = Widen(name);
  RegistryValue value;
  DWORD size = 0;
  for (;;) {
    DWORD type = REG_NONE;
    DWORD got = size;
    const LSTATUS status =
        ::RegQueryValueExW(static_cast<HKEY>(handle_), wideName.c_str(), nullptr, &type,
                           size ? reinterpret_cast<BYTE*>(value.data.data()) : nullptr, &got);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    // The first call only learns the size; the value may also grow between the calls.
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && size == 0 && got > 0)) {
      size = got;
      value.data.resize(size);
      continue;
    }
    if (status != ERROR_SUCCESS) Fail(status, "Cannot read " + ValueText(name), path_);
    value.type = static_cast<RegistryType>(type);
    value.data.resize(got);
    return value;
  }
}

std::optional<std::string> RegistryKey::QueryString(const std::string& name) const {
  std::optional<RegistryValue> value = QueryValue(name);
  if (!value) return std::nullopt;
  if (value->type != RegistryType::kString && value->type != RegistryType::kExpandString)
    Fail(ERROR_INVALID_DATATYPE, "Cannot read " + ValueText(name) + " as text", path_);
  return DecodeRegistryString(value->data);
}

bool RegistryKey::DeleteValue(const std::string& name) {
  const LSTATUS status = ::RegDeleteValueW(static_cast<HKEY>(handle_), Widen(name).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) Fail(status, "Cannot delete " + ValueText(name), path_);
  return true;
}

std::optional<std::string> RegistryKey::EnumValueName(std::uint32_t index) const {
  // Value names are at most 16383 characters.
  std::wstring name(16384, L'\0');
  DWORD length = static_cast<DWORD>(name.size());
  const LSTATUS status = ::RegEnumValueW(static_cast<HKEY>(handle_), index, name.data(), &length, nullptr,
                                         nullptr, nullptr, nullptr);
  if (status == ERROR_NO_MORE_ITEMS) return std::nullopt;
  if (status != ERROR_SUCCESS) Fail(status, "Cannot list the values of the registry key", path_);
  name.resize(length);
  return Narrow(name);
}

std::vector<std::pair<std::string, RegistryValue>> RegistryKey::Values() const {
  std::vector<std::pair<std::string, RegistryValue>> values;
  for (std::uint32_t index = 0;; ++index) {
    std::optional<std::string> name = EnumValueName(index);
    if (!name) break;
    // A value deleted by another process between the two calls is simply not listed.
    if (std::optional<RegistryValue> value = QueryValue(*name))
      values.emplace_back(std::move(*name), std::move(*value));
  }
  return values;
}

std::vector<std::string> RegistryKey::ValueNames() const {
  std::vector<std::string> names;
  // Value names are at most 16383 characters; one buffer serves them all.
  std::wstring name(16384, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status = ::RegEnumValueW(static_cast<HKEY>(handle_), index, name.data(), &length, nullptr,
                                           nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) Fail(status, "Cannot list the values of the registry key", path_);
    names.push_back(Narrow(std::wstring_view(name.data(), length)));
  }
  return names;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    // Key names are at most 255 characters.
    wchar_t name[256];
    DWORD length = 256;
    const LSTATUS status =
        ::RegEnumKeyExW(static_cast<HKEY>(handle_), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) Fail(status, "Cannot list the subkeys of the registry key", path_);
    names.push_back(Narrow(std::wstring_view(name, length)));
  }
  return names;
}

bool RegistryKey::DeleteSubKeyTree(const std::string& path) {
  // An empty path would make RegDeleteTreeW empty this key instead of deleting a subkey.
  if (path.empty()) Fail(ERROR_BAD_PATHNAME, "Cannot delete the registry key", path_);
  const LSTATUS status = ::RegDeleteTreeW(static_cast<HKEY>(handle_), Widen(path).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) Fail(status, "Cannot delete the registry key", Below(path_, path));
  return true;
}

bool RegistryKey::DeleteKey(const std::string& path) {
  if (path.empty()) Fail(ERROR_BAD_PATHNAME, "Cannot delete the registry key", path_);
  const LSTATUS status = ::RegDeleteKeyW(static_cast<HKEY>(handle_), Widen(path).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) Fail(status, "Cannot delete the registry key", Below(path_, path));
  return true;
}

// The registry compares names unit by unit through the system's upper-case table, which
// ntdll exports; Wine's registry uses its own copy of the same table.
std::string FoldRegistryName(std::string_view name) {
  std::wstring wide = Widen(name);
  for (wchar_t& unit : wide) unit = ::RtlUpcaseUnicodeChar(unit);
  return Narrow(wide);
}

bool RegistryValuesInCreationOrder() {
  static const bool underWine =
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return !underWine;
}

void SetRegistryDatabasePath(const std::string&) {}

void SetRegistryBusyTimeout(int) {}

// Kernel transactions (RegCreateKeyTransactedW) are deprecated and Wine lacks them.
RegistryTransaction::RegistryTransaction(Kind) {}
RegistryTransaction::~RegistryTransaction() = default;
void RegistryTransaction::Commit() { committed_ = true; }

}  // namespace carvex::platform
