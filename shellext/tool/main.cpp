// verbhook: lists, exports, imports and resets the context menu's configuration, and runs
// one of its items out of the file manager's process.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "default_menu.h"
#include "handoff.h"
#include "menu_config.h"
#include "menu_transfer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/printable.h"
#include "platform/process.h"
#include "runner.h"
#include "summary.h"

namespace {

using namespace carvex;

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

// A menu file is a few kilobytes; this bounds what a wrong file can make the program read.
constexpr std::int64_t kMaxImportBytes = 16 << 20;
// Far above the paths of a hundred thousand files.
constexpr std::int64_t kMaxSelectionBytes = std::int64_t{256} << 20;

constexpr char kUsageText[] =
    "usage: verbhook list\n"
    "       verbhook export [FILE]\n"
    "       verbhook import FILE [--replace]\n"
    "       verbhook default [PROGRAM] [--replace]\n"
    "       verbhook run N [--selection-file FILE]\n"
    "\n"
    "default writes the first menu, which starts PROGRAM (by default the carvex beside\n"
    "verbhook), into an empty menu; --replace rewrites the first menu's own \"Carvex\"\n"
    "submenu whatever the menu holds and leaves every other record as it is.\n"
    "run carries out item N on the selection that FILE holds (paths, each ended by a zero\n"
    "byte; the file is deleted once read), or without FILE on the last one recorded.\n"
    "Every word after -- is a file or a program, even one that starts with --.\n";

std::string ReadWholeFile(const std::string& path, std::int64_t limit = kMaxImportBytes) {
  if (platform::PathExists(path) && !platform::IsRegularFile(path))
    throw platform::RuntimeError(0, "The file " + path + " was not imported: it is no ordinary file.");
  const std::int64_t length = platform::FileLength(path);
  if (length > limit) throw platform::RuntimeError(0, "The file " + path + " is too large.");
  platform::File file(path, platform::File::Mode::kRead);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

// A selection handed over by the file manager: every path exactly as its bytes were, each
// ended by a zero byte, which no path holds. The file is the caller's gift to this run.
std::vector<std::string> TakeSelectionFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path, kMaxSelectionBytes);
  platform::RemoveFile(path);
  std::vector<std::string> paths;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = bytes.find('\0', start);
    if (end == std::string::npos)
      throw platform::RuntimeError(0, "The selection file " + path + " ends inside a path.");
    if (end > start) paths.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  if (paths.empty()) throw platform::RuntimeError(0, "The selection file " + path + " holds no path.");
  return paths;
}

std::optional<std::uint32_t> ParseItemNumber(const std::string& text) {
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number == 0) return std::nullopt;
  return number;
}

std::uint32_t LastItemNumber(const MenuLevel& level) {
  std::uint32_t last = level.items.empty() ? 0 : level.items.back().number;
  for (const MenuLevel& submenu : level.submenus) last = std::max(last, LastItemNumber(submenu));
  return last;
}

// A command's words: its options (words that start with "--") and its operands. After "--"
// every word is an operand, so that a file named like an option stays a file.
struct Words {
  std::vector<std::string> options;
  std::vector<std::string> operands;

  bool OnlyOptions(std::initializer_list<std::string_view> allowed) const {
    return std::all_of(options.begin(), options.end(), [&](const std::string& option) {
      return std::find(allowed.begin(), allowed.end(), option) != allowed.end();
    });
  }
  bool Has(std::string_view option) const {
    return std::find(options.begin(), options.end(), option) != options.end();
  }
};

Words SplitWords(const std::vector<std::string>& args) {
  Words words;
  bool endOfOptions = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (endOfOptions)
      words.operands.push_back(args[i]);
    else if (args[i] == "--")
      endOfOptions = true;
    else if (args[i].starts_with("--"))
      words.options.push_back(args[i]);
    else
      words.operands.push_back(args[i]);
  }
  return words;
}

int Run(std::vector<std::string> args, int& argc, char** argv) {
  const std::string command = args.empty() ? "" : args[0];
  // The one option that takes a word of its own.
  std::optional<std::string> selectionFile;
  if (command == "run") {
    const auto end = std::find(args.begin(), args.end(), "--");
    const auto option = std::find(args.begin(), end, "--selection-file");
    if (option != end) {
      if (option + 1 == args.end()) {
        std::cerr << kUsageText;
        return kUsage;
      }
      selectionFile = *(option + 1);
      args.erase(option, option + 2);
    }
  }
  const Words words = SplitWords(args);
  const std::size_t operands = words.operands.size();
  if (command == "list" && words.options.empty() && operands == 0) {
    std::cout << FormatMenuList(ReadMenuTree(), platform::IsTerminal(1));
    return kDone;
  }
  if (command == "export" && words.options.empty() && operands <= 1) {
    const std::string bytes = ExportMenu();
    if (operands == 0) {
      platform::WriteStandardOutput(bytes);
    } else {
      platform::File file(words.operands[0], platform::File::Mode::kCreate);
      file.Write(bytes);
      file.Close();
    }
    return kDone;
  }
  if (command == "import" && words.OnlyOptions({"--replace"}) && operands == 1) {
    ImportMenu(ReadWholeFile(words.operands[0]), words.Has("--replace"));
    return kDone;
  }
  if (command == "default" && words.OnlyOptions({"--replace"}) && operands <= 1) {
    // The data files may lie elsewhere (share/carvex), but carvex is always installed beside
    // verbhook: in bin/ of any prefix, in the build tree, in the Windows program folder.
    const std::string program =
        operands == 0 ? platform::ExecutableFolder() + platform::kPathSeparator + CARVEX_PROGRAM_NAME
                      : words.operands[0];
    std::cout << (WriteDefaultMenu(program, words.Has("--replace"))
                      ? "The first menu has been written.\n"
                      : "The menu holds records already; it was left as it is (--replace rewrites "
                        "the Carvex submenu).\n");
    return kDone;
  }
  if (command == "run" && words.options.empty() && operands == 1) {
    const std::optional<std::uint32_t> number = ParseItemNumber(words.operands[0]);
    if (!number || *number > LastItemNumber(ReadMenuTree())) {
      std::cerr << "verbhook: the menu has no item " << platform::ForStream(2, words.operands[0]) << ".\n";
      return kRefused;
    }
    CommandContext context;
    if (selectionFile) {
      // Recorded as one change just before the item runs: the application and the commands
      // started from here read it as they read the handler's.
      HeldSelection selection;
      selection.paths = TakeSelectionFile(*selectionFile);
      selection.summary = SummarizePaths(selection.paths);
      WriteHandOff(selection.paths, selection.summary);
      context.selection = std::move(selection);
    }
    // Looked up as the handler does when an item is chosen: afresh, by its walk number.
    RunMenuItemWithWindows(FindItemRecord(*number), context, argc, argv);
    return kDone;
  }
  if (*kHoldClipboardCommand && command == kHoldClipboardCommand && args.size() == 2)
    return HoldClipboard(args[1], argc, argv);
  if ((command == "--help" || command == "-h") && args.size() == 1) {
    std::cout << kUsageText;
    return kDone;
  }
  std::cerr << kUsageText;
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  platform::ExitOnCrash();
  int status = kRefused;
  try {
    status = Run(platform::ProgramArguments(argc, argv), argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "verbhook: " << platform::ForStream(2, e.what()) << "\n";
  } catch (...) {
    std::cerr << "verbhook: the command ended on an error of unknown kind.\n";
  }
  std::fflush(nullptr);
  return status;
}
