#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shell_ops.h"
#include "platform/wide.h"

namespace carvex::platform {

namespace {

// The paths each followed by a NUL and one more NUL after the last, as the shell's file
// operation reads its lists; std::wstring adds the final one.
std::wstring DoubleNullList(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& path : paths) {
    list += Widen(path);
    list.push_back(L'\0');
  }
  return list;
}

}  // namespace

void TransferFiles(FileOperation operation, const std::vector<std::string>& sources,
                   const std::string& destination, Collision collision, const AskToReplace& /*ask*/,
                   WindowHandle owner) {
  if (sources.empty()) return;
  // Given one file and a destination that does not exist yet, the shell would make a file of
  // the destination's name instead of a folder holding the copy; so the folder comes first.
  // What cannot be created is left to the shell to report.
  if (!PathExists(destination)) {
    try {
      CreateFolders(destination);
    } catch (const RuntimeError&) {
    }
  }
  const std::wstring from = DoubleNullList(sources);
  const std::wstring to = DoubleNullList({destination});
  SHFILEOPSTRUCTW request{};
  request.hwnd = reinterpret_cast<HWND>(owner);
  request.wFunc = operation == FileOperation::kCopy ? FO_COPY : FO_MOVE;
  request.pFrom = from.c_str();
  request.pTo = to.c_str();
  request.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
  if (collision == Collision::kReplace) request.fFlags |= FOF_NOCONFIRMATION;
  if (collision == Collision::kRename) request.fFlags |= FOF_RENAMEONCOLLISION;
  // The shell reports every problem itself, so its result says nothing more to anyone.
  ::SHFileOperationW(&request);
}

bool LaunchCommand(const CommandLaunch& launch) {
  // An empty name would open whatever the shell takes for the current folder.
  if (launch.file.empty()) return false;
  const std::wstring file = Widen(launch.file);
  const std::wstring arguments = Widen(launch.argumentText);
  const std::wstring folder = Widen(launch.workingFolder);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The caller reports a failure in its own words, so the shell must not show one as well.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = reinterpret_cast<HWND>(launch.owner);
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = launch.showCommand;
  if (!::ShellExecuteExW(&info)) return false;
  return reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
}

bool ShowOpenWithDialog(const std::string& path, WindowHandle owner) {
  // OpenAs_RunDLL takes the rest of its command line, unquoted, as the file to open.
  CommandLaunch launch;
  launch.file = "rundll32.exe";
  launch.argumentText = " shell32.dll,OpenAs_RunDLL " + path;
  launch.owner = owner;
  return LaunchCommand(launch);
}

bool HasOpenWithDialog() { return true; }

}  // namespace carvex::platform
