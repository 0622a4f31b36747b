#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menu_config.h"
#include "platform/shell_ops.h"

namespace carvex {

// What the file manager says about where a chosen item runs.
struct CommandContext {
  // The selection the menu was built for; without one, the selection of the hand-off key.
  std::optional<HeldSelection> selection;
  // The file manager's window, over which the file operations and the programs started show
  // what they must. Message boxes, the folder picker and the clipboard go through the ui
  // backend of the calling thread, which its maker gives the same window.
  platform::WindowHandle owner = 0;
  // The folder external programs start in: the one the user is in. Empty: the folder that
  // holds the (first) selected item.
  std::string workingFolder;
  // How an external program shows its window.
  int showCommand = platform::kShowNormal;
};

// Carries out a chosen menu item: runs its built-in command on the selection, or launches its
// external command. Problems are shown to the user, never thrown, except a registry that
// cannot be read at all (RuntimeError), which the caller must keep from the file manager.
void RunItem(const std::string& record, const CommandContext& context = {});

// Whether `path` counts as a folder: its attributes say so, or it is the marker "*" of a
// multiple selection. A path that cannot be read is no folder.
bool PassesFolderTest(const std::string& path);

// The selected paths: SFileName alone, or for several items the fileNames list in registry
// order.
std::vector<std::string> SelectionList();

// The folder that holds `path`: the text before its last separator ("\" or "/" on Windows,
// "/" elsewhere), the separator kept for a root ("C:\", "\", "/"); empty when there is none.
std::string ContainingFolder(const std::string& path);

// Splits a configured argument text into the arguments a POSIX program receives: blanks
// separate them, double quotes group blanks into one and are dropped, and "" is an empty
// argument. No other character is special.
std::vector<std::string> SplitArguments(std::string_view text);

}  // namespace carvex
