#include "commands.h"

#include <optional>

#include "handoff.h"
#include "menu_config.h"
#include "platform/command_line.h"
#include "platform/error.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/shell_ops.h"
#include "ui/app.h"

namespace carvex {

namespace {

using platform::FileOperation;
using platform::RuntimeError;

constexpr char kSeveralItems[] = "*";
constexpr char kFolderPickerTitle[] = "Select a destination folder";
// Line feed then carriage return: the line break of every message text in this system.
constexpr char kLineBreak[] = "\n\r";

void ShowError(const std::string& text) {
  ui::MsgBox(text, ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kCritical, kMessageCaption);
}

// RunItem gives every command a held selection.
std::string FileNameOf(const CommandContext& context) { return context.selection->FileName(); }

const std::vector<std::string>& PathsOf(const CommandContext& context) { return context.selection->paths; }

// Each path ends its line as text on this system does: a carriage return pasted into a POSIX
// shell would be a stray character of the last word.
#ifdef _WIN32
constexpr char kPathLineEnd[] = "\r\n";
#else
constexpr char kPathLineEnd[] = "\n";
#endif

void CopyPaths(const CommandContext& context) {
  const std::string fileName = FileNameOf(context);
  if (fileName != kSeveralItems) {
    ui::SetClipboardText(fileName);
    return;
  }
  std::string text;
  for (const std::string& path : context.selection->paths) text += path + kPathLineEnd;
  ui::SetClipboardText(text);
}

void CopySummary(const CommandContext& context) {
  if (FileNameOf(context) == kSeveralItems) return;
  ui::SetClipboardText(context.selection->summary);
}

// One moment for the whole selection, so that files stamped together carry the same time.
void Stamp(const std::string& record, const CommandContext& context) {
  const platform::FileTime now = platform::CurrentFileTime();
  const std::string mask = ExtractElement(record, Element::kCommandLine);
  const auto chosen = [&mask](std::size_t position) {
    return mask.size() > position && mask[position] == '1';
  };
  for (const std::string& path : PathsOf(context)) {
    std::optional<platform::FileTimesEditor> file;
    try {
      file.emplace(path);
    } catch (const RuntimeError&) {
      // A folder cannot be opened as a file; it is passed over without a word.
      if (!PassesFolderTest(path)) ShowError("Could not get filehandle. Stamping failed");
      continue;
    }
    try {
      // Times that could not be read are not written back: that would set them to nonsense.
      platform::FileTimes times = file->Read();
      if (chosen(0)) times.creation = now;
      if (chosen(1)) times.lastWrite = now;
      if (chosen(2)) times.lastAccess = now;
      file->Write(times);
    } catch (const RuntimeError&) {
      ShowError("Could not stamp file. Stamping failed");
    }
  }
}

platform::Collision CollisionFor(const std::string& record) {
  if (HasFlag(record, Flag::kOverwrite)) return platform::Collision::kReplace;
  if (HasFlag(record, Flag::kOverwriteAsk)) return platform::Collision::kAsk;
  return platform::Collision::kRename;
}

// Where the system does not ask itself (POSIX), the question is ours: Yes replaces the file,
// No keeps it and goes on with the next one, Cancel stops there.
platform::ReplaceAnswer AskToReplace(const std::string& existing) {
  switch (ui::MsgBox("The file \"" + existing + "\" already exists. Do you want to replace it?",
                     ui::MsgBoxButtons::kYesNoCancel, ui::MsgBoxIcon::kNone, kMessageCaption)) {
    case ui::MsgBoxResult::kYes:
      return platform::ReplaceAnswer::kReplace;
    case ui::MsgBoxResult::kNo:
      return platform::ReplaceAnswer::kSkip;
    default:
      return platform::ReplaceAnswer::kCancel;
  }
}

void Transfer(FileOperation operation, const std::string& record, const std::string& destination,
              const CommandContext& context) {
  // Before the first menu initialisation SFileName is empty, which names nothing to copy and
  // is no path to hand to the shell.
  std::vector<std::string> sources = PathsOf(context);
  std::erase(sources, std::string());
  if (sources.empty()) return;
  try {
    platform::TransferFiles(operation, sources, destination, CollisionFor(record), AskToReplace, context.owner);
  } catch (const RuntimeError& error) {
    // Only where the system shows no error of its own does one arrive here.
    const char* sentence = operation == FileOperation::kCopy ? "Could not copy. Copying failed"
                                                             : "Could not move. Moving failed";
    ShowError(std::string(sentence) + kLineBreak + kLineBreak + error.Description());
  }
}

// A record without a destination would copy into whatever folder the file manager's process
// happens to have as its current one; it is a configuration fault instead.
void TransferToConfiguredFolder(FileOperation operation, const std::string& record,
                                const CommandContext& context) {
  const std::string destination = ExtractElement(record, Element::kCommandLine);
  if (destination.empty()) {
    ShowConfigurationWarning();
    return;
  }
  Transfer(operation, record, destination, context);
}

void TransferToChosenFolder(FileOperation operation, const std::string& record, const CommandContext& context) {
  const std::string destination = ui::BrowseForFolder(nullptr, kFolderPickerTitle);
  if (destination.empty()) return;
  Transfer(operation, record, destination, context);
}

void StartOpenWith(const CommandContext& context) {
  const std::string fileName = FileNameOf(context);
  if (fileName == kSeveralItems) return;
  if (!platform::ShowOpenWithDialog(fileName, context.owner)) ShowError("Could not find dialog. Very strange...");
}

// Where an external program starts: the folder the user is in, else the one that holds the
// (first) selected item.
std::string StartFolder(const CommandContext& context) {
  if (!context.workingFolder.empty()) return context.workingFolder;
  const std::vector<std::string>& paths = PathsOf(context);
  return paths.empty() ? std::string() : ContainingFolder(paths.front());
}

// The configured text is passed on as it stands, on Windows as one line and split into
// arguments on POSIX systems. The selected paths follow as arguments of their own, which the
// platform quotes as the program (or cmd.exe, for a batch file) reads them, so that no file
// name is ever read as syntax; the error message shows them as Windows programs get them.
void LaunchExternal(const std::string& record, const CommandContext& context) {
  platform::CommandLaunch launch;
  launch.file = ExtractCommand(record);
  launch.argumentText = ExtractElement(record, Element::kCommandLine);
  launch.arguments = SplitArguments(launch.argumentText);
  const bool sendFile = HasFlag(record, Flag::kSendFile);
  const bool sendFolder = HasFlag(record, Flag::kSendFolder);
  if (sendFile || sendFolder) {
    const std::string fileName = FileNameOf(context);
    if (sendFile) launch.passedArguments.push_back(fileName);
    if (sendFolder)
      launch.passedArguments.push_back(PassesFolderTest(fileName) ? fileName : ContainingFolder(fileName));
  }
  launch.owner = context.owner;
  launch.workingFolder = StartFolder(context);
  launch.showCommand = context.showCommand;
  if (!platform::LaunchCommand(launch))
    ShowError(std::string("Error executing command. Check the registry for errors.") + kLineBreak +
              "Command:" + launch.file + kLineBreak +
              "Arguments:" + platform::JoinArguments(launch.argumentText, launch.passedArguments));
}

}  // namespace

bool PassesFolderTest(const std::string& path) {
  if (path == kSeveralItems) return true;
  const std::optional<std::uint32_t> attributes = platform::ReadFileAttributes(path);
  return attributes && (*attributes & platform::kAttributeDirectory) != 0;
}

std::vector<std::string> SelectionList() { return ReadHandOffSelection(); }

// Windows takes both slashes as separators; on POSIX systems a backslash is part of a name.
// A root keeps its separator: "C:" alone names the current folder of drive C, and "" none.
std::string ContainingFolder(const std::string& path) {
  const bool windows = platform::kPathSeparator == '\\';
  const std::size_t separator = path.find_last_of(windows ? "\\/" : "/");
  if (separator == std::string::npos) return {};
  const bool root = separator == 0 || (windows && separator == 2 && path[1] == ':');
  return path.substr(0, root ? separator + 1 : separator);
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current.push_back(c);
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

void RunItem(const std::string& record, const CommandContext& given) {
  CommandContext context = given;
  if (!context.selection) {
    // The hand-off as one reading, so that the name, the list and the summary are of one
    // selection even while another window records its own.
    HeldSelection held;
    held.paths = ReadHandOffSelection(&held.summary);
    context.selection = std::move(held);
  }
  switch (FindBuiltIn(ExtractCommand(record))) {
    case BuiltIn::kCopyPath:
      return CopyPaths(context);
    case BuiltIn::kProps:
      return CopySummary(context);
    case BuiltIn::kStamp:
      return Stamp(record, context);
    case BuiltIn::kCopy:
      return TransferToConfiguredFolder(FileOperation::kCopy, record, context);
    case BuiltIn::kMove:
      return TransferToConfiguredFolder(FileOperation::kMove, record, context);
    case BuiltIn::kCopyFolder:
      return TransferToChosenFolder(FileOperation::kCopy, record, context);
    case BuiltIn::kMoveFolder:
      return TransferToChosenFolder(FileOperation::kMove, record, context);
    case BuiltIn::kAppStart:
      return StartOpenWith(context);
    case BuiltIn::kHSeparator:
    case BuiltIn::kVSeparator:
      return;
    case BuiltIn::kNone:
      return LaunchExternal(record, context);
  }
}

}  // namespace carvex
