#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "console.h"

namespace carvex::sfx {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void SetConsoleCaption(const std::string& caption) {
  // The xterm title sequence, which terminal emulators follow; never sent into a pipe or file.
  if (::isatty(STDOUT_FILENO)) Print("\033]0;" + caption + "\007");
}

void Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void PrintError(std::string_view text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::optional<std::string> ReadLine(bool secret) {
  termios saved{};
  const bool hide = secret && ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (hide) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (hide) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    Print("\n");
  }
  if (!got) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void HoldConsoleWindow() {}

}  // namespace carvex::sfx
