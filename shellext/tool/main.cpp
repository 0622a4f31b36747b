// verbhook: lists, exports, imports and resets the context menu's configuration, and runs
// one of its items out of the file manager's process.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
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
    "submenu whatever the menu holds and leaves every other record as it is.\n";

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

int Run(const std::vector<std::string>& args, int& argc, char** argv) {
  const std::string command = args.empty() ? "" : args[0];
  const std::size_t count = args.size();
  if (command == "list" && count == 1) {
    std::cout << FormatMenuList(ReadMenuTree());
    return kDone;
  }
  if (command == "export" && count <= 2) {
    const std::string bytes = ExportMenu();
    if (count == 1) {
      platform::WriteStandardOutput(bytes);
    } else {
      platform::File file(args[1], platform::File::Mode::kCreate);
      file.Write(bytes);
      file.Close();
    }
    return kDone;
  }
  if (command == "import" && (count == 2 || (count == 3 && args[2] == "--replace"))) {
    ImportMenu(ReadWholeFile(args[1]), count == 3);
    return kDone;
  }
  if (command == "default") {
    std::vector<std::string> operands(args.begin() + 1, args.end());
    const auto flag = std::find(operands.begin(), operands.end(), "--replace");
    const bool replace = flag != operands.end();
    if (replace) operands.erase(flag);
    if (operands.size() <= 1 && (operands.empty() || !operands[0].starts_with("--"))) {
      // The data files may lie elsewhere (share/carvex), but carvex is always installed beside
      // verbhook: in bin/ of any prefix, in the build tree, in the Windows program folder.
      const std::string program =
          operands.empty() ? platform::ExecutableFolder() + platform::kPathSeparator + CARVEX_PROGRAM_NAME
                           : operands[0];
      std::cout << (WriteDefaultMenu(program, replace)
                        ? "The first menu has been written.\n"
                        : "The menu holds records already; it was left as it is (--replace rewrites "
                          "the Carvex submenu).\n");
      return kDone;
    }
  }
  if (command == "run" && count == 2) {
    const std::optional<std::uint32_t> number = ParseItemNumber(args[1]);
    if (!number || *number > LastItemNumber(ReadMenuTree())) {
      std::cerr << "verbhook: the menu has no item " << args[1] << ".\n";
      return kRefused;
    }
    // Looked up as the handler does when an item is chosen: afresh, by its walk number.
    RunMenuItemWithWindows(FindItemRecord(*number), argc, argv);
    return kDone;
  }
  if (*kHoldClipboardCommand && command == kHoldClipboardCommand && count == 2)
    return HoldClipboard(args[1], argc, argv);
  if ((command == "--help" || command == "-h") && count == 1) {
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
