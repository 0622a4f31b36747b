#include <windows.h>

#include "platform/error.h"
#include "platform/file_info.h"
#include "platform/wide.h"

namespace carvex::platform {

namespace {

constexpr DWORD kChangeable =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

FileTime FromFiletime(const FILETIME& time) {
  return static_cast<FileTime>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME ToFiletime(FileTime time) {
  const auto bits = static_cast<std::uint64_t>(time);
  return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
}

}  // namespace

std::optional<std::uint32_t> ReadFileAttributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

void WriteFileAttributes(const std::string& path, std::uint32_t attributes) {
  const std::wstring wide = WidePath(path);
  const DWORD current = ::GetFileAttributesW(wide.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) ThrowLastError("Cannot read the attributes of", path);
  // The folder bit and the bits the system manages itself cannot be set; keep those that can.
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
  DWORD wanted = (current & kKept) | (attributes & kChangeable);
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileAttributesW(wide.c_str(), wanted)) ThrowLastError("Cannot set the attributes of", path);
}

std::optional<FileStatus> ReadFileStatus(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::wstring wide = WidePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  FileStatus status{data.dwFileAttributes, std::nullopt};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return status;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    status.size =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return status;
  }
  // The entry of a symbolic link carries no size of its own; its target's comes through a
  // handle that may read attributes only and shares everything, so no contents are fetched or
  // scanned and no other program is refused.
  HANDLE file = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return status;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size)) status.size = static_cast<std::int64_t>(size.QuadPart);
  ::CloseHandle(file);
  return status;
}

FileTime CurrentFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return FromFiletime(now);
}

FileTimes ReadFileTimes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    ThrowLastError("Cannot read the times of", path);
  return {FromFiletime(data.ftCreationTime), FromFiletime(data.ftLastAccessTime),
          FromFiletime(data.ftLastWriteTime)};
}

FileTimesEditor::FileTimesEditor(const std::string& path) : path_(path) {
  // Write access is what stamping asks for; reading the attributes as well lets the same
  // handle read the times it is about to keep.
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError("Cannot open", path);
  handle_ = file;
}

FileTimesEditor::~FileTimesEditor() {
  if (handle_) ::CloseHandle(static_cast<HANDLE>(handle_));
}

FileTimes FileTimesEditor::Read() const {
  FILETIME creation{}, access{}, write{};
  if (!::GetFileTime(static_cast<HANDLE>(handle_), &creation, &access, &write))
    ThrowLastError("Cannot read the times of", path_);
  return {FromFiletime(creation), FromFiletime(access), FromFiletime(write)};
}

void FileTimesEditor::Write(const FileTimes& times) {
  const FILETIME creation = ToFiletime(times.creation);
  const FILETIME access = ToFiletime(times.lastAccess);
  const FILETIME write = ToFiletime(times.lastWrite);
  if (!::SetFileTime(static_cast<HANDLE>(handle_), &creation, &access, &write))
    ThrowLastError("Cannot set the times of", path_);
}

}  // namespace carvex::platform
