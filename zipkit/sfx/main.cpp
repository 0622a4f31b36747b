// The self-extracting program: a stub that Convert puts in front of an archive. It finds the
// archive appended to itself and unpacks it into a folder the user confirms, asking before it
// replaces a file and for the password of encrypted files. Questions go to standard output and
// answers come from standard input, so the program can be driven through pipes; the options
// answer them in advance.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/printable.h"
#include "platform/zipio.h"
#include "zipkit/errors.h"
#include "zipkit/extract.h"
#include "zipkit/self_extractor.h"

namespace carvex::sfx {

namespace {

// A name from the archive as the terminal may show it: its control characters as escapes, so
// that no entry name can drive the terminal.
std::string Shown(const std::string& name) { return platform::ForStream(1, name); }

using zipkit::ExistingFile;

constexpr char kUsage[] =
    "Extracts the archive held in this program.\n"
    "\n"
    "Options:\n"
    "  -d FOLDER    extract into FOLDER (created when missing) without asking\n"
    "  -y           extract into the program's own folder without asking\n"
    "  -o           replace existing files without asking\n"
    "  -n           never replace existing files\n"
    "  -p PASSWORD  password for encrypted files\n"
    "  -t           test the archive, writing nothing\n"
    "  -l           list the files in the archive\n"
    "  -h, --help   show this text\n"
    "\n"
    "Without -d or -y the program asks for the folder; without -o or -n it asks before it\n"
    "replaces a file; it asks for a password that is missing or wrong. Answers are read from\n"
    "standard input, one a line.\n"
    "Exit status: 0 done, 1 failed or cancelled, 2 unknown option.\n";

struct Options {
  std::optional<std::string> folder;
  bool ownFolder = false;
  std::optional<ExistingFile> existing;
  std::optional<std::string> password;
  bool test = false;
  bool list = false;
  bool help = false;
};

// nullopt, with `error` set, for an unknown option or a missing value.
std::optional<Options> ParseArguments(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 < arguments.size()) return arguments[++i];
      error = "The option " + argument + " needs a value.";
      return std::nullopt;
    };
    if (argument == "-d") {
      options.folder = value();
      if (!options.folder) return std::nullopt;
    } else if (argument == "-p") {
      options.password = value();
      if (!options.password) return std::nullopt;
    } else if (argument == "-y") {
      options.ownFolder = true;
    } else if (argument == "-o") {
      options.existing = ExistingFile::kReplace;
    } else if (argument == "-n") {
      options.existing = ExistingFile::kSkip;
    } else if (argument == "-t") {
      options.test = true;
    } else if (argument == "-l") {
      options.list = true;
    } else if (argument == "-h" || argument == "--help" || argument == "/?") {
      options.help = true;
    } else {
      error = "Unknown option: " + argument;
      return std::nullopt;
    }
  }
  return options;
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  // A path pasted from a file manager often comes in quotes.
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

// The folder to unpack into, or nullopt when the user ends the input instead of answering.
std::optional<std::string> ChooseFolder(const Options& options, std::size_t fileCount) {
  if (options.folder) return *options.folder;
  const std::string own = platform::AppPath();
  if (options.ownFolder) return own;
  Print("Extract " + std::to_string(fileCount) + " file(s) into the folder\n  " + own +
        "\nPress Enter to accept, or type another folder: ");
  const std::optional<std::string> answer = ReadLine(false);
  if (!answer) return std::nullopt;
  const std::string folder = Trimmed(*answer);
  return folder.empty() ? own : folder;
}

// Asks before each replacement until the user answers for all remaining files. The end of
// input counts as "no": nothing is replaced without an answer.
class ReplaceQuestion {
 public:
  ExistingFile operator()(const std::string& path) {
    if (forAll_) return *forAll_;
    for (;;) {
      Print("The file " + Shown(path) + " exists already.\nReplace it? [Y]es, [N]o, [A]ll, N[e]ver: ");
      const std::optional<std::string> answer = ReadLine(false);
      if (!answer) {
        Print("\n");
        return ExistingFile::kSkip;
      }
      const std::string choice = Lower(Trimmed(*answer));
      if (choice == "y" || choice == "yes") return ExistingFile::kReplace;
      if (choice == "n" || choice == "no") return ExistingFile::kSkip;
      if (choice == "a" || choice == "all") return *(forAll_ = ExistingFile::kReplace);
      if (choice == "e" || choice == "never") return *(forAll_ = ExistingFile::kSkip);
    }
  }

 private:
  std::optional<ExistingFile> forAll_;
};

