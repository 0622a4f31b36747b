#pragma once

// N.sh beside a split set: a POSIX shell script that rejoins the set on a machine without
// Carvex and without cmd.exe (Linux, macOS), checking it against N.sha256 when that is there.

#include <cstdint>
#include <string>

namespace carvex {

std::string JoinScriptFileName(const std::string& name);
std::string JoinScriptText(const std::string& name, std::int64_t pieceCount);
// Writes N.sh into `folder` (ending with a separator), executable where the system has the
// notion.
void WriteJoinScriptFile(const std::string& folder, const std::string& name, std::int64_t pieceCount);

}  // namespace carvex
