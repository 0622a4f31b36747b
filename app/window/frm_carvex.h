#pragma once

#include <string>
#include <vector>

#include "ui/form.h"

namespace carvex {

// The main window: a split tab and a build tab, the action button, and the menu bar.
class CarvexForm : public ui::Form {
public:
  CarvexForm();

  ui::TabStrip tbsTabs{this, "tbsTabs"};
  ui::ImageList imlTabIcons{this, "imlTabIcons"};
  ui::ImageList imlSplitFiles{this, "imlSplitFiles"};
  ui::ImageList imlBuildIcon{this, "imlBuildIcon"};
  ui::PictureBox pixSmall{this, "pixSmall"};
  ui::CommonDialog CD{this, "CD"};

  // Split tab.
  ui::Frame fraSplitMode{this, "fraSplitMode"};
  ui::Frame fraSplitSourceDestination{this, "fraSplitSourceDestination", &fraSplitMode};
  ui::Label lblSplitChooseSource{this, "lblSplitChooseSource", &fraSplitSourceDestination};
  ui::ListView lvwSplitFileNames{this, "lvwSplitFileNames", &fraSplitSourceDestination};
  ui::CommandButton cmdSplitAddFiles{this, "cmdSplitAddFiles", &fraSplitSourceDestination};
  ui::CommandButton cmdSplitRemoveFiles{this, "cmdSplitRemoveFiles", &fraSplitSourceDestination};
  ui::CommandButton cmdSplitPreviewFiles{this, "cmdSplitPreviewFiles", &fraSplitSourceDestination};
  ui::CommandButton cmdClearList{this, "cmdClearList", &fraSplitSourceDestination};
  ui::Label lblSplitChooseDestination{this, "lblSplitChooseDestination", &fraSplitSourceDestination};
  ui::OptionButton optSplitUsePath{this, "optSplitUsePath", &fraSplitSourceDestination};
  ui::TextBox txtSplitDestination{this, "txtSplitDestination", &fraSplitSourceDestination};
  ui::CommandButton cmdSplitBrowseDestination{this, "cmdSplitBrowseDestination", &fraSplitSourceDestination};
  ui::PictureBox picSplitFolder{this, "picSplitFolder", &fraSplitSourceDestination};
  ui::OptionButton optSplitUseADrive{this, "optSplitUseADrive", &fraSplitSourceDestination};
  ui::OptionButton optSplitUseDrive{this, "optSplitUseDrive", &fraSplitSourceDestination};
  ui::DriveListBox drvSplitDestDrives{this, "drvSplitDestDrives", &fraSplitSourceDestination};
  ui::Frame fraSplittingOptions{this, "fraSplittingOptions", &fraSplitMode};
  ui::Label lblChooseSplit{this, "lblChooseSplit", &fraSplittingOptions};
  ui::OptionButton optSizeMb{this, "optSizeMb", &fraSplittingOptions};
  ui::TextBox txtSizeMb{this, "txtSizeMb", &fraSplittingOptions};
  ui::VScrollBar vscSizeMb{this, "vscSizeMb", &fraSplittingOptions};
  ui::OptionButton optSizeKb{this, "optSizeKb", &fraSplittingOptions};
  ui::TextBox txtSizeKb{this, "txtSizeKb", &fraSplittingOptions};
  ui::VScrollBar vscSizeKb{this, "vscSizeKb", &fraSplittingOptions};
  ui::OptionButton optSizeb{this, "optSizeb", &fraSplittingOptions};
  ui::TextBox txtSizeb{this, "txtSizeb", &fraSplittingOptions};
  ui::VScrollBar vscSizeb{this, "vscSizeb", &fraSplittingOptions};
  ui::OptionButton optDiskSize{this, "optDiskSize", &fraSplittingOptions};
  ui::OptionButton optSizePieces{this, "optSizePieces", &fraSplittingOptions};
  ui::TextBox txtSizePieces{this, "txtSizePieces", &fraSplittingOptions};
  ui::VScrollBar vscSizePieces{this, "vscSizePieces", &fraSplittingOptions};
  ui::OptionButton optSizePredefined{this, "optSizePredefined", &fraSplittingOptions};
  ui::ComboBox cboPredefined{this, "cboPredefined", &fraSplittingOptions};
  ui::CheckBox chkZipFile{this, "chkZipFile", &fraSplittingOptions};

  // Build tab.
  ui::Frame fraBuildMode{this, "fraBuildMode"};
  ui::Frame fraBuildSourceDestination{this, "fraBuildSourceDestination", &fraBuildMode};
  ui::Label lblChooseBuildSource{this, "lblChooseBuildSource", &fraBuildSourceDestination};
  ui::ListView lvwBuildFileNames{this, "lvwBuildFileNames", &fraBuildSourceDestination};
  ui::CommandButton cmdAddBuildFile{this, "cmdAddBuildFile", &fraBuildSourceDestination};
  ui::Label lblChooseBuildDestination{this, "lblChooseBuildDestination", &fraBuildSourceDestination};
  ui::OptionButton optBuildUsePath{this, "optBuildUsePath", &fraBuildSourceDestination};
  ui::TextBox txtBuildDestination{this, "txtBuildDestination", &fraBuildSourceDestination};
  ui::CommandButton cmdBuildBrowseDestination{this, "cmdBuildBrowseDestination", &fraBuildSourceDestination};
  ui::PictureBox picBuildFolder{this, "picBuildFolder", &fraBuildSourceDestination};
  ui::OptionButton optBuildUseADrive{this, "optBuildUseADrive", &fraBuildSourceDestination};
  ui::OptionButton optBuildUseDrive{this, "optBuildUseDrive", &fraBuildSourceDestination};
  ui::DriveListBox drvBuildDestDrives{this, "drvBuildDestDrives", &fraBuildSourceDestination};

