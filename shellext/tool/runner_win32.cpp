#include "commands.h"
#include "runner.h"
#include "ui/win32_backend.h"

namespace carvex {

// Windows keeps clipboard data after the program that put it there has ended.
const char* const kHoldClipboardCommand = "";

void RunMenuItemWithWindows(const std::string& record, const CommandContext& context, int&, char**) {
  ui::Win32Program program;
  RunItem(record, context);
}

int HoldClipboard(const std::string&, int&, char**) { return 2; }

}  // namespace carvex