std::optional<std::string> AskPassword(const std::string& entryName) {
  Print("Password for " + Shown(entryName) + ": ");
  return ReadLine(true);
}

int Unpack(const std::string& program, const Options& options, const zipkit::SfxSettings& settings,
           std::size_t fileCount) {
  zipkit::ExtractOptions extract;
  extract.password = options.password.value_or("");
  extract.askPassword = AskPassword;
  extract.progress = [&](int kind, const std::string& text, std::int64_t) {
    if (kind == zipkit::kFileBegins) Print((options.test ? "  testing: " : "  extracting: ") + Shown(text) + "\n");
  };
  if (options.test) {
    zipkit::TestArchive(program, extract);
    Print("No errors found in " + std::to_string(fileCount) + " file(s).\n");
    return 0;
  }

  const std::optional<std::string> folder = ChooseFolder(options, fileCount);
  if (!folder) {
    Print("\nCancelled: nothing was extracted.\n");
    return 1;
  }
  extract.folder = *folder;
  const ExistingFile fromSettings = settings.overwriteMode == "OvrAlways"  ? ExistingFile::kReplace
                                    : settings.overwriteMode == "OvrNever" ? ExistingFile::kSkip
                                                                           : ExistingFile::kKeepBoth;
  if (options.existing || fromSettings != ExistingFile::kKeepBoth) {
    const ExistingFile fixed = options.existing.value_or(fromSettings);
    extract.onExisting = [fixed](const std::string&) { return fixed; };
  } else {
    extract.onExisting = ReplaceQuestion();
  }
  const zipkit::ExtractResult result = zipkit::ExtractArchive(program, extract);
  std::string summary = std::to_string(result.filesWritten) + " file(s) extracted into " + Shown(*folder);
  if (result.filesSkipped > 0) summary += ", " + std::to_string(result.filesSkipped) + " kept as they were";
  Print(summary + ".\n");
  if (!result.skippedLinks.empty()) {
    Print("These symbolic links were not unpacked:\n");
    for (const std::string& link : result.skippedLinks) Print("  " + Shown(link) + "\n");
  }
  if (!result.renamed.empty()) {
    Print("These names are kept for devices or cannot be held here as they are; they were unpacked as:\n");
    for (const auto& [entry, local] : result.renamed) Print("  " + Shown(entry) + "  ->  " + Shown(local) + "\n");
  }
  return 0;
}

int Run(const std::vector<std::string>& arguments) {
  std::string program;
  zipkit::SfxSettings settings;
  std::vector<zipkit::EntryInfo> entries;
  std::optional<platform::RuntimeError> unreadable;
  try {
    program = platform::ExecutablePath();
    settings = zipkit::ReadSfxSettings(program);
    entries = zipkit::ListArchive(program);
  } catch (const platform::RuntimeError& error) {
    unreadable = error;
  }
  SetConsoleCaption(platform::EscapeControlCharacters(settings.caption));
  Print(Shown(settings.caption) + "\n");

  std::string error;
  const std::optional<Options> options = ParseArguments(arguments, error);
  if (!options) {
    PrintError(error + "\n\n" + kUsage);
    return 2;
  }
  if (options->help) {
    Print(kUsage);
    return 0;
  }
  if (unreadable) {
    // An archive refused for what it holds (overlapping entries, say) is there, only unsafe.
    if (unreadable->Number() == static_cast<long>(zipkit::ZipError::kNotAnArchive))
      PrintError("This program holds no archive to extract.\n" + platform::ForStream(2, unreadable->Description()) + "\n");
    else
      PrintError("Error: " + platform::ForStream(2, unreadable->Description()) + "\n");
    return 1;
  }
  if (options->list) {
    for (const zipkit::EntryInfo& entry : entries)
      Print(std::to_string(entry.size) + "  " + Shown(entry.name) + (entry.encrypted ? "  (encrypted)" : "") + "\n");
    return 0;
  }
  const auto fileCount = static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [](const zipkit::EntryInfo& e) { return !e.isFolder; }));
  try {
    return Unpack(program, *options, settings, fileCount);
  } catch (const platform::RuntimeError& failure) {
    PrintError("Error: " + platform::ForStream(2, failure.Description()) + "\n");
    return 1;
  }
}

}  // namespace

}  // namespace carvex::sfx

int main(int argc, char** argv) {
  const int status = carvex::sfx::Run(carvex::sfx::Arguments(argc, argv));
  carvex::sfx::HoldConsoleWindow();
  return status;
}
