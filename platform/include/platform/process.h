#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace carvex::platform {

// Makes a crash end the process with an exit code instead of waiting in a debugger
// (Wine's opens one), so a test run never hangs on it.
void ExitOnCrash();

// The program's arguments after its name, as UTF-8. Windows hands main() its arguments in the
// ANSI code page, which cannot hold every file name: they are taken from the wide command line.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Writes `bytes` to standard output unchanged (no CRLF translation on Windows) or throws
// RuntimeError.
void WriteStandardOutput(std::string_view bytes);

}  // namespace carvex::platform
