#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/error.h"
#include "platform/file_info.h"

namespace carvex::platform {

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr FileTime kUnixEpoch = 116444736000000000;
constexpr FileTime kTicksPerSecond = 10000000;

FileTime FromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return kUnixEpoch + seconds * kTicksPerSecond + nanoseconds / 100;
}

timespec ToUnix(FileTime time) {
  const FileTime ticks = time - kUnixEpoch;
  FileTime seconds = ticks / kTicksPerSecond;
  FileTime rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  timespec out{};
  out.tv_sec = static_cast<time_t>(seconds);
  out.tv_nsec = static_cast<long>(rest * 100);
  return out;
}

// A name that starts with "." is hidden, as file managers and ls treat it; "." and ".."
// themselves are the folders they stand for.
bool IsHiddenName(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::string::size_type slash = path.rfind('/', end - 1);
  const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
  const std::string name = path.substr(start, end - start);
  return name.size() > 1 && name.front() == '.' && name != "..";
}

std::uint32_t AttributesOf(const std::string& path, const struct stat& st) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttributeDirectory;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttributeReadOnly;
  if (IsHiddenName(path)) attributes |= kAttributeHidden;
  return attributes;
}

// statx gives the birth time where the file system keeps one; where the call is missing
// (old kernels, some sandboxes) plain stat serves, without a creation time.
FileTimes TimesOf(int dirfd, const char* path, int flags, const std::string& shownPath) {
  struct statx sx {};
  if (::statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    FileTimes times;
    if (sx.stx_mask & STATX_BTIME) times.creation = FromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    times.lastAccess = FromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    times.lastWrite = FromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    return times;
  }
  if (errno != ENOSYS && errno != EPERM) ThrowLastError("Cannot read the times of", shownPath);
  struct stat st {};
  const int result = (flags & AT_EMPTY_PATH) ? ::fstat(dirfd, &st) : ::stat(path, &st);
  if (result != 0) ThrowLastError("Cannot read the times of", shownPath);
  FileTimes times;
  times.lastAccess = FromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  times.lastWrite = FromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return times;
}

}  // namespace

std::optional<std::uint32_t> ReadFileAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return AttributesOf(path, st);
}

std::optional<FileStatus> ReadFileStatus(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStatus status{AttributesOf(path, st), std::nullopt};
  // Nobody opens a socket as a file. The kernel answers the permission question itself, with
  // every ACL and capability counted, as it would for an open.
  if (!S_ISDIR(st.st_mode) && !S_ISSOCK(st.st_mode) &&
      ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0)
    status.size = static_cast<std::int64_t>(st.st_size);
  return status;
}

void WriteFileAttributes(const std::string& path, std::uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError("Cannot read the attributes of", path);
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttributeReadOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0)
    ThrowLastError("Cannot set the attributes of", path);
}

FileTime CurrentFileTime() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FromUnix(now.tv_sec, now.tv_nsec);
}

FileTimes ReadFileTimes(const std::string& path) { return TimesOf(AT_FDCWD, path.c_str(), 0, path); }

FileTimesEditor::FileTimesEditor(const std::string& path) : path_(path) {
  // Non-blocking, so that a named pipe without a reader fails at once instead of hanging.
  fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) ThrowLastError("Cannot open", path);
}

FileTimesEditor::~FileTimesEditor() {
  if (fd_ >= 0) ::close(fd_);
}

FileTimes FileTimesEditor::Read() const { return TimesOf(fd_, "", AT_EMPTY_PATH, path_); }

void FileTimesEditor::Write(const FileTimes& times) {
  const timespec both[2] = {ToUnix(times.lastAccess), ToUnix(times.lastWrite)};
  if (::futimens(fd_, both) != 0) ThrowLastError("Cannot set the times of", path_);
}

}  // namespace carvex::platform
