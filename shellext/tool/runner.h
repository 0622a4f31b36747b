#pragma once

#include <cstdint>
#include <string>

#include "commands.h"

namespace carvex {

// Carries out the record of menu item `number` as the handler does when the item is chosen,
// with the system's own windows for its messages and questions. Out of the file manager's
// process, so that a crash or a long copy cannot take the file manager with it.
// `context` carries the selection the item was chosen for, when the caller handed one over.
void RunMenuItemWithWindows(const std::string& record, const CommandContext& context, int& argc, char** argv);

// The subcommand by which the runner leaves clipboard text behind on systems where the
// clipboard's content lives in the process that owns it; "" where it needs none.
extern const char* const kHoldClipboardCommand;
// Owns the clipboard with the text of `textFile` (which it deletes) until another program
// takes the clipboard. The exit code.
int HoldClipboard(const std::string& textFile, int& argc, char** argv);

}  // namespace carvex
