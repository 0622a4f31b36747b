#pragma once

#include <stdexcept>
#include <string>

namespace carvex::platform {

// The one error type of the core: a failed operation with the OS's own number and
// description, caught only by the user-level handlers that show it.
class RuntimeError : public std::runtime_error {
public:
  RuntimeError(long number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  long Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

private:
  long number_;
  std::string description_;
};

// Builds a RuntimeError from the calling thread's last OS error (errno or GetLastError),
// prefixed with what was being done and to which path.
[[noreturn]] void ThrowLastError(const std::string& what, const std::string& path);

}  // namespace carvex::platform
