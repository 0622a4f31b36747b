#include "frm_finished.h"

#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "progress_status.h"
#include "settings_store.h"
#include "ui/app.h"

namespace carvex {

FinishedForm::FinishedForm() : Form("frmFinished") {
  SetCaption("Carvex Finished!");
  SetClientSize(4800, 2055);
  imgIcon.SetPicture({ui::Picture::Source::kResource, "finished"});
  imgIcon.Move(120, 120, 480, 480);
  lblMsg.SetCaption("Carvex has finished building the chosen file. What would you like to do next:");
  lblMsg.Move(720, 120, 3960, 615);
  cmdOpen.SetCaption("Open Built File");
  cmdOpen.IsDefault = true;
  cmdOpen.Move(120, 960, 1455, 375);
  cmdBuildAnother.SetCaption("Return to Carvex");
  cmdBuildAnother.IsCancel = true;
  cmdBuildAnother.Move(1672, 960, 1455, 375);
  cmdClose.SetCaption("Exit");
  cmdClose.Move(3225, 960, 1455, 375);
  chkDontShow.SetCaption("Dont show this message again");
  chkDontShow.Move(120, 1560, 4560, 255);

  cmdOpen.OnClick = [this] { cmdOpen_Click(); };
  cmdBuildAnother.OnClick = [this] { cmdBuildAnother_Click(); };
  cmdClose.OnClick = [this] { cmdClose_Click(); };
}

void FinishedForm::Form_Load() {
  if (CurrentMode == 1) {
    lblMsg.SetCaption("Carvex has finished splitting the chosen file. What would you like to do next:");
    if (!SplitNotice.empty()) ShowNotice(SplitNotice);
    cmdOpen.SetCaption("Open Folder");
    SetCaption("Finished Splitting!");
  } else if (CurrentMode == 2) {
    lblMsg.SetCaption(BuildVerified
                          ? "Carvex has built the chosen file and verified its checksums. What would you like to do next:"
                          : "Carvex has finished building the chosen file. What would you like to do next:");
    cmdOpen.SetCaption("Open Built File");
    SetCaption("Finished Building!");
  }
}

// The notice goes above the usual text, and everything below it moves down by the room it
// takes; the positions are those the constructor gives.
void FinishedForm::ShowNotice(const std::string& notice) {
  constexpr int kNoticeHeight = 855;
  lblMsg.SetCaption(notice + LineBreak + LineBreak + lblMsg.Caption());
  lblMsg.Move(720, 120, 3960, 615 + kNoticeHeight);
  cmdOpen.Move(120, 960 + kNoticeHeight, 1455, 375);
  cmdBuildAnother.Move(1672, 960 + kNoticeHeight, 1455, 375);
  cmdClose.Move(3225, 960 + kNoticeHeight, 1455, 375);
  chkDontShow.Move(120, 1560 + kNoticeHeight, 4560, 255);
  SetClientSize(4800, 2055 + kNoticeHeight);
}

void FinishedForm::ApplyDontShow() {
  if (chkDontShow.Value() == ui::CheckBox::kChecked) ShowFinish = kFalse;
}

void FinishedForm::cmdOpen_Click() {
  try {
    // Whether the shell found a program for it is not our concern: nothing to report.
    if (CurrentMode == 1)
      ui::ShellOpen(SplitDestination, this);
    else if (CurrentMode == 2)
      ui::ShellOpen(BuildDestination + BuildFileName, this);
    ApplyDontShow();
    Unload();
  } catch (const std::exception& e) {
    ui::MsgBox("There was an error opening the chosen file or folder." + LineBreak + LineBreak + e.what(),
               ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kCritical);
  }
}

void FinishedForm::cmdBuildAnother_Click() {
  ApplyDontShow();
  Unload();
}

void FinishedForm::cmdClose_Click() {
  ApplyDontShow();
  try {
    SaveSettings();
  } catch (const std::exception&) {
    // The program ends either way; settings that cannot be written are lost, as on every
    // other way out.
  }
  ui::EndProgram();
}

void ShowFinishedForm() {
  CenterForm(*frmFinished);
  frmFinished->Show();
}

AboutForm::AboutForm() : Form("frmAbout") {
  SetCaption("About Carvex");
  SetClientSize(5730, 3930);
  picIcon.SetPicture({ui::Picture::Source::kResource, "carvex"});
  picIcon.Move(240, 240, 540, 540);
  lblTitle.SetCaption("Carvex");
  lblTitle.SetFontName("Lucida Sans Unicode");
  lblTitle.Move(1050, 240, 3885, 480);
  lblVersion.SetCaption(kVersionText);
  lblVersion.Move(1050, 780, 3885, 225);
  txtDescription.MultiLine = true;
  txtDescription.Locked = true;
  txtDescription.SetText(
      "Carvex splits large files into smaller pieces so that they can be carried on disks, "
      "memory sticks or sent by e-mail, and joins the pieces back into the original file, byte "
      "for byte. Before a split it can pack the chosen files into one zip archive, made by "
      "Carvex's own zip component on the zlib compression library; our thanks go to the "
      "authors of zlib. The companion shell menu library Verbhook brings Carvex and a set of "
      "handy commands into the file manager's context menu.");
  txtDescription.Move(1050, 1080, 4455, 1455);
  lblDisclaimer.SetCaption(
      "This program is provided as is, without warranty of any kind. See License.txt for the terms.");
  lblDisclaimer.Move(240, 2700, 3870, 555);
  lblCopyright.SetCaption("Copyright (c) 2026 Orvane Software.");
  lblCopyright.Move(240, 3330, 3870, 255);
  cmdOK.SetCaption("OK");
  cmdOK.IsDefault = true;
  cmdOK.IsCancel = true;
  cmdOK.Move(4245, 2640, 1260, 345);
  cmdViewLicense.SetCaption("View License");
  cmdViewLicense.Move(4245, 3090, 1260, 345);

  cmdOK.OnClick = [this] { cmdOK_Click(); };
  cmdViewLicense.OnClick = [this] { cmdViewLicense_Click(); };
}

void AboutForm::cmdViewLicense_Click() {
  // A missing licence file is not worth a message: the shell's answer is not looked at.
  ui::ShellOpen(platform::AppPath() + platform::kPathSeparator + "License.txt", this);
}

}  // namespace carvex
