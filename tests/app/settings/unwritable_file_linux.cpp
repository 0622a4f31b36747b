#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "unwritable_file.h"

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

}  // namespace carvex::test
