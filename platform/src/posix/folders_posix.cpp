#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace carvex::platform {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return ".";
}

// Empty for the root, so that appending "/name" never doubles a slash.
std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool IsFolderWritable(const std::string& folder) {
  if (folder.empty()) return false;
  static std::atomic<unsigned> counter{0};
  const std::string base =
      WithoutTrailingSlashes(folder) + "/.carvex-probe-" + std::to_string(::getpid()) + "-";
  // O_EXCL: a file of that name that is already there must neither count nor be deleted.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string probe = base + std::to_string(counter++);
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

std::string UserConfigFolder() {
  // The XDG rules ignore a relative value.
  const std::string xdg = Environment("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == '/') return WithoutTrailingSlashes(xdg) + "/carvex";
  return WithoutTrailingSlashes(HomeFolder()) + "/.config/carvex";
}

void CreateFolders(const std::string& folder) {
  const std::string path = WithoutTrailingSlashes(folder);
  if (path.empty() || IsDirectory(path)) return;
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) CreateFolders(path.substr(0, slash));
  if (::mkdir(path.c_str(), 0777) == 0) return;
  const int error = errno;
  // Another process may have made it meanwhile; only a folder that is still missing fails.
  if (error == EEXIST && IsDirectory(path)) return;
  errno = error;
  ThrowLastError("Cannot create the folder", path);
}

std::string DefaultOutputFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

}  // namespace carvex::platform
