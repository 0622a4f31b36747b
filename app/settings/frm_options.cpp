#include "frm_options.h"

#include <cstdint>

#include "mod_public.h"
#include "platform/folders.h"
#include "settings_store.h"
#include "ui/app.h"

namespace carvex {

namespace {

struct Switch {
  ui::CheckBox OptionsForm::*box;
  std::int16_t* setting;
};

// The switches and the settings they stand for.
constexpr Switch kSwitches[] = {
    {&OptionsForm::chkShowFinish, &ShowFinish},
    {&OptionsForm::chkDeleteBuildFiles, &DeleteBuildFiles},
    {&OptionsForm::chkClearList, &ClearList},
    {&OptionsForm::chkDelExists, &DelExists},
    {&OptionsForm::chkBuildAutoUnzip, &BuildAutoUnzip},
    {&OptionsForm::chkWriteChecksums, &WriteChecksums},
    {&OptionsForm::chkWriteJoinScript, &WriteJoinScript},
};

// The settings file keeps the folder in a record of 126 bytes of the ANSI code page.
constexpr char kFolderNotSaved[] =
    "Carvex will use this output folder until it ends, but cannot save it for later runs: the folder is "
    "longer than 126 bytes or has characters that the system's code page cannot store.";

int Ticked(std::int16_t setting) { return setting == kTrue ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked; }

}  // namespace

OptionsForm::OptionsForm() : Form("frmOptions") {
  SetCaption("Carvex Options");
  SetClientSize(6135, 5655);
  fraCarvexOptions.SetCaption("Carvex Options");
  fraCarvexOptions.Move(120, 120, 5895, 1515);
  const struct {
    ui::CheckBox& box;
    const char* caption;
  } captions[] = {
      {chkShowFinish, "Show the finished dialog box after building or splitting?"},
      {chkDeleteBuildFiles, "Delete the split files after building the file?"},
      {chkClearList, "Clear list of files after building or splitting?"},
      {chkDelExists, "When building delete any files with the same name as the build file."},
  };
  int top = 270;
  for (const auto& c : captions) {
    c.box.SetCaption(c.caption);
    c.box.Move(120, top, 5655, 255);
    top += 300;
  }
  fraZippingOptions.SetCaption("Zipping Options");
  fraZippingOptions.Move(120, 1755, 5895, 615);
  chkBuildAutoUnzip.SetCaption("Automatically Unzip if built file is a Zip File?");
  chkBuildAutoUnzip.Move(120, 270, 5655, 255);
  fraSetFiles.SetCaption("Split Set Options");
  fraSetFiles.Move(120, 2490, 5895, 915);
  chkWriteChecksums.SetCaption("Write checksums");
  chkWriteChecksums.SetToolTipText(
      "Writes a .sha256 file beside the pieces; every build checks the pieces and the built file against it");
  chkWriteChecksums.Move(120, 270, 5655, 255);
  chkWriteJoinScript.SetCaption("Write a join script for Linux and macOS");
  chkWriteJoinScript.SetToolTipText("Writes a .sh file beside the pieces that rebuilds the file without Carvex");
  chkWriteJoinScript.Move(120, 570, 5655, 255);
  fraOutputFolder.SetCaption("Output Folder");
  fraOutputFolder.Move(120, 3525, 5895, 1455);
  chkOutput.SetCaption("Use the output folder specified below as the default destination?");
  chkOutput.Move(120, 270, 5655, 255);
  lblOutput.SetCaption("Choose the default output folder:");
  lblOutput.Move(120, 630, 5655, 255);
  txtOutDestination.SetText(platform::DefaultOutputFolder());
  txtOutDestination.SetEnabled(false);
  txtOutDestination.Move(120, 930, 5175, 315);
  cmdBrowse.SetCaption("...");
  // For screen readers, which would read "..." and nothing for the box.
  cmdBrowse.SetAccessibleName("Browse for the default output folder");
  txtOutDestination.SetAccessibleName("Default output folder");
  cmdBrowse.SetEnabled(false);
  cmdBrowse.Move(5355, 930, 420, 315);
  const char* tip = "Return to the mode you were last using and apply the settings";
  cmdOK.SetCaption("OK");
  cmdOK.SetToolTipText(tip);
  cmdOK.IsDefault = true;
  cmdOK.Move(3360, 5145, 1215, 375);
  cmdCancel.SetCaption("Cancel");
  cmdCancel.SetToolTipText(tip);
  cmdCancel.IsCancel = true;
  cmdCancel.Move(4800, 5145, 1215, 375);

  chkOutput.OnClick = [this] { chkOutput_Click(); };
  cmdBrowse.OnClick = [this] { cmdBrowse_Click(); };
  cmdOK.OnClick = [this] { cmdOK_Click(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void OptionsForm::Form_Load() {
  for (const Switch& s : kSwitches) (this->*s.box).SetValue(Ticked(*s.setting));
  if (UseOutput == kTrue) {
    chkOutput.SetValue(ui::CheckBox::kChecked);
    txtOutDestination.SetText(OutDestination);
  } else {
    chkOutput.SetValue(ui::CheckBox::kUnchecked);
  }
}

void OptionsForm::chkOutput_Click() {
  const bool on = chkOutput.Value() == ui::CheckBox::kChecked;
  txtOutDestination.SetEnabled(on);
  cmdBrowse.SetEnabled(on);
}

void OptionsForm::cmdBrowse_Click() {
  const std::string folder = ui::BrowseForFolder(this, "Choose destination");
  if (folder.empty()) return;
  txtOutDestination.SetText(folder);
  OutDestination = folder;
}

void OptionsForm::cmdOK_Click() {
  for (const Switch& s : kSwitches)
    *s.setting = (this->*s.box).Value() == ui::CheckBox::kChecked ? kTrue : kFalse;
  if (chkOutput.Value() == ui::CheckBox::kChecked) {
    UseOutput = kTrue;
    OutDestination = txtOutDestination.Text();
    // Said at OK, while another folder can still be chosen, rather than lost at exit unseen.
    if (!EncodeOutDestination(OutDestination))
      ui::MsgBox(kFolderNotSaved, ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kExclamation);
  } else {
    UseOutput = kFalse;
  }
  Unload();
}

}  // namespace carvex