  ui::CommandButton cmdAction{this, "cmdAction"};
  ui::CommandButton cmdExit{this, "cmdExit"};

  // Menu bar.
  ui::Menu mnuFile{this, "mnuFile"};
  ui::Menu mnuAddFile{this, "mnuAddFile", &mnuFile};
  ui::Menu mnuPreviewFile{this, "mnuPreviewFile", &mnuFile};
  ui::Menu mnuRemoveFile{this, "mnuRemoveFile", &mnuFile};
  ui::Menu mnuClearList{this, "mnuClearList", &mnuFile};
  ui::Menu mnuSeparator1{this, "mnuSeparator1", &mnuFile};
  ui::Menu mnuExit{this, "mnuExit", &mnuFile};
  ui::Menu mnuMode{this, "mnuMode"};
  ui::Menu mnuSplitMode{this, "mnuSplitMode", &mnuMode};
  ui::Menu mnuBuildMode{this, "mnuBuildMode", &mnuMode};
  ui::Menu mnuActions{this, "mnuActions"};
  ui::Menu mnuSplitFile{this, "mnuSplitFile", &mnuActions};
  ui::Menu mnuBuildFile{this, "mnuBuildFile", &mnuActions};
  ui::Menu mnuTools{this, "mnuTools"};
  ui::Menu mnuOptions{this, "mnuOptions", &mnuTools};
  ui::Menu mnuHelp{this, "mnuHelp"};
  ui::Menu mnuContents{this, "mnuContents", &mnuHelp};
  ui::Menu mnuWebsite{this, "mnuWebsite", &mnuHelp};
  ui::Menu mnuSeparator2{this, "mnuSeparator2", &mnuHelp};
  ui::Menu mnuAbout{this, "mnuAbout", &mnuHelp};

  // Lists and destinations.
  std::string GetFiles(const std::string& sTitle);
  void AddSplitSourceFile(std::string& FileName);
  // Adds each path as Add Files would, under Add Files' own error trap; false when an error
  // ended it (the entries added before it stay).
  bool AddSplitSourceFiles(const std::vector<std::string>& paths);
  void AddSplitDestinationPath(std::string& path);
  void AddBuildFile(const std::string& piecePath);
  void AddBuildDestinationPath(std::string& path);
  bool GetSplitInput();
  void GetBuildInput();
  // False when the zip failed: its message has been shown, and no archive was made.
  bool CreateZipFile(const std::string& zipName, const std::string& destinationPath);

  // Modes and enabling rules.
  void HideAllFrames();
  void DisableAllMenu();
  void DisableSplitOptions();
  void DisableSplitDestinationOptions();
  void DisableBuildDestinationOptions();

  // Event handlers.
  void cmdAction_Click();
  void cmdExit_Click();
  void tbsTabs_Click();
  void cmdSplitAddFiles_Click();
  void cmdSplitRemoveFiles_Click();
  void cmdSplitPreviewFiles_Click();
  void cmdClearList_Click();
  void chkZipFile_LostFocus();
  void cmdAddBuildFile_Click();
  void lvwSplitFileNames_DropFiles(const std::vector<std::string>& paths);
  void lvwBuildFileNames_DropFiles(const std::vector<std::string>& paths);
  void cmdSplitBrowseDestination_Click();
  void cmdBuildBrowseDestination_Click();
  void mnuAddFile_Click();
  void mnuSplitMode_Click();
  void mnuBuildMode_Click();
  void mnuOptions_Click();
  void mnuContents_Click();
  void mnuWebsite_Click();
  void mnuAbout_Click();

  // The start-up zip of a "/z" command line; `defaultName` goes into the name box.
  void ZipAtStartUp(const std::string& defaultName, bool fromHandOff);

protected:
  void Form_Load() override;
  void Form_Unload(bool& cancel) override;

private:
  void LayOut();
  void WireEvents();
  void SelectSizeOption(ui::OptionButton& option, ui::Control* box, ui::VScrollBar* spin);
  void ApplyZipRuleForAdding();
  void ApplyZipRuleForRemoving();
  void RunSplitRequest();
  void RunBuildRequest();
  bool ZipForSplitRequest();
  void ProcessCommandLine();
  void EndProgramCleanly();
};

inline ui::FormSlot<CarvexForm> frmCarvex;

// The full path of an entry of the split or build list: its "File Path" column.
std::string ListedPath(const ui::ListView& list, std::size_t index);

// The arguments the program was started with, as one text ("/s \"C:\file\""); set by the
// program before the main window loads, read once by its Form_Load.
inline std::string CommandLine;

// `line` with the path after its switch ("/s", "/z", "/b") made absolute against the current
// folder and put in double quotes, so that the window's rules, which take the path as it
// stands, find the file a launcher passed relative to where it started the program. The
// hand-off's "*" and a line without a path stay as they are.
std::string WithAbsolutePath(const std::string& line);

// The product's web address, on the domain kept for documentation.
inline constexpr const char* kWebsiteAddress = "https://orvane-software.example.com/carvex/";

}  // namespace carvex
