#include "platform/process.h"

#include <unistd.h>

#include <cerrno>

#include "platform/error.h"

namespace carvex::platform {

// A POSIX crash already ends the process with a signal status.
void ExitOnCrash() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void WriteStandardOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) ThrowLastError("Cannot write to", "standard output");
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace carvex::platform
