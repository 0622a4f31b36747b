#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/files.h"
#include "open_files.h"
#include "platform/seam.h"
#include "platform/zipio.h"

namespace carvex::platform {

void ThrowLastError(const std::string& what, const std::string& path) {
  const int code = errno;
  std::string description = what;
  if (!path.empty()) description += " '" + path + "'";
  description += ": ";
  description += std::strerror(code);
  throw RuntimeError(code, description);
}

bool PathExists(const std::string& path) {
  if (gSeam)
    if (auto exists = gSeam->Exists(path)) return *exists;
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  if (gSeam) gSeam->BeforeLength(path);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError("Cannot read the length of", path);
  return static_cast<std::int64_t>(st.st_size);
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::string> ResolvedPath(const std::string& path) {
  std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) ThrowLastError("Cannot delete", path);
}

bool RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::optional<std::string> FindEntryName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto slash = trimmed.rfind('/');
  const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : trimmed.substr(0, slash));

  // Resolve against the folder's listing, so the answer is the entry as it is stored and a
  // name that only stat could reach (through a dangling prefix) does not count.
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  while (const dirent* entry = ::readdir(dir.get()))
    if (name == entry->d_name) return name;
  return std::nullopt;
}

std::vector<std::string> ListPlainFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
  if (!dir) return names;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    // The listing tells most entries' kind; links and file systems that do not say need a look.
    const bool regular = entry->d_type == DT_REG ||
                         ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) && IsRegularFile(prefix + entry->d_name));
    if (regular) names.emplace_back(entry->d_name);
  }
  return names;
}

void RemoveFilesIn(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) ThrowLastError("Cannot list", folder);
  std::vector<std::string> files;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + entry->d_name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) files.push_back(path);
  }
  for (const std::string& path : files) RemoveFile(path);
}

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  const auto slash = exe.rfind('/');
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string AppPath() {
  std::string folder;
  try {
    folder = ExecutableFolder();
  } catch (const RuntimeError&) {
    return ".";
  }
  // Installed as <prefix>/bin/carvex, the program keeps its data files in <prefix>/share/carvex.
  constexpr std::string_view kBin = "/bin";
  if (folder.size() > kBin.size() && folder.ends_with(kBin)) {
    const std::string shared = folder.substr(0, folder.size() - kBin.size()) + "/share/carvex";
    if (IsDirectory(shared)) return shared;
  }
  return folder;
}

File::File(const std::string& path, Mode mode) : path_(path) {
  int flags = O_RDONLY;
  if (mode == Mode::kCreate) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == Mode::kUpdate) flags = O_RDWR | O_CREAT;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd_ < 0) ThrowLastError(mode == Mode::kCreate ? "Cannot create" : "Cannot open", path);
  detail::OpenFiles::Get().Add(this);
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  if (other.fd_ >= 0) detail::OpenFiles::Get().Replace(&other, this);
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      detail::OpenFiles::Get().Remove(this);
      ::close(fd_);
    }
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    if (other.fd_ >= 0) detail::OpenFiles::Get().Replace(&other, this);
    other.fd_ = -1;
  }
  return *this;
}

File::~File() {
  if (fd_ < 0) return;
  detail::OpenFiles::Get().Remove(this);
  ::close(fd_);
}

bool File::IsOpen() const noexcept { return fd_ >= 0; }

namespace {

std::size_t ReadAll(int fd, const std::string& path, void* buffer, std::size_t size) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot read", path);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void WriteAll(int fd, const std::string& path, const void* buffer, std::size_t size) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot write", path);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::size_t File::Read(void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeRead(path_, size);
  return ReadAll(fd_, path_, buffer, size);
}

void File::Write(const void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeWrite(path_, size);
  WriteAll(fd_, path_, buffer, size);
}

void File::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  detail::OpenFiles::Get().Remove(this);
  // A deferred write error (NFS, a full disk) shows up only here.
  if (::close(fd) != 0) ThrowLastError("Cannot write", path_);
  if (gSeam) gSeam->AfterClose(path_);
}

std::size_t CopyBytes(File& from, File& to, std::size_t size, std::vector<char>& buffer) {
  if (gSeam) {
    gSeam->BeforeRead(from.path_, size);
    gSeam->BeforeWrite(to.path_, size);
  }
  // The kernel copies between the files without a trip through user space; where it cannot
  // (other file systems, old kernels) the buffer does the work. A failure of the kernel's copy
  // does not say which side failed (a bad disc and a full disk both come back as one error),
  // so the buffer takes over and its read or write names the file that failed.
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::copy_file_range(from.fd_, nullptr, to.fd_, nullptr, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return done;
    if (errno == EINTR) continue;
    break;
  }
  if (buffer.empty()) buffer.resize(std::min<std::size_t>(size, std::size_t{1} << 20));
  while (done < size) {
    const std::size_t want = std::min(size - done, buffer.size());
    const std::size_t got = ReadAll(from.fd_, from.path_, buffer.data(), want);
    WriteAll(to.fd_, to.path_, buffer.data(), got);
    done += got;
    if (got < want) break;
  }
  return done;
}

}  // namespace carvex::platform
