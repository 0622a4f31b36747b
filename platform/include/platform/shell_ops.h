#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace carvex::platform {

// A window of the system (an HWND on Windows), passed on by portable code; 0 for none.
using WindowHandle = std::uintptr_t;

// How a started program shows its window: a show command of the Windows shell (SW_...).
inline constexpr int kShowNormal = 1;

enum class FileOperation { kCopy, kMove };

// What happens when the destination already holds an entry of the same name.
enum class Collision {
  kRename,   // the copy gets a new name and both are kept
  kReplace,  // the existing file is replaced without asking
  kAsk,      // the user is asked for each file
};

enum class ReplaceAnswer { kReplace, kSkip, kCancel };
// Asked, under Collision::kAsk, before the file at `existing` is replaced.
using AskToReplace = std::function<ReplaceAnswer(const std::string& existing)>;

// Copies or moves `sources` (files and folders, folders with all they hold) into the folder
// `destination`, creating it when missing.
//
// Windows hands the whole list to the shell in one call: the shell shows its own progress,
// questions and error messages, over `owner`, names renamed copies itself, and `ask` is not
// used; nothing is thrown.
//
// POSIX systems do the work here. A renamed copy is called "name (copy).ext", then
// "name (copy 2).ext", "name (copy 3).ext" and so on (a folder's or a dot file's whole name
// comes before the suffix). Folders of the same name are merged, their files colliding one by
// one. A file copied onto itself always gets a new name; a file moved onto itself stays. A
// replaced file is swapped in whole, so a failure leaves the old one intact. The first
// failure ends the operation and throws RuntimeError; what was done before it stays done.
void TransferFiles(FileOperation operation, const std::vector<std::string>& sources,
                   const std::string& destination, Collision collision, const AskToReplace& ask,
                   WindowHandle owner = 0);

// A program, document or folder to open, with its arguments in the two forms the systems take.
struct CommandLaunch {
  std::string file;
  // The configured arguments: one command line, as the Windows shell passes it on.
  std::string argumentText;
  // The same arguments one by one, as POSIX systems pass them: no shell ever parses them.
  std::vector<std::string> arguments;
  // Windows: the window over which the shell shows what it must while starting the program,
  // the folder the program starts in (empty: this process's current one) and how it shows its
  // window. POSIX systems start a program in this process's current folder.
  WindowHandle owner = 0;
  std::string workingFolder;
  int showCommand = kShowNormal;
  // Arguments after the configured ones (the selected paths), each of which reaches the
  // program as exactly one argument, whatever characters it holds.
  std::vector<std::string> passedArguments;
};

// Opens `launch.file` as the system's shell does; false when it could not be started.
// Windows: ShellExecuteEx with the verb "open" and JoinArguments(argumentText,
// passedArguments), without error dialogs of its own; a batch file (by its name, or the first
// file PATHEXT finds for a name without extension) runs through the system's cmd.exe with
// BatchCommandArguments instead, and is not started when those cannot be made. POSIX: an
// executable file, or a program found on PATH when the name has no "/", runs with
// `arguments` and `passedArguments` and without a shell; an existing document or folder, or a
// URL, goes to xdg-open, without the arguments. The started program is not waited for.
bool LaunchCommand(const CommandLaunch& launch);

// Shows the system's dialog for choosing the program that opens `path`; false when it could
// not be shown. Windows runs the shell's Open With dialog in rundll32, started over `owner`.
// POSIX desktops offer no such dialog to other programs, so there it is always false.
bool ShowOpenWithDialog(const std::string& path, WindowHandle owner = 0);
// Whether ShowOpenWithDialog can ever succeed here.
bool HasOpenWithDialog();

}  // namespace carvex::platform
