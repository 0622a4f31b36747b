#pragma once

#include <string>
#include <vector>

namespace carvex {

// The hand-off key, under HKEY_CURRENT_USER: the selection that the context menu was last
// initialised for, passed from the shell extension to the commands its menu starts.
inline constexpr char kHandOffKeyPath[] = "SOFTWARE\\Orvane Software\\Carvex\\Ravelin";
// The list of a multiple selection, spelled as the application opens it.
inline constexpr char kHandOffListKeyPath[] = "Software\\Orvane Software\\Carvex\\Ravelin\\fileNames";

// Records a selection: one path becomes SFileName and nothing else changes; any other number
// sets SFileName to "*" and replaces the fileNames list with the paths, in selection order.
// Paths are written whole, however long. A path that differs from an earlier one only in
// letter case (the registry's names ignore case) is stored under a name starting with "*",
// with the path as the value's data; ReadHandOffList gives it back in its place.
// Throws RuntimeError at the first value that cannot be written.
void WriteHandOffSelection(const std::vector<std::string>& paths);
// Records a selection and its summary (attribSt) as one change.
void WriteHandOff(const std::vector<std::string>& paths, const std::string& summary);
// Stores the selection summary (attribSt).
void WriteSelectionSummary(const std::string& summary);

// SFileName and attribSt; "" when missing. A value that is not text throws RuntimeError.
std::string ReadHandOffFileName();
std::string ReadSelectionSummary();
// The paths of the fileNames list in the registry's enumeration order, without empty names.
// Empty, and nothing reported, when the list cannot be opened.
std::vector<std::string> ReadHandOffList();
// The selected paths as one reading: SFileName alone, or for several items the fileNames list;
// with `summary`, attribSt of the same reading.
std::vector<std::string> ReadHandOffSelection(std::string* summary = nullptr);

// Moves the hand-off key to `keyPath` under HKEY_CURRENT_USER, so that tests leave the
// user's own selection alone; "" restores kHandOffKeyPath. Not for use while other threads
// call this module.
void OverrideHandOffKeyPath(const std::string& keyPath);
// The hand-off key's path under HKEY_CURRENT_USER now: kHandOffKeyPath unless overridden.
std::string HandOffKeyPath();

}  // namespace carvex
