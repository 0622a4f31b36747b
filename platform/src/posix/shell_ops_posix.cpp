#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shell_ops.h"

extern char** environ;

namespace carvex::platform {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int code) {
  errno = code;
  ThrowLastError(what, path);
}

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string TrimSlashes(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  return trimmed;
}

std::string BaseName(const std::string& path) {
  const std::string trimmed = TrimSlashes(path);
  const auto slash = trimmed.rfind('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The entry itself, not what a symbolic link points to; nullopt when there is none.
std::optional<struct stat> Lstat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return st;
  if (errno != ENOENT) ThrowLastError("Cannot read", path);
  return std::nullopt;
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::vector<std::string> ListFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) ThrowLastError("Cannot list", folder);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) ThrowLastError("Cannot list", folder);
  // In name order, so that a question or a failure part-way leaves a predictable state.
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  const std::optional<struct stat> st = Lstat(path);
  if (!st) return;
  if (S_ISDIR(st->st_mode)) {
    for (const std::string& name : ListFolder(path)) RemoveTree(Join(path, name));
    if (::rmdir(path.c_str()) != 0) ThrowLastError("Cannot delete", path);
  } else if (::unlink(path.c_str()) != 0) {
    ThrowLastError("Cannot delete", path);
  }
}

// Removes what a failed copy left behind; the failure being reported matters more.
void DiscardPartial(const std::string& path) {
  try {
    RemoveTree(path);
  } catch (const RuntimeError&) {
  }
}

// "report.txt" becomes "report (copy).txt", then "report (copy 2).txt"; a folder, and a name
// whose only dot starts it, keep the whole name before the suffix.
std::string RenamedTarget(const std::string& folder, const std::string& name, bool isFolder) {
  const auto dot = name.rfind('.');
  const bool split = !isFolder && dot != std::string::npos && dot > 0;
  const std::string stem = split ? name.substr(0, dot) : name;
  const std::string extension = split ? name.substr(dot) : std::string();
  for (unsigned n = 1;; ++n) {
    const std::string candidate =
        Join(folder, stem + (n == 1 ? " (copy)" : " (copy " + std::to_string(n) + ")") + extension);
    if (!Lstat(candidate)) return candidate;
  }
}

// A hidden name beside `target` for building a replacement before it is swapped in.
std::string TemporaryBeside(const std::string& target) {
  thread_local std::mt19937_64 random{std::random_device()()};
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
  return Join(FolderOf(target), "." + BaseName(target) + ".carvex-" + suffix);
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowLastError("Cannot write", path);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Copies a regular file's bytes, permissions and times into `target`, which must not exist.
void CopyRegularFile(const std::string& source, const struct stat& st, const std::string& target) {
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (in.Get() < 0) ThrowLastError("Cannot read", source);
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600));
  if (out.Get() < 0) ThrowLastError("Cannot create", target);
  try {
    std::vector<char> buffer(std::size_t{1} << 20);
    for (;;) {
      const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowLastError("Cannot read", source);
      }
      if (n == 0) break;
      WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(n), target);
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.Get(), st.st_mode & 07777) != 0) ThrowLastError("Cannot set the permissions of", target);
    if (::futimens(out.Get(), times) != 0) ThrowLastError("Cannot set the times of", target);
    // A deferred write error (a full disk on NFS) shows up only here.
    if (::close(out.Release()) != 0) ThrowLastError("Cannot write", target);
  } catch (const RuntimeError&) {
    DiscardPartial(target);
    throw;
  }
}

// Moves `source` to `target` unless something is there; false where the file system cannot
// promise that (the caller checked just before).
bool RenameWithoutReplacing(const std::string& source, const std::string& target) {
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  return ::rename(source.c_str(), target.c_str()) == 0;
}

class Transfer {
 public:
  Transfer(FileOperation operation, Collision collision, const AskToReplace& ask)
      : operation_(operation), collision_(collision), ask_(ask) {}

  void Run(const std::vector<std::string>& sources, const std::string& destination) {
    CreateFolders(destination);
    if (!IsDirectory(destination)) Fail(What(), destination, ENOTDIR);
    for (const std::string& source : sources) {
      if (cancelled_) break;
      RefuseFolderIntoItself(source, destination);
      Place(source, destination);
    }
  }

 private:
  std::string What() const { return operation_ == FileOperation::kCopy ? "Cannot copy" : "Cannot move"; }

  // Copying a folder into itself would never end; moving it there would lose it.
  void RefuseFolderIntoItself(const std::string& source, const std::string& destination) const {
    char sourceReal[PATH_MAX];
    char destinationReal[PATH_MAX];
    if (!::realpath(source.c_str(), sourceReal) || !::realpath(destination.c_str(), destinationReal)) return;
    if (!IsDirectory(sourceReal)) return;
    const std::string from = sourceReal;
    const std::string to = destinationReal;
    if (to == from || (to.size() > from.size() && to.compare(0, from.size(), from) == 0 &&
                       (from == "/" || to[from.size()] == '/')))
      throw RuntimeError(EINVAL, What() + " the folder '" + source + "' into itself");
  }

