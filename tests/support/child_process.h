#pragma once
// Other processes of a POSIX test: the same program forked, as separate programs would share a
// store or a file.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace carvex::test {

// Runs `body` in a child process; its result is the child's exit code, 2 for an exception.
inline pid_t RunInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 2;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  return pid;
}

inline int ExitCode(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace carvex::test
