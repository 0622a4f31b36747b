#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "support/system_fixtures.h"

namespace carvex::test {

namespace {

bool SetImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  int flags = 0;
  bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

}  // namespace

// Mode bits do not stop root; the immutable attribute does (where the file system has it).
std::shared_ptr<void> KeepFromWriting(const std::string& path) {
  if (!SetImmutable(path, true)) return nullptr;
  return std::shared_ptr<void>(new std::string(path), [](void* p) {
    auto* held = static_cast<std::string*>(p);
    SetImmutable(*held, false);
    delete held;
  });
}

// Nobody, root included, can open a socket as a file.
std::shared_ptr<void> MakeUnreadableEntry(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return nullptr;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return nullptr;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::shared_ptr<void>(new int(fd), [](void* p) {
    auto* held = static_cast<int*>(p);
    ::close(*held);
    delete held;
  });
}

bool MakePipe(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

bool RunningUnderWine() { return false; }

}  // namespace carvex::test
