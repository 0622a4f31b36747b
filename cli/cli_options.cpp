#include "cli_options.h"

#include <filesystem>
#include <fstream>

namespace carvex::cli {

const char* const kUsage =
    "usage:\n"
    "  carvex-cli split --dest DIR (--disk | --mb N | --kb N | --bytes N | --pieces N |\n"
    "                   --predefined \"700 Mb\") [--zip NAME [--level 0-9] [--password-file F] [--sfx]] [--yes]\n"
    "                   [--no-checksums] [--sh] [--] FILE...\n"
    "  carvex-cli build [--dest DIR] [--yes] [--overwrite] [--delete-pieces] [--unzip [--password-file F]]\n"
    "                   [--] PIECE\n"
    "  carvex-cli verify [--] PIECE\n"
    "  carvex-cli --help | --version\n"
    "\n"
    "Every word after -- is a file, even one that starts with -. Give a wildcard after --\n"
    "(carvex-cli split --dest pieces --mb 100 -- *) or as ./*, so that a file named like an\n"
    "option stays a file.\n"
    "\n"
    "Questions are asked on the terminal; --yes answers them all Yes (Ctrl-C then stops the job\n"
    "and deletes what it wrote), except those that only look at the drive again (insert a disk,\n"
    "not enough space): these need the terminal and are cancelled without one.\n"
    "Exit status: 0 done, 1 refused or failed, 2 usage, 3 built (and verified) but the archive\n"
    "could not be unpacked, 130 cancelled.\n"
    "Options otherwise come from the settings file, which carvex-cli never changes.\n"
    "\n"
    "A split writes N.sha256 beside the pieces unless --no-checksums is given, and with --sh a\n"
    "script N.sh that rejoins them on Linux and macOS. A build checks the pieces and the built\n"
    "file against N.sha256 when it is there; verify checks the pieces alone, without building.\n";

namespace {

bool ReadPassword(const std::string& file, std::string& password, std::string& error) {
  std::ifstream in(std::filesystem::path(std::u8string(file.begin(), file.end())));
  if (!in) {
    error = "cannot read the password file '" + file + "'";
    return false;
  }
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace

bool Parse(const std::vector<std::string>& args, Options& options, std::string& error) {
  if (args.empty()) {
    error = "nothing to do";
    return false;
  }
  if (args[0] == "--help" || args[0] == "-h") return options.help = true;
  if (args[0] == "--version") return options.version = true;
  if (args[0] == "split")
    options.command = Command::kSplit;
  else if (args[0] == "build")
    options.command = Command::kBuild;
  else if (args[0] == "verify")
    options.command = Command::kVerify;
  else {
    error = "unknown command '" + args[0] + "'";
    return false;
  }

  const auto needValue = [&](std::size_t& i, std::string& into) {
    if (i + 1 >= args.size()) {
      error = args[i] + " needs a value";
      return false;
    }
    into = args[++i];
    return true;
  };
  const auto chooseSize = [&](Size size, std::size_t& i) {
    if (options.size != Size::kNone) {
      error = "choose one size";
      return false;
    }
    options.size = size;
    return size == Size::kDisk || needValue(i, options.sizeText);
  };

  // After "--" every word is a file, so that files named like options ("--yes") stay files.
  bool endOfOptions = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    bool ok = true;
    if (endOfOptions) options.files.push_back(a);
    else if (a == "--") endOfOptions = true;
    else if (a == "--dest") ok = needValue(i, options.destination);
    else if (a == "--disk") ok = chooseSize(Size::kDisk, i);
    else if (a == "--mb") ok = chooseSize(Size::kMb, i);
    else if (a == "--kb") ok = chooseSize(Size::kKb, i);
    else if (a == "--bytes") ok = chooseSize(Size::kBytes, i);
    else if (a == "--pieces") ok = chooseSize(Size::kPieces, i);
    else if (a == "--predefined") ok = chooseSize(Size::kPredefined, i);
    else if (a == "--zip") {
      ok = needValue(i, value);
      options.zipName = value;
    } else if (a == "--level") {
      ok = needValue(i, value);
      if (ok && (value.size() != 1 || value[0] < '0' || value[0] > '9')) {
        error = "--level takes 0 to 9";
        ok = false;
      }
      if (ok) options.level = value[0] - '0';
    } else if (a == "--password-file") {
      ok = needValue(i, value);
      std::string password;
      if (ok) ok = ReadPassword(value, password, error);
      if (ok) options.password = password;
    } else if (a == "--sfx") options.sfx = true;
    else if (a == "--yes") options.yes = true;
    else if (a == "--overwrite") options.overwrite = true;
    else if (a == "--delete-pieces") options.deletePieces = true;
    else if (a == "--unzip") options.unzip = true;
    else if (a == "--no-checksums") options.noChecksums = true;
    else if (a == "--sh") options.joinScript = true;
    else if (a.rfind("--", 0) == 0) {
      error = "unknown option '" + a + "'";
      ok = false;
    } else options.files.push_back(a);
    if (!ok) return false;
  }

  const bool split = options.command == Command::kSplit;
  const bool verify = options.command == Command::kVerify;
  const bool anyOption = !options.destination.empty() || options.size != Size::kNone || options.zipName ||
                         options.level || options.password || options.sfx || options.yes || options.overwrite ||
                         options.deletePieces || options.unzip || options.noChecksums || options.joinScript;
  if (options.files.empty()) error = split ? "no file to split" : verify ? "no piece to verify" : "no piece to build";
  else if (verify && options.files.size() > 1) error = "verify takes one piece";
  else if (verify && anyOption) error = "verify takes no options";
  else if (!split && options.files.size() > 1) error = "build takes one piece";
  else if (split && options.destination.empty()) error = "split needs --dest DIR";
  else if (split && options.size == Size::kNone) error = "split needs a size";
  else if (!split && (options.size != Size::kNone || options.zipName)) error = "build takes no size or zip options";
  else if (split && !options.zipName && (options.level || options.password || options.sfx))
    error = "--level, --password-file and --sfx go with --zip";
  else if (split && (options.overwrite || options.deletePieces || options.unzip))
    error = "--overwrite, --delete-pieces and --unzip go with build";
  else if (!split && (options.noChecksums || options.joinScript)) error = "--no-checksums and --sh go with split";
  else if (!split && options.password && !options.unzip) error = "--password-file goes with --unzip for build";
  return error.empty();
}

}  // namespace carvex::cli
