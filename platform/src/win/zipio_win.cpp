#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/zipio.h"
#include "platform/wide.h"

namespace carvex::platform {

LocalTime FileModificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    ThrowLastError("Cannot read the time of", path);
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  // The zone's rules of that date decide whether summer time applies, not today's.
  if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    ThrowLastError("Cannot convert the time of", path);
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

void SetFileModificationTime(const std::string& path, const LocalTime& time) {
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(time.year);
  local.wMonth = static_cast<WORD>(time.month);
  local.wDay = static_cast<WORD>(time.day);
  local.wHour = static_cast<WORD>(time.hour);
  local.wMinute = static_cast<WORD>(time.minute);
  local.wSecond = static_cast<WORD>(time.second);
  SYSTEMTIME utc{};
  FILETIME stamp{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !::SystemTimeToFileTime(&utc, &stamp))
    ThrowLastError("Cannot convert the time for", path);
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError("Cannot set the time of", path);
  const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &stamp);
  const DWORD error = ::GetLastError();
  ::CloseHandle(h);
  if (!ok) {
    ::SetLastError(error);
    ThrowLastError("Cannot set the time of", path);
  }
}

void MakeExecutable(const std::string&) {}

void RenameReplacing(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    ThrowLastError("Cannot replace", to);
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) ThrowLastError("Cannot find the running program", "");
    if (n < buffer.size()) {
      buffer.resize(n);
      return Narrow(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

namespace {

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return position;
}

}  // namespace

SeekableFile::SeekableFile(const std::string& path, Mode mode) : path_(path) {
  const bool read = mode == Mode::kRead;
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                           read ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                           read ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(read ? "Cannot open" : "Cannot create", path);
  handle_ = h;
}

SeekableFile::SeekableFile(SeekableFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {
  other.handle_ = nullptr;
}

SeekableFile& SeekableFile::operator=(SeekableFile&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

SeekableFile::~SeekableFile() { Release(); }

void SeekableFile::Release() noexcept {
  if (handle_) ::CloseHandle(handle_);
  handle_ = nullptr;
}

bool SeekableFile::CreateNew(const std::string& path) {
  Release();
  path_ = path;
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    handle_ = h;
    return true;
  }
  const DWORD error = ::GetLastError();
  // A folder of that name answers "access denied" rather than "exists".
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
      (error == ERROR_ACCESS_DENIED && PathExists(path)))
    return false;
  ::SetLastError(error);
  ThrowLastError("Cannot create", path);
}

bool SeekableFile::IsOpen() const noexcept { return handle_ != nullptr; }

std::int64_t SeekableFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_, &size)) ThrowLastError("Cannot read the length of", path_);
  return size.QuadPart;
}

std::size_t SeekableFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeRead(path_, size);
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    OVERLAPPED position = At(offset + static_cast<std::int64_t>(done));
    DWORD got = 0;
    if (!::ReadFile(handle_, out + done, want, &got, &position)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      ThrowLastError("Cannot read", path_);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void SeekableFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeWrite(path_, size);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    OVERLAPPED position = At(offset + static_cast<std::int64_t>(done));
    DWORD put = 0;
    if (!::WriteFile(handle_, in + done, want, &put, &position)) ThrowLastError("Cannot write", path_);
    if (put == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      ThrowLastError("Cannot write", path_);
    }
    done += put;
  }
}

void SeekableFile::Close() {
  if (!handle_) return;
  HANDLE h = handle_;
  handle_ = nullptr;
  if (!::CloseHandle(h)) ThrowLastError("Cannot write", path_);
}

}  // namespace carvex::platform
