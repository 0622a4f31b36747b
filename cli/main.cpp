// carvex-cli: splits and builds from a terminal by filling the main window's controls and
// pressing its action button, so that every check, message and confirmation is the
// application's own.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "checksums.h"
#include "cli_options.h"
#include "frm_carvex.h"
#include "frm_finished.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/printable.h"
#include "platform/process.h"
#include "settings_store.h"
#include "ui/app.h"
#include "ui/console_backend.h"
#include "zip_component.h"

namespace {

using namespace carvex;

constexpr int kCompleted = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kCancelled = 130;
// The set was built (and verified, where it had checksums), but the archive it gave could not be
// unpacked: scripts can keep the built file and deal with the unpacking alone.
constexpr int kBuiltNotUnpacked = 3;

// Fills the zip dialog from the command line and presses OK, as a user would.
void AnswerZipDialog(const cli::Options& options, ui::Form& form) {
  auto& zip = static_cast<ZipFileForm&>(form);
  if (options.zipName) zip.txtZipFileName.SetText(*options.zipName);
  if (options.level) zip.sldCompression.SetValue(*options.level);
  if (options.password) {
    zip.chkUsePass.Click();
    zip.txtPassword.SetText(*options.password);
    zip.txtRePassword.SetText(*options.password);
  }
  if (options.sfx && zip.chkSFX.Value() != ui::CheckBox::kChecked) zip.chkSFX.Click();
  if (!options.sfx && zip.chkSFX.Value() == ui::CheckBox::kChecked) zip.chkSFX.Click();
  zip.cmdOK.Click();
}

void ChooseSize(CarvexForm& w, const cli::Options& options) {
  switch (options.size) {
    case cli::Size::kDisk: w.optDiskSize.Click(); break;
    case cli::Size::kMb:
      w.optSizeMb.Click();
      w.txtSizeMb.SetText(options.sizeText);
      break;
    case cli::Size::kKb:
      w.optSizeKb.Click();
      w.txtSizeKb.SetText(options.sizeText);
      break;
    case cli::Size::kBytes:
      w.optSizeb.Click();
      w.txtSizeb.SetText(options.sizeText);
      break;
    case cli::Size::kPieces:
      w.optSizePieces.Click();
      w.txtSizePieces.SetText(options.sizeText);
      break;
    case cli::Size::kPredefined: {
      w.optSizePredefined.Click();
      const auto& items = w.cboPredefined.Items();
      for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == options.sizeText) w.cboPredefined.SetListIndex(static_cast<int>(i));
      break;
    }
    case cli::Size::kNone: break;
  }
}

int Split(CarvexForm& w, const cli::Options& options, ui::ConsoleBackend& console) {
  std::vector<std::string> paths;
  for (const std::string& file : options.files) paths.push_back(platform::AbsolutePath(file));
  if (!w.AddSplitSourceFiles(paths) || console.ProblemShown() || console.QuestionDeclined()) return kRefused;
  w.optSplitUsePath.Click();
  std::string destination = platform::AbsolutePath(options.destination);
  w.AddSplitDestinationPath(destination);
  ChooseSize(w, options);
  if (options.zipName && w.chkZipFile.Value() != ui::CheckBox::kChecked) w.chkZipFile.Click();
  console.OnShowModal("frmZipFile", [&options](ui::Form& form) { AnswerZipDialog(options, form); });
  SplitPieceNumber = 0;
  SplitFullPieces = -1;
  w.cmdAction.Click();
  if (console.CancelRequested()) return kCancelled;
  const bool done = SplitInProgress && SplitPieceNumber == SplitFullPieces + 2 && !console.ProblemShown();
  if (done && !SplitNotice.empty()) std::cerr << SplitNotice << "\n";
  return done ? kCompleted : kRefused;
}

int Build(CarvexForm& w, const cli::Options& options, ui::ConsoleBackend& console) {
  w.mnuBuildMode_Click();
  w.AddBuildFile(platform::AbsolutePath(options.files.front()));
  if (options.destination.empty()) {
    w.optBuildUsePath.Click();
  } else {
    std::string destination = platform::AbsolutePath(options.destination);
    w.AddBuildDestinationPath(destination);
  }
  BuildPieceNumber = 0;
  BuildUnzipFailed = false;
  w.cmdAction.Click();
  if (console.CancelRequested()) return kCancelled;
  if (BuildUnzipFailed) return kBuiltNotUnpacked;
  const bool done = !BuildInProgress && BuildPieceNumber == BuildPieceCount + 1 && !console.ProblemShown() &&
                    platform::PathExists(BuildDestination + BuildFileName);
  return done ? kCompleted : kRefused;
}

