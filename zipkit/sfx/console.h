#pragma once

// What the self-extracting program needs of its console, one source file per system.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carvex::sfx {

// The program's arguments as UTF-8, without the program's own name.
std::vector<std::string> Arguments(int argc, char** argv);

// Shows `caption` as the title of the console window, where there is one.
void SetConsoleCaption(const std::string& caption);

// UTF-8 text to standard output or standard error, flushed at once so that a question shows
// before its answer is read.
void Print(std::string_view text);
void PrintError(std::string_view text);

// One line of standard input without its line end; nullopt at the end of input. A `secret` line
// is not echoed when a user types it at a console.
std::optional<std::string> ReadLine(bool secret);

// Waits for Enter when the program has a console window of its own (started by a double
// click), which would otherwise close before the last lines can be read.
void HoldConsoleWindow();

}  // namespace carvex::sfx
