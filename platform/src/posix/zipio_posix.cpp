#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "platform/error.h"
#include "platform/seam.h"
#include "platform/zipio.h"

namespace carvex::platform {

static_assert(sizeof(off_t) == 8, "offsets past 4 GiB need a 64-bit off_t");

LocalTime FileModificationTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError("Cannot read the time of", path);
  std::tm tm{};
  const std::time_t seconds = st.st_mtime;
  if (!::localtime_r(&seconds, &tm)) ThrowLastError("Cannot convert the time of", path);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void SetFileModificationTime(const std::string& path, const LocalTime& time) {
  std::tm tm{};
  tm.tm_year = time.year - 1900;
  tm.tm_mon = time.month - 1;
  tm.tm_mday = time.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  // The zone's rules of that date decide whether summer time applies, not today's.
  tm.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&tm);
  timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) ThrowLastError("Cannot set the time of", path);
}

void MakeExecutable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError("Cannot read the permissions of", path);
  // Execute permission follows read permission, so the file stays as private as it was.
  const mode_t mode = st.st_mode | ((st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2);
  if (::chmod(path.c_str(), mode & 07777) != 0) ThrowLastError("Cannot make executable", path);
}

void RenameReplacing(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowLastError("Cannot replace", to);
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) ThrowLastError("Cannot find the running program", "/proc/self/exe");
  return std::string(buffer, static_cast<std::size_t>(n));
}

SeekableFile::SeekableFile(const std::string& path, Mode mode) : path_(path) {
  const int flags = mode == Mode::kRead ? O_RDONLY : O_RDWR | O_CREAT | O_TRUNC;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd_ < 0) ThrowLastError(mode == Mode::kRead ? "Cannot open" : "Cannot create", path);
}

SeekableFile::SeekableFile(SeekableFile&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

SeekableFile& SeekableFile::operator=(SeekableFile&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

SeekableFile::~SeekableFile() { Release(); }

void SeekableFile::Release() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SeekableFile::CreateNew(const std::string& path) {
  Release();
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ >= 0) return true;
  if (errno == EEXIST) return false;
  ThrowLastError("Cannot create", path);
}

bool SeekableFile::IsOpen() const noexcept { return fd_ >= 0; }

std::int64_t SeekableFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) ThrowLastError("Cannot read the length of", path_);
  return static_cast<std::int64_t>(st.st_size);
}

std::size_t SeekableFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeRead(path_, size);
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot read", path_);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void SeekableFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t size) {
  if (gSeam) gSeam->BeforeWrite(path_, size);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot write", path_);
    }
    done += static_cast<std::size_t>(n);
  }
}

void SeekableFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  // A deferred write error (NFS, a full disk) shows up only here.
  if (::close(fd) != 0) ThrowLastError("Cannot write", path_);
}

}  // namespace carvex::platform