// Checks a set against its checksum file, piece by piece, and says how each fared.
int Verify(const cli::Options& options) {
  const std::string first = platform::AbsolutePath(options.files.front());
  const std::string folder = GetFolderPart(first);
  const std::string name = BuildNameFromPiece(GetFileNamePart(first));
  if (name.empty()) {
    std::cerr << "carvex-cli: '" << platform::ForStream(2, options.files.front()) << "' is not the name of a piece.\n";
    return kRefused;
  }
  std::vector<PieceCheck> checks;
  try {
    checks = VerifySet(folder, name);
  } catch (const std::exception& e) {
    std::cerr << "carvex-cli: " << platform::ForStream(2, e.what()) << "\n";
    return kRefused;
  }
  // One line a piece, whoever reads it: a name must never make a line of its own.
  std::size_t bad = 0;
  for (const PieceCheck& check : checks) {
    const std::string shown = platform::EscapeControlCharacters(check.name);
    switch (check.state) {
      case PieceCheck::State::kMatches: std::cout << shown << ": OK\n"; break;
      case PieceCheck::State::kDiffers: std::cout << shown << ": does not match its checksum\n"; break;
      case PieceCheck::State::kMissing: std::cout << shown << ": missing\n"; break;
    }
    if (check.state != PieceCheck::State::kMatches) ++bad;
  }
  if (bad == 0) {
    std::cout << "All " << checks.size() << " pieces match "
              << platform::EscapeControlCharacters(ChecksumFileName(name)) << ".\n";
    return kCompleted;
  }
  std::cout << bad << " of " << checks.size() << " pieces are missing or do not match "
            << platform::EscapeControlCharacters(ChecksumFileName(name)) << ".\n";
  return kRefused;
}

int Run(const cli::Options& options, ui::ConsoleBackend& console) {
  // The help promises that the settings file is only read: no file made on a first run,
  // nothing written back.
  SettingsReadOnly = true;
  CarvexForm& w = *frmCarvex;
  // This run's switches on top of the user's settings.
  ShowFinish = kFalse;
  if (options.overwrite) DelExists = kTrue;
  if (options.deletePieces) DeleteBuildFiles = kTrue;
  if (options.unzip) BuildAutoUnzip = kTrue;
  if (options.command == cli::Command::kBuild && options.password) Zip().SetPassword(*options.password);
  // Ctrl-C stops a zip or an unzip between two chunks as it stops a split between two pieces.
  Zip().SetCancelCheck([&console] { return console.CancelRequested(); });
  if (options.noChecksums) WriteChecksums = kFalse;
  if (options.joinScript) WriteJoinScript = kTrue;
  if (console.ProblemShown()) return kRefused;
  return options.command == cli::Command::kSplit ? Split(w, options, console) : Build(w, options, console);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace carvex;
  int status = kRefused;
  // Out here so that it outlives an error that ends the run: the forms still point at it.
  std::optional<ui::ConsoleBackend> console;
  // Whatever escapes the application's own error traps is still a refusal with a reason, not an
  // abort: a terminal user and a script both get the description and exit status 1.
  try {
    cli::Options options;
    std::string error;
    // On Windows argv holds the ANSI code page's form of each argument, which cannot name every file.
    if (!cli::Parse(platform::ProgramArguments(argc, argv), options, error)) {
      std::cerr << "carvex-cli: " << platform::ForStream(2, error) << "\n" << cli::kUsage;
      return kUsage;
    }
    if (options.help) {
      std::cout << cli::kUsage;
      return kCompleted;
    }
    if (options.version) {
      std::cout << "Carvex " << kVersionText << "\n";
      return kCompleted;
    }
    // Reads and hashes files only: no window, no settings, no scratch folder.
    if (options.command == cli::Command::kVerify) {
      status = Verify(options);
      std::fflush(nullptr);
      return status;
    }
    console.emplace(ui::ConsoleBackend::Options{.answerYes = options.yes, .terminal = {}});
    ui::App().SetBackend(&*console);
    status = Run(options, *console);
  } catch (const std::exception& e) {
    std::cerr << "carvex-cli: " << platform::ForStream(2, e.what()) << "\n";
  } catch (...) {
    std::cerr << "carvex-cli: the run ended on an error of unknown kind.\n";
  }
  try {
    platform::RemoveFilesIn(ZipTempFolder());
  } catch (...) {
  }
  std::fflush(nullptr);
  // Straight out, past the window's unload steps: they are the window's way out, not this one's.
  std::_Exit(status);
}
