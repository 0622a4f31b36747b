#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/error.h"
#include "platform/files.h"
#include "wide.h"

namespace carvex::platform {

void ThrowLastError(const std::string& what, const std::string& path) {
  const DWORD code = ::GetLastError();
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = text ? Narrow(text) : "Error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' ||
                             reason.back() == '.'))
    reason.pop_back();
  std::string description = what;
  if (!path.empty()) description += " '" + path + "'";
  description += ": " + reason;
  throw RuntimeError(static_cast<long>(code), description);
}

namespace {

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() && ::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

bool HasWildcard(std::wstring_view name) { return name.find_first_of(L"*?") != std::wstring_view::npos; }

}  // namespace

bool PathExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data);
}

bool IsDirectory(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::int64_t FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Attributes(path, data)) ThrowLastError("Cannot read the length of", path);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void RemoveFile(const std::string& path) {
  if (!::DeleteFileW(Widen(path).c_str())) ThrowLastError("Cannot delete", path);
}

std::optional<std::string> FindEntryName(const std::string& path) {
  const std::wstring wide = Widen(path);
  // A pattern would name whichever entry matched first, not the element asked for.
  if (wide.empty() || HasWildcard(wide)) return std::nullopt;
  WIN32_FIND_DATAW data{};
  // FindFirstFile reports hidden, system and folder entries alike.
  HANDLE find = ::FindFirstFileW(wide.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  ::FindClose(find);
  return Narrow(data.cFileName);
}

std::string AppPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ".";
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const auto slash = buffer.rfind(L'\\');
  std::wstring folder = buffer.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return Narrow(folder);
}

File::File(const std::string& path, Mode mode) : path_(path) {
  const bool read = mode == Mode::kRead;
  HANDLE h = ::CreateFileW(Widen(path).c_str(), read ? GENERIC_READ : GENERIC_WRITE,
                           read ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ, nullptr,
                           read ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(read ? "Cannot open" : "Cannot create", path);
  handle_ = h;
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
  other.handle_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_) ::CloseHandle(handle_);
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

File::~File() {
  if (handle_) ::CloseHandle(handle_);
}

bool File::IsOpen() const noexcept { return handle_ != nullptr; }

std::size_t File::Read(void* buffer, std::size_t size) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_, out + done, want, &got, nullptr)) ThrowLastError("Cannot read", path_);
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::Write(const void* buffer, std::size_t size) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(handle_, in + done, want, &put, nullptr)) ThrowLastError("Cannot write", path_);
    if (put == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      ThrowLastError("Cannot write", path_);
    }
    done += put;
  }
}

void File::Close() {
  if (!handle_) return;
  HANDLE h = handle_;
  handle_ = nullptr;
  if (!::CloseHandle(h)) ThrowLastError("Cannot write", path_);
}

}  // namespace carvex::platform
