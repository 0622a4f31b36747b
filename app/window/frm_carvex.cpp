#include "frm_carvex.h"

#include <algorithm>
#include <utility>
#include <unordered_set>

#include "frm_finished.h"
#include "frm_options.h"
#include "frm_zip_file.h"
#include "handoff.h"
#include "joiner.h"
#include "long_file_names.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/volumes.h"
#include "progress_status.h"
#include "settings_store.h"
#include "split_input.h"
#include "splitter.h"
#include "ui/app.h"
#include "zip_component.h"

namespace carvex {

namespace {

using ui::MsgBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

constexpr char kSep = platform::kPathSeparator;
constexpr long kCancelError = 32755;

const char* const kPredefinedSizes[] = {"100 Kb", "360 Kb",  "500 Kb",  "720 Kb", "1.2 Mb", "1.38 Mb", "1.44 Mb",
                                        "1.68 Mb", "1.72 Mb", "100 Mb", "650 Mb", "700 Mb", "1 Gb"};

// The split list's images only ever grow: every entry gets an image of its own.
std::int64_t SplitImageCount = 0;

void EndWithSeparator(std::string& path) {
  if (path.empty() || path.back() != kSep) path += kSep;
}

bool Exists(const std::string& path) { return !path.empty() && platform::PathExists(path); }

std::string FloppyDrive() {
  std::string root = platform::FloppyDriveRoot();
  if (root.size() > 1 && root.back() == kSep) root.pop_back();
  return root;
}

// Paths of the entries whose file is gone, each followed by a line break.
std::string MissingFiles(const ui::ListView& list) {
  std::string missing;
  for (std::size_t i = 1; i <= list.Count(); ++i)
    if (!Exists(ListedPath(list, i))) missing += ListedPath(list, i) + LineBreak;
  return missing;
}

void Warn(const std::string& text) { MsgBox(text, MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation); }

std::vector<std::string> SplitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t nul = text.find('\0', from);
    const std::size_t end = nul == std::string::npos ? text.size() : nul;
    if (end > from) parts.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return parts;
}

// The number of a run-time error; 0 for a failure that carries none (out of memory, say).
long ErrorNumber(const std::exception& e) {
  const auto* runtime = dynamic_cast<const platform::RuntimeError*>(&e);
  return runtime ? runtime->Number() : 0;
}

void ShowAddBuildFileError(const std::exception& e) {
  MsgBox(SignedText(ErrorNumber(e)) + "There was an error adding the chosen file to the list." + LineBreak + LineBreak +
             e.what(),
         MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
}

void DeleteScratchFiles() {
  try {
    platform::RemoveFilesIn(ZipTempFolder());
  } catch (const std::exception&) {
    // Leaving never fails: what cannot be deleted now stays for the next run.
  }
}

}  // namespace

std::string WithAbsolutePath(const std::string& line) {
  if (line.size() < 4 || line[0] != '/' || line[2] != ' ') return line;
  std::string path = line.substr(3);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  if (path.empty() || path == "*") return line;
  return line.substr(0, 3) + "\"" + platform::AbsolutePath(path) + "\"";
}

std::string ListedPath(const ui::ListView& list, std::size_t index) {
  const auto& sub = list.Item(index).subItems;
  return sub.size() >= 2 ? sub[1] : std::string();
}

CarvexForm::CarvexForm() : Form("frmCarvex") {
  LayOut();
  WireEvents();
}

void CarvexForm::LayOut() {
  SetCaption("Carvex");
  SetClientSize(7800, 6015);
  // The menu bar takes a line of its own above the client area.
  Move(0, 0, Geometry().width, Geometry().height + kMenuBarHeight);

  tbsTabs.AddTab("Split Mode", "Click to view Split Mode");
  tbsTabs.AddTab("Build Mode", "Click to view Build Mode");
  tbsTabs.Move(120, 120, 7560, 5280);
  imlTabIcons.Add(1, {ui::Picture::Source::kResource, "split"});
  imlTabIcons.Add(2, {ui::Picture::Source::kResource, "build"});
  imlBuildIcon.Add(1, {ui::Picture::Source::kResource, "piece"});
  pixSmall.SetVisible(false);

  fraSplitMode.Move(240, 480, 7320, 4830);
  fraSplitSourceDestination.SetCaption("Source and Destination");
  fraSplitSourceDestination.Move(0, 0, 7320, 2940);
  lblSplitChooseSource.SetCaption("Choose the file(s) you want to split:");
  lblSplitChooseSource.Move(120, 240, 5415, 240);
  lvwSplitFileNames.AddColumn("File Name", 2055);
  lvwSplitFileNames.AddColumn("File Size", 1035);
  lvwSplitFileNames.AddColumn("File Path", 2895);
  lvwSplitFileNames.SmallIcons = &imlSplitFiles;
  lvwSplitFileNames.MultiSelect = true;
  lvwSplitFileNames.SetToolTipText("Click [Add Files] to add files to this list");
  lvwSplitFileNames.Move(120, 480, 5535, 1335);
  const struct {
    ui::CommandButton& button;
    const char* caption;
    const char* tip;
  } listButtons[] = {
      {cmdSplitAddFiles, "&Add Files", "Add files to the list for splitting"},
      {cmdSplitRemoveFiles, "&Remove Files", "Remove files from the list"},
      {cmdSplitPreviewFiles, "&Preview Files", "Preview (Open) files before splitting"},
      {cmdClearList, "&Clear List", "Clear the list"},
  };
  int top = 480;
  for (const auto& b : listButtons) {
    b.button.SetCaption(b.caption);
    b.button.SetToolTipText(b.tip);
    b.button.Move(5775, top, 1425, 315);
    top += 345;
  }
  lblSplitChooseDestination.SetCaption("Choose the folder you want to split the file(s) into:");
  lblSplitChooseDestination.Move(120, 1935, 5415, 255);
  optSplitUsePath.SetToolTipText("Use a folder as the destination for the split files");
  optSplitUsePath.Move(120, 2235, 255, 255);
  picSplitFolder.Move(405, 2235, 240, 240);
  txtSplitDestination.SetToolTipText("Click [...] to view a list of folders");
  txtSplitDestination.Move(705, 2205, 4470, 315);
  cmdSplitBrowseDestination.SetCaption("...");
  cmdSplitBrowseDestination.SetToolTipText("Click to browse for destination folder");
  cmdSplitBrowseDestination.Move(5235, 2205, 420, 315);
  optSplitUseADrive.SetCaption("Use Drive [A] as Destination");
  optSplitUseADrive.SetToolTipText("Use A (floppy) drive as the destination path for the split files");
  optSplitUseADrive.Move(120, 2595, 2895, 255);
  optSplitUseDrive.SetCaption("Use Drive:");
  optSplitUseDrive.SetToolTipText("Use a drive as the destination folder for the split files");
  optSplitUseDrive.Move(3135, 2595, 1095, 255);
  drvSplitDestDrives.SetToolTipText("Click the arrow to see a list of drives");
  drvSplitDestDrives.Move(4290, 2565, 2910, 315);

  fraSplittingOptions.SetCaption("Splitting Options");
  fraSplittingOptions.Move(0, 3030, 7320, 1800);
  lblChooseSplit.SetCaption("Choose how you would like to split up the file(s):");
  lblChooseSplit.Move(120, 240, 5415, 255);
  const struct {
    ui::OptionButton& option;
    ui::TextBox* box;
    ui::VScrollBar* spin;
    const char* caption;
    const char* tip;
    int left, top;
  } sizes[] = {
      {optSizeMb, &txtSizeMb, &vscSizeMb, "Size in Mb:", "Split the file using a specific amount of Megabytes", 120,
       555},
      {optSizeKb, &txtSizeKb, &vscSizeKb, "Size in Kb:", "Split the file using a specific amount of Kilobytes", 2520,
       555},
      {optSizeb, &txtSizeb, &vscSizeb, "Size in b:", "Split the file using a specific amount of bytes", 4920, 555},
      {optDiskSize, nullptr, nullptr, "Disk Size (1.44 Mb)", "Split the file into 1.44 Megabyte or disk size pieces",
       120, 975},
      {optSizePieces, &txtSizePieces, &vscSizePieces, "Pieces:", "Split the file into a number of pieces", 2520, 975},
      {optSizePredefined, nullptr, nullptr, "Predefined:",
       "Split the file into pieces of a predefined size from the list", 4920, 975},
  };
  for (const auto& s : sizes) {
    s.option.SetCaption(s.caption);
    s.option.SetToolTipText(s.tip);
    s.option.Move(s.left, s.top, s.box ? 1140 : 2280, 255);
    if (s.box) {
      s.box->Move(s.left + 1140, s.top - 30, 810, 315);
      s.spin->Move(s.left + 1950, s.top - 30, 255, 315);
    }
  }
  optSizePredefined.Move(4920, 975, 1140, 255);
  cboPredefined.SetToolTipText("Click on the arrow to see a list of predefined sizes");
  cboPredefined.Move(6060, 945, 1140, 315);
  for (const char* size : kPredefinedSizes) cboPredefined.AddItem(size);
  for (ui::VScrollBar* spin : {&vscSizeMb, &vscSizeKb, &vscSizeb}) {
    spin->SetRange(1, 1024);
    spin->SetValue(1);
  }
  for (ui::TextBox* box : {&txtSizeMb, &txtSizeKb, &txtSizeb}) box->SetText("1");
  vscSizePieces.SetRange(2, 999);
  vscSizePieces.SetValue(2);
  txtSizePieces.SetText("2");
  chkZipFile.SetCaption("Zip the chosen file(s) before splitting");
  chkZipFile.SetToolTipText("Zip the files before splitting them");
  chkZipFile.Move(120, 1395, 4215, 255);

  fraBuildMode.Move(240, 480, 7320, 4830);
  fraBuildMode.SetVisible(false);
  fraBuildSourceDestination.SetCaption("Choose Source and Destination");
  fraBuildSourceDestination.Move(0, 0, 7320, 4830);
  lblChooseBuildSource.SetCaption("Choose the files you want to split:");
  lblChooseBuildSource.Move(120, 240, 5415, 240);
  lvwBuildFileNames.AddColumn("File Name", 2055);
  lvwBuildFileNames.AddColumn("File Size", 1035);
  lvwBuildFileNames.AddColumn("File Path", 2895);
  lvwBuildFileNames.SmallIcons = &imlBuildIcon;
  lvwBuildFileNames.SetToolTipText("The split files chosen to be built");
  lvwBuildFileNames.Move(120, 480, 5535, 3000);
  cmdAddBuildFile.SetCaption("&Add File");
  cmdAddBuildFile.SetToolTipText("Click to add a file to build");
  cmdAddBuildFile.Move(5775, 480, 1425, 315);
  lblChooseBuildDestination.SetCaption("Choose the place you want to put your split files:");
  lblChooseBuildDestination.Move(120, 3600, 5415, 255);
  optBuildUsePath.SetToolTipText("Use the a path for the destination");
  optBuildUsePath.Move(120, 3900, 255, 255);
  picBuildFolder.Move(405, 3900, 240, 240);
  txtBuildDestination.SetToolTipText("Click the [...] button to choose a destination");
  txtBuildDestination.Move(705, 3870, 4470, 315);
  cmdBuildBrowseDestination.SetCaption("...");
  cmdBuildBrowseDestination.SetToolTipText("Click to choose the destination folder");
  cmdBuildBrowseDestination.Move(5235, 3870, 420, 315);
  optBuildUseADrive.SetCaption("Place built file into drive A");
  optBuildUseADrive.SetToolTipText("Use the A (floppy) drive as the destination");
  optBuildUseADrive.Move(120, 4260, 2895, 255);
  optBuildUseDrive.SetCaption("Use Drive:");
  optBuildUseDrive.SetToolTipText("Use a drive as the destination folder for the built file");
  optBuildUseDrive.Move(3135, 4260, 1095, 255);
  drvBuildDestDrives.SetToolTipText("Click the arrow to see a list of drives");
  drvBuildDestDrives.Move(4290, 4230, 2910, 315);

  const std::vector<std::string> drives = platform::ListDrives();
  for (ui::DriveListBox* list : {&drvSplitDestDrives, &drvBuildDestDrives}) {
    list->SetItems(drives);
    if (!drives.empty()) list->SetDrive(drives.front() == "a:" && drives.size() > 1 ? drives[1] : drives.front());
  }

  cmdAction.SetCaption("&Split File");
  cmdAction.SetToolTipText("Split the chosen file or files");
  cmdAction.IsDefault = true;
  cmdAction.Move(4440, 5520, 1575, 375);
  cmdExit.SetCaption("E&xit Carvex");
  cmdExit.SetToolTipText("Exit Carvex");
  cmdExit.Move(6105, 5520, 1575, 375);

  // What a screen reader calls the controls whose caption is empty or says nothing ("...").
  const std::pair<ui::Control*, const char*> names[] = {
      {&tbsTabs, "Mode"},
      {&pixSmall, "Carvex"},
      {&fraSplitMode, "Split mode"},
      {&lvwSplitFileNames, "Files to split"},
      {&optSplitUsePath, "Use a destination folder"},
      {&txtSplitDestination, "Destination folder"},
      {&cmdSplitBrowseDestination, "Browse for the destination folder"},
      {&picSplitFolder, "Folder"},
      {&drvSplitDestDrives, "Destination drive"},
      {&txtSizeMb, "Size in Mb"},
      {&vscSizeMb, "Change the size in Mb"},
      {&txtSizeKb, "Size in Kb"},
      {&vscSizeKb, "Change the size in Kb"},
      {&txtSizeb, "Size in bytes"},
      {&vscSizeb, "Change the size in bytes"},
      {&txtSizePieces, "Number of pieces"},
      {&vscSizePieces, "Change the number of pieces"},
      {&cboPredefined, "Predefined size"},
      {&fraBuildMode, "Build mode"},
      {&lvwBuildFileNames, "Pieces to build"},
      {&optBuildUsePath, "Use a destination folder"},
      {&txtBuildDestination, "Destination folder"},
      {&cmdBuildBrowseDestination, "Browse for the destination folder"},
      {&picBuildFolder, "Folder"},
      {&drvBuildDestDrives, "Destination drive"},
  };
  for (const auto& [control, name] : names) control->SetAccessibleName(name);

  const struct {
    ui::Menu& menu;
    const char* caption;
  } menus[] = {
      {mnuFile, "&File"},           {mnuAddFile, "&Add File"},       {mnuPreviewFile, "&Preview File"},
      {mnuRemoveFile, "&Remove File"}, {mnuClearList, "&Clear List"}, {mnuSeparator1, "-"},
      {mnuExit, "E&xit"},           {mnuMode, "&Mode"},              {mnuSplitMode, "&Split Mode"},
      {mnuBuildMode, "&Build Mode"}, {mnuActions, "&Actions"},       {mnuSplitFile, "&Split File"},
      {mnuBuildFile, "&Build File"}, {mnuTools, "&Tools"},           {mnuOptions, "&Options"},
      {mnuHelp, "&Help"},           {mnuContents, "Help &Contents"}, {mnuWebsite, "Goto &Website"},
      {mnuSeparator2, "-"},         {mnuAbout, "&About"},
  };
  for (const auto& m : menus) m.menu.SetCaption(m.caption);
}

void CarvexForm::WireEvents() {
  tbsTabs.OnClick = [this] { tbsTabs_Click(); };
  cmdAction.OnClick = [this] { cmdAction_Click(); };
  cmdExit.OnClick = [this] { cmdExit_Click(); };
  cmdSplitAddFiles.OnClick = [this] { cmdSplitAddFiles_Click(); };
  cmdSplitRemoveFiles.OnClick = [this] { cmdSplitRemoveFiles_Click(); };
  cmdSplitPreviewFiles.OnClick = [this] { cmdSplitPreviewFiles_Click(); };
  lvwSplitFileNames.OnDblClick = [this] { cmdSplitPreviewFiles_Click(); };
  cmdClearList.OnClick = [this] { cmdClearList_Click(); };
  chkZipFile.LostFocus = [this] { chkZipFile_LostFocus(); };
  cmdAddBuildFile.OnClick = [this] { cmdAddBuildFile_Click(); };
  lvwSplitFileNames.OnDropFiles = [this](const auto& paths) { lvwSplitFileNames_DropFiles(paths); };
  lvwBuildFileNames.OnDropFiles = [this](const auto& paths) { lvwBuildFileNames_DropFiles(paths); };
  cmdSplitBrowseDestination.OnClick = [this] { cmdSplitBrowseDestination_Click(); };
  cmdBuildBrowseDestination.OnClick = [this] { cmdBuildBrowseDestination_Click(); };

  optSizeMb.OnClick = [this] { SelectSizeOption(optSizeMb, &txtSizeMb, &vscSizeMb); };
  optSizeKb.OnClick = [this] { SelectSizeOption(optSizeKb, &txtSizeKb, &vscSizeKb); };
  optSizeb.OnClick = [this] { SelectSizeOption(optSizeb, &txtSizeb, &vscSizeb); };
  optSizePieces.OnClick = [this] { SelectSizeOption(optSizePieces, &txtSizePieces, &vscSizePieces); };
  optSizePredefined.OnClick = [this] { SelectSizeOption(optSizePredefined, &cboPredefined, nullptr); };
  optDiskSize.OnClick = [this] { SelectSizeOption(optDiskSize, nullptr, nullptr); };
  vscSizeMb.OnChange = [this] { txtSizeMb.SetText(std::to_string(vscSizeMb.Value())); };
  vscSizeKb.OnChange = [this] { txtSizeKb.SetText(std::to_string(vscSizeKb.Value())); };
  vscSizeb.OnChange = [this] { txtSizeb.SetText(std::to_string(vscSizeb.Value())); };
  vscSizePieces.OnChange = [this] { txtSizePieces.SetText(std::to_string(vscSizePieces.Value())); };

  optSplitUsePath.OnClick = [this] {
    DisableSplitDestinationOptions();
    txtSplitDestination.SetEnabled(true);
    cmdSplitBrowseDestination.SetEnabled(true);
  };
  optSplitUseADrive.OnClick = [this] { DisableSplitDestinationOptions(); };
  optSplitUseDrive.OnClick = [this] {
    DisableSplitDestinationOptions();
    drvSplitDestDrives.SetEnabled(true);
  };
  optBuildUsePath.OnClick = [this] {
    DisableBuildDestinationOptions();
    txtBuildDestination.SetEnabled(true);
    cmdBuildBrowseDestination.SetEnabled(true);
  };
  optBuildUseADrive.OnClick = [this] { DisableBuildDestinationOptions(); };
  optBuildUseDrive.OnClick = [this] {
    DisableBuildDestinationOptions();
    drvBuildDestDrives.SetEnabled(true);
  };

  mnuAddFile.OnClick = [this] { mnuAddFile_Click(); };
  mnuPreviewFile.OnClick = [this] { cmdSplitPreviewFiles_Click(); };
  mnuRemoveFile.OnClick = [this] { cmdSplitRemoveFiles_Click(); };
  mnuClearList.OnClick = [this] { cmdClearList_Click(); };
  mnuExit.OnClick = [this] { cmdExit_Click(); };
  mnuSplitMode.OnClick = [this] { mnuSplitMode_Click(); };
  mnuBuildMode.OnClick = [this] { mnuBuildMode_Click(); };
  mnuSplitFile.OnClick = [this] { cmdAction_Click(); };
  mnuBuildFile.OnClick = [this] { cmdAction_Click(); };
  mnuOptions.OnClick = [this] { mnuOptions_Click(); };
  mnuContents.OnClick = [this] { mnuContents_Click(); };
  mnuWebsite.OnClick = [this] { mnuWebsite_Click(); };
  mnuAbout.OnClick = [this] { mnuAbout_Click(); };
}

// ---- Start-up and the way out ----

void CarvexForm::Form_Load() {
  ui::App().MainForm = this;
  ShowFinishedDialog = ShowFinishedForm;
  CloseFinishedDialog = [] { frmFinished.Unload(); };
  try {
    tbsTabs_Click();
    optSplitUsePath.SetValue(true);
    optDiskSize.SetValue(true);
    cboPredefined.SetListIndex(0);
    optBuildUsePath.SetValue(true);
    LoadSettings();
    ProcessCommandLine();
  } catch (const std::exception& e) {
    MsgBox("There was an error loading Carvex." + LineBreak + LineBreak + e.what(), MsgBoxButtons::kOkOnly,
           MsgBoxIcon::kCritical);
  }
}

void CarvexForm::ProcessCommandLine() {
  const std::string& line = CommandLine;
  const std::string head = line.substr(0, 6);
  const std::string handOffSplit = "/s \"*\"";
  const std::string handOffZip = "/z \"*\"";
  if (head == handOffSplit || head == handOffZip) {
    std::string lastFolder;
    for (std::string path : ReadHandOffList()) {
      AddSplitSourceFile(path);
      lastFolder = GetFolderPart(path);
    }
    std::string destination = UseOutput != 0 ? OutDestination : lastFolder;
    AddSplitDestinationPath(destination);
    if (UseOutput != 0) OutDestination = destination;
    if (head == handOffZip) ZipAtStartUp(GetParentFolderName(lastFolder), true);
    return;
  }
  const std::string two = line.substr(0, 2);
  if (two == "/s" || two == "/z") {
    // "/s" + blank + the path in double quotes.
    std::string path = line.size() > 5 ? line.substr(4, line.size() - 5) : std::string();
    AddSplitSourceFile(path);
    std::string destination = UseOutput != 0 ? OutDestination : GetFolderPart(path);
    AddSplitDestinationPath(destination);
    if (UseOutput != 0) OutDestination = destination;
    if (two == "/z") ZipAtStartUp(GetFileNamePart(path), false);
    return;
  }
  if (two == "/b") {
    std::string path = line.size() > 3 ? line.substr(3) : std::string();
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    path = modLongFileNames::GetLongFileName(path);
    mnuBuildMode_Click();
    AddBuildFile(path);
    std::string destination = UseOutput != 0 ? OutDestination : GetFolderPart(path);
    AddBuildDestinationPath(destination);
    if (UseOutput != 0) OutDestination = destination;
  }
}

void CarvexForm::EndProgramCleanly() {
  DeleteScratchFiles();
  try {
    SaveSettings();
  } catch (const std::exception&) {
  }
  ui::EndProgram();
}

void CarvexForm::Form_Unload(bool& /*cancel*/) { EndProgramCleanly(); }

void CarvexForm::cmdExit_Click() {
  try {
    SaveSettings();
  } catch (const std::exception&) {
  }
  DeleteScratchFiles();
  ui::EndProgram();
}

// ---- Modes, size controls and menus ----

void CarvexForm::HideAllFrames() {
  fraSplitMode.SetVisible(false);
  fraBuildMode.SetVisible(false);
}

void CarvexForm::DisableAllMenu() {
  mnuPreviewFile.SetVisible(false);
  mnuRemoveFile.SetVisible(false);
  mnuClearList.SetVisible(false);
}

void CarvexForm::DisableSplitOptions() {
  for (ui::Control* c : std::initializer_list<ui::Control*>{&txtSizeMb, &txtSizeKb, &txtSizeb, &txtSizePieces,
                                                            &vscSizeMb, &vscSizeKb, &vscSizeb, &vscSizePieces,
                                                            &cboPredefined})
    c->SetEnabled(false);
}

void CarvexForm::DisableSplitDestinationOptions() {
  txtSplitDestination.SetEnabled(false);
  cmdSplitBrowseDestination.SetEnabled(false);
  drvSplitDestDrives.SetEnabled(false);
}

void CarvexForm::DisableBuildDestinationOptions() {
  txtBuildDestination.SetEnabled(false);
  cmdBuildBrowseDestination.SetEnabled(false);
  drvBuildDestDrives.SetEnabled(false);
}

void CarvexForm::SelectSizeOption(ui::OptionButton& /*option*/, ui::Control* box, ui::VScrollBar* spin) {
  DisableSplitOptions();
  if (box) box->SetEnabled(true);
  if (spin) spin->SetEnabled(true);
}

void CarvexForm::tbsTabs_Click() {
  HideAllFrames();
  DisableAllMenu();
  const bool split = tbsTabs.SelectedIndex() == 1;
  if (!split && tbsTabs.SelectedIndex() != 2) return;
  (split ? fraSplitMode : fraBuildMode).SetVisible(true);
  CurrentMode = split ? 1 : 2;
  SetCaption(split ? "Carvex - Split Mode" : "Carvex - Build Mode");
  cmdAction.SetCaption(split ? "&Split File" : "&Build Files");
  for (ui::Menu* m : {&mnuPreviewFile, &mnuRemoveFile, &mnuClearList, &mnuSplitFile}) m->SetVisible(split);
  mnuBuildFile.SetVisible(!split);
  mnuSplitMode.SetChecked(split);
  mnuBuildMode.SetChecked(!split);
}

void CarvexForm::mnuSplitMode_Click() {
  if (tbsTabs.SelectedIndex() == 1)
    tbsTabs_Click();
  else
    tbsTabs.Select(1);
}

void CarvexForm::mnuBuildMode_Click() {
  if (tbsTabs.SelectedIndex() == 2)
    tbsTabs_Click();
  else
    tbsTabs.Select(2);
}

void CarvexForm::mnuAddFile_Click() {
  if (CurrentMode == 1) cmdSplitAddFiles_Click();
  if (CurrentMode == 2) cmdAddBuildFile_Click();
}

void CarvexForm::mnuOptions_Click() {
  CenterForm(*frmOptions);
  frmOptions->Show();
}

void CarvexForm::mnuContents_Click() { ui::ShellOpen(platform::AppPath() + kSep + "Contents.htm", this); }

void CarvexForm::mnuWebsite_Click() { ui::ShellOpen(kWebsiteAddress, this); }

void CarvexForm::mnuAbout_Click() {
  CenterForm(*frmAbout);
  frmAbout->Show();
}

void CarvexForm::cmdSplitBrowseDestination_Click() {
  try {
    std::string folder = ui::BrowseForFolder(this, "Choose Destination");
    if (!folder.empty()) AddSplitDestinationPath(folder);
  } catch (const std::exception& e) {
    MsgBox("Could not receive path name. " + LineBreak + LineBreak + e.what());
  }
}

void CarvexForm::cmdBuildBrowseDestination_Click() {
  try {
    std::string folder = ui::BrowseForFolder(this, "Choose Destination");
    if (!folder.empty()) AddBuildDestinationPath(folder);
  } catch (const std::exception& e) {
    MsgBox("There was an error when attempting to use this destinaiton." + LineBreak + LineBreak + e.what());
  }
}

// ---- The split list ----

std::string CarvexForm::GetFiles(const std::string& sTitle) {
  CD.CancelError = true;
  CD.Filter =
      "All Files (*.*)|*.*|Text Files (*.txt)|*.*.txt|INI Files (*.ini)|*.ini|Images (*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif";
  CD.FilterIndex = 1;
  CD.DialogTitle = sTitle;
  CD.MaxFileSize = 32767;
  CD.Flags = 788996;
  try {
    CD.ShowOpen();
  } catch (const std::exception& e) {
    const long number = ErrorNumber(e);
    if (number != kCancelError) {
      MsgBox(e.what() + ("(" + std::to_string(number) + ")"), MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation,
             "Open error");
      return {};
    }
  }
  return CD.FileName;
}

void CarvexForm::cmdSplitAddFiles_Click() {
  try {
    CD.FileName.clear();
    const std::vector<std::string> parts = SplitAtNul(GetFiles("Open files..."));
    if (parts.size() == 1) {
      std::string path = parts[0];
      AddSplitSourceFile(path);
    } else {
      for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string path = parts[0] + kSep + parts[i];
        AddSplitSourceFile(path);
      }
    }
    if (!parts.empty()) ApplyZipRuleForAdding();
  } catch (const std::exception& e) {
    MsgBox("There was an error adding this file(s) to the list:" + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
  }
}

// Files and folders dropped from a file manager join the list as Add Files would add them; a
// folder can be split once it is zipped.
void CarvexForm::lvwSplitFileNames_DropFiles(const std::vector<std::string>& paths) { AddSplitSourceFiles(paths); }

bool CarvexForm::AddSplitSourceFiles(const std::vector<std::string>& paths) {
  try {
    for (std::string path : paths) AddSplitSourceFile(path);
    ApplyZipRuleForAdding();
    return true;
  } catch (const std::exception& e) {
    MsgBox("There was an error adding this file(s) to the list:" + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
    return false;
  }
}

void CarvexForm::AddSplitSourceFile(std::string& FileName) {
  const std::string name = GetFileNamePart(FileName);
  for (std::size_t i = 1; i <= lvwSplitFileNames.Count(); ++i) {
    if (lvwSplitFileNames.Item(i).text != name) continue;
    if (MsgBox("This file is already added to the list do you want to replace?", MsgBoxButtons::kYesNo) ==
        MsgBoxResult::kNo)
      return;
    lvwSplitFileNames.Remove(i);
    --SplitFileCount;
    break;
  }
  // Measured before anything changes, so a file that cannot be read leaves no half entry. A
  // folder shows what its tree holds: that is what a zip of it takes in.
  const std::string size = FormatSize(platform::TreeLength(FileName));
  const ui::Picture icon{ui::Picture::Source::kFileIcon, FileName};
  pixSmall.Cls();
  pixSmall.SetPicture(icon);
  ++SplitImageCount;
  ++SplitFileCount;
  imlSplitFiles.Add(static_cast<std::size_t>(SplitImageCount), icon);
  const std::size_t at =
      lvwSplitFileNames.Add(static_cast<std::size_t>(SplitFileCount), name, static_cast<std::size_t>(SplitImageCount));
  lvwSplitFileNames.SetSubItem(at, 1, size);
  lvwSplitFileNames.SetSubItem(at, 2, FileName);
  if (txtSplitDestination.Text().empty()) {
    std::string folder = GetFolderPart(FileName);
    AddSplitDestinationPath(folder);
  }
  ApplyZipRuleForAdding();
}

void CarvexForm::ApplyZipRuleForAdding() {
  if (SplitFileCount < 2) {
    chkZipFile.SetEnabled(true);
    return;
  }
  chkZipFile.SetValue(ui::CheckBox::kChecked);
  chkZipFile.SetEnabled(false);
}

void CarvexForm::ApplyZipRuleForRemoving() {
  if (SplitFileCount < 2) {
    chkZipFile.SetEnabled(true);
    chkZipFile.SetValue(ZipChecked ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked);
    return;
  }
  chkZipFile.SetValue(ui::CheckBox::kChecked);
  chkZipFile.SetEnabled(false);
}

void CarvexForm::cmdSplitRemoveFiles_Click() {
  if (lvwSplitFileNames.Count() == 0) return;
  const std::vector<std::size_t> selected = lvwSplitFileNames.SelectedIndexes();
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    lvwSplitFileNames.Remove(*it);
    --SplitFileCount;
  }
  if (!selected.empty() && lvwSplitFileNames.Count() > 0) {
    // The entry that took the place of the first removed one, or the last when none did.
    lvwSplitFileNames.SetSelected(std::min(selected.front(), lvwSplitFileNames.Count()), true);
    lvwSplitFileNames.SetFocus();
  }
  ApplyZipRuleForRemoving();
}

void CarvexForm::cmdSplitPreviewFiles_Click() {
  try {
    for (std::size_t i : lvwSplitFileNames.SelectedIndexes()) {
      ui::ShellOpen(ListedPath(lvwSplitFileNames, i), this);
      lvwSplitFileNames.SetSelected(i, true);
      lvwSplitFileNames.SetFocus();
    }
  } catch (const std::exception& e) {
    MsgBox("There was an error when opening this file(s): " + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
  }
}

void CarvexForm::cmdClearList_Click() {
  lvwSplitFileNames.Clear();
  SplitFileCount = 0;
  ApplyZipRuleForRemoving();
}

void CarvexForm::chkZipFile_LostFocus() { ZipChecked = chkZipFile.Value() == ui::CheckBox::kChecked; }

void CarvexForm::AddSplitDestinationPath(std::string& path) {
  EndWithSeparator(path);
  pixSmall.Cls();
  pixSmall.SetPicture({ui::Picture::Source::kFileIcon, GetFolderPart(path)});
  picSplitFolder.SetPicture(pixSmall.GetPicture());
  txtSplitDestination.SetText(path);
}

// ---- The split request ----

bool CarvexForm::GetSplitInput() {
  if (optSplitUsePath.Value() && Exists(txtSplitDestination.Text())) SplitDestination = txtSplitDestination.Text();
  if (optSplitUseADrive.Value()) SplitDestination = platform::FloppyDriveRoot();
  if (optSplitUseDrive.Value()) SplitDestination = drvSplitDestDrives.Drive();
  EndWithSeparator(SplitDestination);

  if (chkZipFile.Value() == ui::CheckBox::kChecked) {
    if (!ZipForSplitRequest()) return false;
  } else {
    SplitSourcePath = ListedPath(lvwSplitFileNames, 1);
  }
  SplitFileSize = platform::FileLength(SplitSourcePath);
  SplitFileName = GetFileNamePart(SplitSourcePath);

  SplitPieceSize = 0;
  if (optDiskSize.Value()) SplitPieceSize = PieceSizeFor(SizeChoice::kDisk, "", SplitFileSize);
  if (optSizeMb.Value()) SplitPieceSize = PieceSizeFor(SizeChoice::kMb, txtSizeMb.Text(), SplitFileSize);
  if (optSizeKb.Value()) SplitPieceSize = PieceSizeFor(SizeChoice::kKb, txtSizeKb.Text(), SplitFileSize);
  if (optSizeb.Value()) SplitPieceSize = PieceSizeFor(SizeChoice::kBytes, txtSizeb.Text(), SplitFileSize);
  if (optSizePieces.Value()) SplitPieceSize = PieceSizeFor(SizeChoice::kPieces, txtSizePieces.Text(), SplitFileSize);
  if (optSizePredefined.Value())
    SplitPieceSize = PieceSizeFor(SizeChoice::kPredefined, cboPredefined.Text(), SplitFileSize);
  return true;
}

void CarvexForm::RunSplitRequest() {
  if (lvwSplitFileNames.Count() == 0) {
    Warn("There is no file(s) to split. Click the Add button to add files.");
    return;
  }
  if (const std::string missing = MissingFiles(lvwSplitFileNames); !missing.empty()) {
    MsgBox("The following file(s) do not exist:" + LineBreak + LineBreak + missing);
    return;
  }
  // Unzipped, only the first entry is split, and a folder has no bytes of its own to cut.
  if (const std::string first = ListedPath(lvwSplitFileNames, 1);
      chkZipFile.Value() != ui::CheckBox::kChecked && platform::IsDirectory(first)) {
    Warn(first + " is a folder. A folder can be split only when it is zipped first: tick \"Zip the chosen file(s) "
                 "before splitting\".");
    return;
  }
  if (optSplitUsePath.Value() && !Exists(txtSplitDestination.Text())) {
    Warn("Please choose an appropriate destination path.");
    return;
  }
  const std::string floppy = FloppyDrive();
  if ((optSplitUseADrive.Value() || (!floppy.empty() && drvSplitDestDrives.Drive() == floppy)) &&
      !Exists(platform::FloppyDriveRoot())) {
    Warn("The A (floppy) drive is not ready.");
    return;
  }
  if (optSplitUseDrive.Value() && !Exists(platform::DriveRoot(drvSplitDestDrives.Drive()))) {
    MsgBox("The drive you have chosen for your destination does not exist.");
    return;
  }
  if (!GetSplitInput()) return;
  // An empty file is refused whatever size was chosen; "Pieces:" would otherwise come out as a
  // size of 0 and blame the size.
  if (SplitFileSize == 0) {
    Warn("The size of the file you have chosen to split is 0!");
    return;
  }
  // A negative size or count would reach the splitter, which takes only positive pieces.
  if (SplitPieceSize <= 0) {
    Warn("Please choose an appropriate size to split the file into.");
    return;
  }
  if (SplitPieceSize >= SplitFileSize) {
    Warn("The size you have chosen to split the file into is greater than or equal to the size of the file.");
    return;
  }
  if (MsgBox(SplitConfirmation(SplitFileName, SplitSourcePath, SplitFileSize, SplitPieceSize, SplitDestination),
             MsgBoxButtons::kYesNo) != MsgBoxResult::kYes)
    return;
  SplitInProgress = true;
  SplitFile();
}

// ---- The build list and request ----

void CarvexForm::AddBuildFile(const std::string& piecePath) {
  lvwBuildFileNames.Clear();
  const std::string base = BuildNameFromPiece(GetFileNamePart(piecePath));
  std::string folder = GetFolderPart(piecePath);
  // One read of the folder for the whole set: a look-up per piece would read it again each
  // time, which grows with the square of the pieces. Names compare exactly, letter case too.
  const std::vector<std::string> listing = platform::ListPlainFiles(folder);
  const std::unordered_set<std::string> files(listing.begin(), listing.end());
  for (std::int64_t n = 1;; ++n) {
    const std::string name = PieceFileName(base, n);
    if (!files.contains(name)) break;
    // Measured before the entry is added, so that a piece that cannot be read leaves no half
    // entry behind.
    const std::string size = FormatSize(platform::FileLength(folder + name));
    const std::size_t at = lvwBuildFileNames.Add(lvwBuildFileNames.Count() + 1, name, 1);
    lvwBuildFileNames.SetSubItem(at, 1, size);
    lvwBuildFileNames.SetSubItem(at, 2, folder + name);
  }
  if (txtBuildDestination.Text().empty()) AddBuildDestinationPath(folder);
}

void CarvexForm::AddBuildDestinationPath(std::string& path) {
  EndWithSeparator(path);
  pixSmall.Cls();
  pixSmall.SetPicture({ui::Picture::Source::kFileIcon, GetFolderPart(path)});
  picBuildFolder.SetPicture(pixSmall.GetPicture());
  txtBuildDestination.SetText(path);
}

void CarvexForm::cmdAddBuildFile_Click() {
  try {
    CD.Filter = "Carvex Files (*.cvx)|*.cvx|";
    CD.FilterIndex = 1;
    CD.DialogTitle = "Open";
    CD.Flags = ui::CommonDialog::kExplorer | ui::CommonDialog::kFileMustExist | ui::CommonDialog::kPathMustExist |
               ui::CommonDialog::kHideReadOnly;
    CD.CancelError = true;
    CD.FileName.clear();
    CD.ShowOpen();
    if (CD.FileName.empty()) return;
    AddBuildFile(CD.FileName);
    if (UseOutput != 0) AddBuildDestinationPath(OutDestination);
  } catch (const std::exception& e) {
    if (ErrorNumber(e) == kCancelError) return;
    ShowAddBuildFileError(e);
  }
}

// A piece dropped on the list stands for its whole set, as one chosen with Add File.
void CarvexForm::lvwBuildFileNames_DropFiles(const std::vector<std::string>& paths) {
  try {
    if (platform::IsDirectory(paths.front())) return;
    AddBuildFile(paths.front());
    if (UseOutput != 0) AddBuildDestinationPath(OutDestination);
  } catch (const std::exception& e) {
    ShowAddBuildFileError(e);
  }
}

void CarvexForm::GetBuildInput() {
  if (optBuildUsePath.Value()) BuildDestination = txtBuildDestination.Text();
  if (optBuildUseADrive.Value()) BuildDestination = platform::FloppyDriveRoot();
  if (optBuildUseDrive.Value()) BuildDestination = drvBuildDestDrives.Drive();
  EndWithSeparator(BuildDestination);
  const std::string first = ListedPath(lvwBuildFileNames, 1);
  BuildFileName = BuildNameFromPiece(GetFileNamePart(first));
  BuildSourceFolder = GetFolderPart(first);
  BuildPieceCount = static_cast<std::int64_t>(lvwBuildFileNames.Count());
}

void CarvexForm::RunBuildRequest() {
  if (lvwBuildFileNames.Count() == 0) {
    Warn("There are no files to build. Click the Add button to add files.");
    return;
  }
  const std::string& box = txtBuildDestination.Text();
  if (box == std::string(1, kSep) || !Exists(box)) {
    Warn("Please choose an appropriate destination path.");
    return;
  }
  if (const std::string missing = MissingFiles(lvwBuildFileNames); !missing.empty()) {
    MsgBox("The following file(s) do not exist:" + LineBreak + LineBreak + missing);
    return;
  }
  GetBuildInput();
  // Before anything is deleted: without a drive A the destination would read as the root of
  // the file system, and a file of the built name there would go.
  if (optBuildUseADrive.Value() && !Exists(platform::FloppyDriveRoot())) {
    Warn("Please make sure there is a disk in the floppy drive.");
    return;
  }
  const std::string target = BuildDestination + BuildFileName;
  if (platform::PathExists(target)) {
    if (DelExists == 0 && MsgBox("The file you are about to build already exists in the destination foder. Do you "
                                 "want to overwrite?",
                                 MsgBoxButtons::kYesNo) != MsgBoxResult::kYes)
      return;
    platform::RemoveFile(target);
  }
  if (!Exists(BuildDestination)) {
    Warn("Please choose an appropriate destination path to build your file.");
    return;
  }
  const Bytes setSize = GetBuildSetSize(ListedPath(lvwBuildFileNames, 1));
  if (MsgBox(BuildConfirmation(BuildFileName, setSize, DeleteBuildFiles != 0), MsgBoxButtons::kYesNo) !=
      MsgBoxResult::kYes)
    return;
  CenterForm(*frmProgressStatus);
  frmProgressStatus->Show();
  BuildInProgress = true;
  BuildFile();
}

// ---- The action ----

void CarvexForm::cmdAction_Click() {
  if (CurrentMode == 1) {
    try {
      RunSplitRequest();
    } catch (const std::exception& e) {
      MsgBox("There was an error when attempting to split the chosen file(s)." + LineBreak + LineBreak + e.what(),
             MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
    }
  } else if (CurrentMode == 2) {
    try {
      RunBuildRequest();
    } catch (const std::exception& e) {
      MsgBox("There was an error when attempting to build the chosen file(s)." + LineBreak + LineBreak + e.what(),
             MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
      frmProgressStatus.Unload();
      SetEnabled(true);
    }
  }
}

}  // namespace carvex
