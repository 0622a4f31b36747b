#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/error.h"
#include "platform/files.h"
#include "open_files.h"
#include "platform/seam.h"
#include "platform/wide.h"
#include "platform/zipio.h"

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
  return !path.empty() && ::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

bool HasWildcard(std::wstring_view name) { return name.find_first_of(L"*?") != std::wstring_view::npos; }

}  // namespace

bool PathExists(const std::string& path) {
  if (gSeam)
    if (auto exists = gSeam->Exists(path)) return *exists;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data);
}

bool IsDirectory(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsRegularFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return Attributes(path, data) && (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::int64_t FileLength(const std::string& path) {
  if (gSeam) gSeam->BeforeLength(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Attributes(path, data)) ThrowLastError("Cannot read the length of", path);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool IsLink(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Attributes(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  // Other reparse points hold the file itself (cloud placeholders, deduplicated files): only
  // symbolic links and junctions lead elsewhere. The tag comes with the directory entry.
  WIN32_FIND_DATAW find{};
  HANDLE handle = ::FindFirstFileW(WidePath(path).c_str(), &find);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::FindClose(handle);
  return find.dwReserved0 == IO_REPARSE_TAG_SYMLINK || find.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

namespace {

// A handle on what `path` reaches, links followed, that asks for no access to its contents,
// so that a file open elsewhere or a folder can be looked at too.
class QueryHandle {
 public:
  explicit QueryHandle(const std::string& path)
      : handle_(::CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
  ~QueryHandle() {
    if (Ok()) ::CloseHandle(handle_);
  }
  QueryHandle(const QueryHandle&) = delete;
  QueryHandle& operator=(const QueryHandle&) = delete;
  bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const QueryHandle file(path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.Ok() || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::string> ResolvedPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const QueryHandle file(path);
  if (!file.Ok()) return std::nullopt;
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(n);
  }
  // The answer comes in the long-path form: "\\?\C:\..." or "\\?\UNC\server\share\...".
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
  constexpr std::wstring_view kLong = L"\\\\?\\";
  if (buffer.starts_with(kUnc)) return Narrow(L"\\\\" + buffer.substr(kUnc.size()));
  if (buffer.starts_with(kLong)) return Narrow(buffer.substr(kLong.size()));
  return Narrow(buffer);
}

void RemoveFile(const std::string& path) {
  if (!::DeleteFileW(WidePath(path).c_str())) ThrowLastError("Cannot delete", path);
}

bool RemoveEmptyFolder(const std::string& path) { return ::RemoveDirectoryW(WidePath(path).c_str()) != 0; }

std::optional<std::string> FindEntryName(const std::string& path) {
  // A pattern would name whichever entry matched first, not the element asked for. The path is
  // looked at as given: the "?" of a long path's own prefix is no pattern.
  if (path.empty() || HasWildcard(Widen(path))) return std::nullopt;
  const std::wstring wide = WidePath(path);
  WIN32_FIND_DATAW data{};
  // FindFirstFile reports hidden, system and folder entries alike.
  HANDLE find = ::FindFirstFileW(wide.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  ::FindClose(find);
  return Narrow(data.cFileName);
}

std::vector<std::string> ListPlainFiles(const std::string& folder) {
  std::vector<std::string> names;
  const std::string prefix = folder.empty() || folder.back() == '\\' ? folder : folder + '\\';
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileExW(WidePath(prefix + "*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return names;
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  do {
    if ((data.dwFileAttributes & kNotPlain) == 0) names.push_back(Narrow(data.cFileName));
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

void RemoveFilesIn(const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '\\' ? folder : folder + '\\';
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW(WidePath(prefix + "*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return;
    ThrowLastError("Cannot list", folder);
  }
  std::vector<std::string> files;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(prefix + Narrow(data.cFileName));
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  for (const std::string& path : files) RemoveFile(path);
}

std::string ExecutableFolder() {
  std::string folder = ExecutablePath();
  if (const auto slash = folder.rfind('\\'); slash != std::string::npos) folder.erase(slash);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string AppPath() {
  try {
    return ExecutableFolder();
  } catch (const RuntimeError&) {
    return ".";
  }
}

File::File(const std::string& path, Mode mode) : path_(path) {
  struct OpenFlags {
    DWORD access, share, disposition;
  };
  OpenFlags flags{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
  if (mode == Mode::kCreate) flags = {GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS};
  if (mode == Mode::kUpdate) flags = {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS};
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), flags.access, flags.share, nullptr, flags.disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(mode == Mode::kCreate ? "Cannot create" : "Cannot open", path);
  handle_ = h;
  detail::OpenFiles::Get().Add(this);
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
  if (other.handle_) detail::OpenFiles::Get().Replace(&other, this);
  other.handle_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_) {
      detail::OpenFiles::Get().Remove(this);
      ::CloseHandle(handle_);
    }
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    if (other.handle_) detail::OpenFiles::Get().Replace(&other, this);
    other.handle_ = nullptr;
  }
  return *this;
}

File::~File() {
  if (!handle_) return;
  detail::OpenFiles::Get().Remove(this);
  ::CloseHandle(handle_);
}

bool File::IsOpen() const noexcept { return handle_ != nullptr; }

namespace {

std::size_t ReadAll(HANDLE handle, const std::string& path, void* buffer, std::size_t size) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(handle, out + done, want, &got, nullptr)) ThrowLastError("Cannot read", path);
    if (got == 0) break;
    done += got;
  }
  return done;
}

void WriteAll(HANDLE handle, const std::string& path, const void* buffer, std::size_t size) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(handle, in + done, want, &put, nullptr)) ThrowLastError("Cannot write", path);
    if (put == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      ThrowLastError("Cannot write", path);
    }
    done += put;
  }
}

}  // namespace

std::size_t File::Read(void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeRead(path_, size);
  return ReadAll(handle_, path_, buffer, size);
}

void File::Write(const void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeWrite(path_, size);
  WriteAll(handle_, path_, buffer, size);
}

void File::Close() {
  if (!handle_) return;
  HANDLE h = handle_;
  handle_ = nullptr;
  detail::OpenFiles::Get().Remove(this);
  if (!::CloseHandle(h)) ThrowLastError("Cannot write", path_);
  if (gSeam) gSeam->AfterClose(path_);
}

std::size_t CopyBytes(File& from, File& to, std::size_t size, std::vector<char>& buffer) {
  if (gSeam) {
    gSeam->BeforeRead(from.path_, size);
    gSeam->BeforeWrite(to.path_, size);
  }
  if (buffer.empty()) buffer.resize(std::min<std::size_t>(size, std::size_t{1} << 20));
  std::size_t done = 0;
  while (done < size) {
    const std::size_t want = std::min(size - done, buffer.size());
    const std::size_t got = ReadAll(from.handle_, from.path_, buffer.data(), want);
    WriteAll(to.handle_, to.path_, buffer.data(), got);
    done += got;
    if (got < want) break;
  }
  return done;
}

}  // namespace carvex::platform
