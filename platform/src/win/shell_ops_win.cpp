#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <optional>

#include "platform/command_line.h"
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

std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  if (value.empty()) return value;
  value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}

std::vector<std::wstring> SplitList(const std::wstring& list) {
  std::vector<std::wstring> items;
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(L';', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

// Whether the shell, given `file`, runs a batch file: by its extension, or for a bare name
// without extension or folder, by the first program the search finds, folder by folder
// (the start folder, then PATH) and in each folder extension by extension in PATHEXT order.
bool RunsBatchFile(const std::string& file, const std::string& startFolder) {
  if (IsBatchFileName(file)) return true;
  const std::wstring name = Widen(file);
  if (name.find_first_of(L".\\/:") != std::wstring::npos) return false;
  std::wstring extensions = EnvironmentVariable(L"PATHEXT");
  if (extensions.empty()) extensions = L".COM;.EXE;.BAT;.CMD";
  std::vector<std::wstring> folders = SplitList(EnvironmentVariable(L"PATH"));
  std::wstring start = Widen(startFolder);
  if (start.empty()) {
    start.resize(::GetCurrentDirectoryW(0, nullptr));
    start.resize(::GetCurrentDirectoryW(static_cast<DWORD>(start.size()), start.data()));
  }
  folders.insert(folders.begin(), start);
  for (const std::wstring& folder : folders) {
    for (const std::wstring& extension : SplitList(extensions)) {
      const std::wstring candidate = folder + L"\\" + name + extension;
      const DWORD attributes = ::GetFileAttributesW(candidate.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return IsBatchFileName(Narrow(extension));
    }
  }
  return false;
}

// The system's own interpreter, never one that lies in the folder the command starts in.
std::wstring SystemCommandInterpreter() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length > 0 && length < MAX_PATH ? length : 0) + L"\\cmd.exe";
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
  std::wstring file = Widen(launch.file);
  std::wstring arguments = Widen(JoinArguments(launch.argumentText, launch.passedArguments));
  // The shell would hand a batch file to cmd.exe as it stands, and cmd.exe expands %NAME% and
  // obeys & and ^ in what the arguments hold: a file name could run commands. It gets its
  // command line from us instead, or nothing is started.
  if (RunsBatchFile(launch.file, launch.workingFolder)) {
    const std::optional<std::string> batch =
        BatchCommandArguments(launch.file, launch.argumentText, launch.passedArguments);
    if (!batch) return false;
    file = SystemCommandInterpreter();
    arguments = Widen(*batch);
  }
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
