#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carvex::zipkit {

// The folder names and file name under which the archive entry `name` unpacks below a target
// folder, with "/" and "\" both taken as separators and "." elements dropped. nullopt when the
// name would reach outside that folder (see UnsafeEntryRule).
std::optional<std::vector<std::string>> SafeEntryPath(std::string_view name);

// Which rule `name` breaks, as words that follow the entry's name ("is absolute", "climbs out of
// the target folder", "names a drive", "holds a NUL character", "has no name"); "" when none. A
// UNC prefix is absolute. A ".." element climbs out everywhere, and on Windows, which drops
// trailing dots and spaces, so does any element of dots and spaces alone.
std::string UnsafeEntryRule(std::string_view name);

// `element` as a name this system can hold. On Windows the characters it forbids in names
// (<>:"|?* and control characters) become "_", as other zip tools write them there (a ":" would
// name an alternate data stream); a device name ("aux.c", "COM1", "CONIN$") gets a leading "_";
// trailing dots and spaces, which Windows would drop, become "_". Elsewhere all of these are
// names like any other and the element stays as it is.
std::string LocalName(std::string element);

// `fileName` with " (number)" before its extension: "report (2).doc", "notes (3)", ".profile (2)".
std::string NumberedName(const std::string& fileName, int number);

// The names under which zipping stores `sourcePaths`: each file's own name without its folders.
// Names that clash, ignoring ASCII case (as Windows folders do), are all kept: the first keeps
// its name, each later one is numbered, skipping every name that is already taken or that
// another source brings itself.
std::vector<std::string> StoredNames(const std::vector<std::string>& sourcePaths);

// The last element of `path`, split at "/" and at the platform's own separator.
std::string FileNamePart(const std::string& path);

// The folder that holds `path`, without a trailing separator unless it is a root; empty when
// `path` names no folder.
std::string FolderPart(const std::string& path);

// `folder` and `name` joined by the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace carvex::zipkit
