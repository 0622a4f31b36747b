#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace carvex {

// Carries out a chosen menu item: runs its built-in command on the current selection of the
// hand-off key, or launches its external command. Problems are shown to the user, never
// thrown, except a registry that cannot be read at all (RuntimeError), which the caller must
// keep from the file manager.
void RunItem(const std::string& record);

// Whether `path` counts as a folder: its attributes say so, or they cannot be read (it does
// not exist, or it is the marker "*").
bool PassesFolderTest(const std::string& path);

// The selected paths: SFileName alone, or for several items the fileNames list in registry
// order.
std::vector<std::string> SelectionList();

// The folder that holds `path`: the text before its last separator ("\" or "/" on Windows,
// "/" elsewhere); empty when there is none.
std::string ContainingFolder(const std::string& path);

// Splits a configured argument text into the arguments a POSIX program receives: blanks
// separate them, double quotes group blanks into one and are dropped, and "" is an empty
// argument. No other character is special.
std::vector<std::string> SplitArguments(std::string_view text);

}  // namespace carvex