  // Puts `source` into `folder` under its own name, settling a collision as asked.
  void Place(const std::string& source, const std::string& folder) {
    const std::optional<struct stat> st = Lstat(source);
    if (!st) Fail(What(), source, ENOENT);
    const bool isFolder = S_ISDIR(st->st_mode);
    const std::string name = BaseName(source);
    std::string target = Join(folder, name);
    const std::optional<struct stat> existing = Lstat(target);
    if (!existing) return PlaceNew(source, *st, target);

    if (existing->st_dev == st->st_dev && existing->st_ino == st->st_ino) {
      if (operation_ == FileOperation::kMove) return;
      return PlaceNew(source, *st, RenamedTarget(folder, name, isFolder));
    }
    if (collision_ == Collision::kRename) return PlaceNew(source, *st, RenamedTarget(folder, name, isFolder));

    const bool existingIsFolder = S_ISDIR(existing->st_mode);
    if (isFolder && existingIsFolder) return Merge(source, target);
    if (isFolder != existingIsFolder)
      throw RuntimeError(EEXIST, "Cannot replace '" + target + "' with '" + source +
                                     "': one is a folder and the other is not");
    if (collision_ == Collision::kAsk) {
      const ReplaceAnswer answer = ask_ ? ask_(target) : ReplaceAnswer::kSkip;
      if (answer == ReplaceAnswer::kCancel) cancelled_ = true;
      if (answer != ReplaceAnswer::kReplace) return;
    }
    Replace(source, *st, target);
  }

  void PlaceNew(const std::string& source, const struct stat& st, const std::string& target) {
    if (operation_ == FileOperation::kMove) {
      if (RenameWithoutReplacing(source, target)) return;
      if (errno != EXDEV) ThrowLastError(What(), source);
      // Another file system: copy, then remove the original once the copy is whole.
      CopyNew(source, st, target);
      RemoveTree(source);
      return;
    }
    CopyNew(source, st, target);
  }

  // Swaps a copy of `source` in for the file at `target` in one step.
  void Replace(const std::string& source, const struct stat& st, const std::string& target) {
    if (operation_ == FileOperation::kMove) {
      if (::rename(source.c_str(), target.c_str()) == 0) return;
      if (errno != EXDEV) ThrowLastError(What(), source);
    }
    const std::string temporary = TemporaryBeside(target);
    CopyNew(source, st, temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
      const int code = errno;
      DiscardPartial(temporary);
      Fail(What() + " to", target, code);
    }
    if (operation_ == FileOperation::kMove) RemoveTree(source);
  }

  void Merge(const std::string& sourceFolder, const std::string& targetFolder) {
    for (const std::string& name : ListFolder(sourceFolder)) {
      if (cancelled_) return;
      Place(Join(sourceFolder, name), targetFolder);
    }
    // What was skipped stays in the source folder, which then stays too.
    if (operation_ == FileOperation::kMove) ::rmdir(sourceFolder.c_str());
  }

  // Copies `source` (a folder with all it holds) to `target`, where nothing is yet.
  void CopyNew(const std::string& source, const struct stat& st, const std::string& target) {
    if (S_ISREG(st.st_mode)) return CopyRegularFile(source, st, target);
    if (S_ISLNK(st.st_mode)) {
      std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
      const ssize_t n = ::readlink(source.c_str(), link.data(), link.size());
      if (n < 0) ThrowLastError("Cannot read", source);
      link.resize(static_cast<std::size_t>(n));
      if (::symlink(link.c_str(), target.c_str()) != 0) ThrowLastError("Cannot create", target);
      return;
    }
    if (!S_ISDIR(st.st_mode)) Fail(What(), source, ENOTSUP);
    if (::mkdir(target.c_str(), 0700) != 0) ThrowLastError("Cannot create the folder", target);
    try {
      for (const std::string& name : ListFolder(source)) {
        const std::string child = Join(source, name);
        const std::optional<struct stat> childStat = Lstat(child);
        if (childStat) CopyNew(child, *childStat, Join(target, name));
      }
      const timespec times[2] = {st.st_atim, st.st_mtim};
      if (::chmod(target.c_str(), st.st_mode & 07777) != 0)
        ThrowLastError("Cannot set the permissions of", target);
      ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    } catch (const RuntimeError&) {
      DiscardPartial(target);
      throw;
    }
  }

  const FileOperation operation_;
  const Collision collision_;
  const AskToReplace& ask_;
  bool cancelled_ = false;
};

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Starts argv[0] (searched on PATH when it has no "/") in a process group of its own, with
// the signal handling a fresh program expects, and reaps it when it ends so that the host
// process collects no zombies.
bool Spawn(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  if (::posix_spawnattr_init(&attributes) != 0) return false;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &all);
  ::posix_spawnattr_setpgroup(&attributes, 0);
  ::posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  pid_t pid = 0;
  // glibc reports a program that could not be executed here, not as an exit status later.
  const int result = ::posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  if (result != 0) return false;
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // The program runs all the same; only its exit stays unreaped until the host ends.
  }
  return true;
}

}  // namespace

void TransferFiles(FileOperation operation, const std::vector<std::string>& sources,
                   const std::string& destination, Collision collision, const AskToReplace& ask,
                   WindowHandle /*owner*/) {
  if (sources.empty()) return;
  Transfer(operation, collision, ask).Run(sources, destination);
}

bool LaunchCommand(const CommandLaunch& launch) {
  const std::string& file = launch.file;
  if (file.empty()) return false;
  // What is no program (a document, a folder, a web address) opens with its associated
  // program, as the Windows shell would open it.
  bool document = file.find("://") != std::string::npos;
  if (!document && file.find('/') != std::string::npos) {
    if (!PathExists(file)) return false;
    document = !IsExecutableFile(file);
  }
  if (document) return Spawn({"xdg-open", file});
  std::vector<std::string> arguments{file};
  arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
  arguments.insert(arguments.end(), launch.passedArguments.begin(), launch.passedArguments.end());
  return Spawn(arguments);
}

bool ShowOpenWithDialog(const std::string& /*path*/, WindowHandle /*owner*/) { return false; }

bool HasOpenWithDialog() { return false; }

}  // namespace carvex::platform
