#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <climits>
#include <memory>

#include "platform/error.h"
#include "platform/files.h"

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
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError("Cannot read the length of", path);
  return static_cast<std::int64_t>(st.st_size);
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) ThrowLastError("Cannot delete", path);
}

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
  while (const dirent* entry = ::readdir(dir.get())) {
    if (name == entry->d_name) return name;
  }
  return std::nullopt;
}

std::string AppPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string exe(buffer, static_cast<std::size_t>(n));
  const auto slash = exe.rfind('/');
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

File::File(const std::string& path, Mode mode) : path_(path) {
  const int flags = mode == Mode::kRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd_ < 0) ThrowLastError(mode == Mode::kRead ? "Cannot open" : "Cannot create", path);
}

File::File(File&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

bool File::IsOpen() const noexcept { return fd_ >= 0; }

std::size_t File::Read(void* buffer, std::size_t size) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd_, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot read", path_);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void File::Write(const void* buffer, std::size_t size) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot write", path_);
    }
    done += static_cast<std::size_t>(n);
  }
}

void File::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  // A deferred write error (NFS, a full disk) shows up only here.
  if (::close(fd) != 0) ThrowLastError("Cannot write", path_);
}

}  // namespace carvex::platform
