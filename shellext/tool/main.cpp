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
#include "menu_config.h"
#include "menu_transfer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "runner.h"

namespace {

using namespace carvex;

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

// A menu file is a few kilobytes; this bounds what a wrong file can make the program read.
constexpr std::int64_t kMaxImportBytes = 16 << 20;

constexpr char kUsageText[] =
    "usage: verbhook list\n"
    "       verbhook export [FILE]\n"
    "       verbhook import FILE [--replace]\n"
    "       verbhook default [PROGRAM] [--replace]\n"
    "       verbhook run N\n"
    "\n"
    "default writes the first menu, which starts PROGRAM (by default the carvex beside\n"
    "verbhook), into an empty menu; --replace rewrites the first menu's own \"Carvex\"\n"
    "submenu whatever the menu holds and leaves every other record as it is.\n"
    "Every word after -- is a file or a program, even one that starts with --.\n";

std::string ReadWholeFile(const std::string& path) {
  const std::int64_t length = platform::FileLength(path);
  if (length > kMaxImportBytes)
    throw platform::RuntimeError(0, "The file " + path + " is too large for a menu.");
  platform::File file(path, platform::File::Mode::kRead);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
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

int Run(const std::vector<std::string>& args, int& argc, char** argv) {
  const std::string command = args.empty() ? "" : args[0];
  const Words words = SplitWords(args);
  const std::size_t operands = words.operands.size();
  if (command == "list" && words.options.empty() && operands == 0) {
    std::cout << FormatMenuList(ReadMenuTree());
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
      std::cerr << "verbhook: the menu has no item " << words.operands[0] << ".\n";
      return kRefused;
    }
    // Looked up as the handler does when an item is chosen: afresh, by its walk number.
    RunMenuItemWithWindows(FindItemRecord(*number), argc, argv);
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
    std::cerr << "verbhook: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "verbhook: the command ended on an error of unknown kind.\n";
  }
  std::fflush(nullptr);
  return status;
}
