#pragma once

#include <optional>
#include <string>
#include <vector>

namespace carvex::cli {

enum class Command { kNone, kSplit, kBuild, kVerify };
enum class Size { kNone, kDisk, kMb, kKb, kBytes, kPieces, kPredefined };

struct Options {
  Command command = Command::kNone;
  std::vector<std::string> files;
  std::string destination;
  Size size = Size::kNone;
  std::string sizeText;
  std::optional<std::string> zipName;
  std::optional<int> level;
  std::optional<std::string> password;
  bool sfx = false;
  bool yes = false;
  bool overwrite = false;
  bool deletePieces = false;
  bool unzip = false;
  bool noChecksums = false;
  bool joinScript = false;
  bool help = false;
  bool version = false;
};

extern const char* const kUsage;

// False with `error` set for a command line that cannot be run.
bool Parse(const std::vector<std::string>& args, Options& options, std::string& error);


}  // namespace carvex::cli
