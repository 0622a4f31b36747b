#pragma once

#include <string>

namespace carvex::platform {

// Whether a file can be created in `folder` now. Found out by creating and deleting a probe
// file: permission bits do not tell, since an administrator ignores them and ACLs, read-only
// media and mount options are not in them. False for a missing folder.
bool IsFolderWritable(const std::string& folder);

// The current user's folder for Carvex's own configuration, without a trailing separator:
// $XDG_CONFIG_HOME/carvex (else $HOME/.config/carvex) on POSIX systems,
// %APPDATA%\Orvane Software\Carvex on Windows. Not created here.
std::string UserConfigFolder();

// The folder proposed as the default output folder before the user picks one: "C:\" on
// Windows, the user's home folder on POSIX systems.
std::string DefaultOutputFolder();

// Creates `folder` with every missing parent; an existing folder is fine.
void CreateFolders(const std::string& folder);

}  // namespace carvex::platform
