#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "zip_test_support.h"

extern char** environ;

namespace carvex::zipkit::test {

namespace {

// The tools print names through the locale's character set; the tests compare UTF-8.
std::vector<std::string> Utf8Environment() {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable)
    if (std::strncmp(*variable, "LC_ALL=", 7) != 0) variables.emplace_back(*variable);
  variables.emplace_back("LC_ALL=C.UTF-8");
  return variables;
}

struct SigpipeIgnored {
  // A program that exits without reading its input must not kill the test.
  SigpipeIgnored() { std::signal(SIGPIPE, SIG_IGN); }
};

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input) {
  static const SigpipeIgnored sigpipeIgnored;
  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return {};
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = Utf8Environment();
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // posix_spawn, unlike fork, is safe while other threads run tools of their own.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDERR_FILENO);
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);

  ProgramRun run;
  if (spawned == 0) {
    std::size_t written = 0;
    while (written < input.size()) {
      const ssize_t n = ::write(toChild[1], input.data() + written, input.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
  }
  ::close(toChild[1]);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fromChild[0], buffer, sizeof buffer);
    if (n <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fromChild[0]);
  if (spawned != 0) {
    run.output = "cannot start " + program + ": " + std::strerror(spawned);
    return run;
  }
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace carvex::zipkit::test
