#include "progress_status.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"

namespace carvex {

namespace {

using ui::MsgBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

bool AskYesNo(const std::string& question) {
  return MsgBox(question, MsgBoxButtons::kYesNo) == MsgBoxResult::kYes;
}

// Deletes what exists of `paths`; a missing file is no failure. The files are closed first,
// so that the one being written can go too.
void DeletePartialOutput(const std::vector<std::string>& paths) {
  platform::CloseAllFiles();
  std::string failures;
  for (const std::string& path : paths) {
    if (!platform::PathExists(path)) continue;
    try {
      platform::RemoveFile(path);
    } catch (const std::exception& e) {
      failures += LineBreak + e.what();
    }
  }
  if (!failures.empty())
    MsgBox("Some of the files could not be deleted:" + LineBreak + failures, MsgBoxButtons::kOkOnly,
           MsgBoxIcon::kCritical);
}

}  // namespace

ProgressStatusForm::ProgressStatusForm() : Form("frmProgressStatus") {
  SetCaption("Carvex - Progress");
  SetClientSize(4680, 1335);
  lblStatus.SetCaption("Status: ");
  lblStatus.SetFontName("MS Sans Serif");
  lblStatus.Move(120, 120, 4455, 240);
  pbProgress.Move(120, 360, 4455, 375);
  pbProgress.SetMin(0);
  // The bar is the job's progress wherever the desktop shows it too, from the first range a job
  // gives it until the dialog goes.
  pbProgress.OnChange = [this] {
    ui::SetTaskProgress(pbProgress.Value() - pbProgress.Min(), pbProgress.Max() - pbProgress.Min());
  };
  cmdCancel.SetCaption("&Cancel");
  cmdCancel.Move(3120, 840, 1455, 375);
  cmdCancel.IsCancel = true;
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void ProgressStatusForm::Form_Load() { cmdCancel.SetEnabled(lblStatus.Caption() != kZippingStatus); }

// Closing the window through its frame is a click on Cancel, with the same questions; a
// silent unload would leave the job running unseen with no way to stop it.
void ProgressStatusForm::Form_QueryUnload(bool& cancel, ui::UnloadMode mode) {
  if (mode != ui::UnloadMode::kUserClose) return;
  cancel = true;
  cmdCancel.Click();
}

void ProgressStatusForm::Form_Unload(bool& /*cancel*/) { ui::EndTaskProgress(); }

// The main window comes back when the job ends: a split or build ends in the same turn once
// its engine sees the flag cleared, a zip when the component returns. Enabled here, the
// window could take a click queued behind this one and start a second job while the first
// still has its files open.
void ProgressStatusForm::cmdCancel_Click() {
  if (lblStatus.Caption() != kZippingStatus) {
    if (CurrentMode == 1) {
      if (!ConfirmSplitStop()) return;
    } else if (CurrentMode == 2) {
      if (!ConfirmBuildStop()) return;
    } else {
      EnableMainWindow();  // no engine is there to end a job
    }
  }
  Unload();
}

// False when the dialog is to stay: the user went on, or let the splitter end the job.
bool ProgressStatusForm::ConfirmSplitStop() {
  if (!AskYesNo("Are you sure you want to stop splitting this file?")) return false;
  SplitInProgress = false;
  if (SplitPieceNumber == 0) return true;
  if (!AskYesNo(SignedText(SplitPieceNumber) +
                " of the files have already been created would you like to delete them?"))
    return false;
  std::vector<std::string> pieces;
  for (std::int64_t k = 1; k <= SplitPieceNumber; ++k) pieces.push_back(PiecePath(SplitDestination, SplitFileName, k));
  DeletePartialOutput(pieces);
  return true;
}

bool ProgressStatusForm::ConfirmBuildStop() {
  if (!AskYesNo("Are you sure you want to stop building this file?")) return false;
  BuildInProgress = false;
  if (AskYesNo("The file you were building was partly built. Do you want to delete it?"))
    DeletePartialOutput({BuildDestination + BuildFileName});
  return true;
}

namespace {

// The forms BeginJob disabled; only those still loaded are brought back.
std::vector<ui::Form*> lockedForms;

}  // namespace

void BeginJob() {
  if (CloseFinishedDialog) CloseFinishedDialog();
  const ui::Form* progress = frmProgressStatus.IfLoaded();
  for (ui::Form* form : std::vector<ui::Form*>(ui::App().LoadedForms())) {
    if (form == progress || !form->Enabled()) continue;
    form->SetEnabled(false);
    lockedForms.push_back(form);
  }
  // The main window even when it is not (or no longer) among the loaded forms.
  if (ui::Form* main = ui::App().MainForm) main->SetEnabled(false);
}

void EnableMainWindow() {
  if (ui::Form* main = ui::App().MainForm) main->SetEnabled(true);
  const auto& loaded = ui::App().LoadedForms();
  for (ui::Form* form : std::exchange(lockedForms, {}))
    if (std::find(loaded.begin(), loaded.end(), form) != loaded.end()) form->SetEnabled(true);
}

void EndJob() {
  frmProgressStatus.Unload();
  EnableMainWindow();
  platform::CloseAllFiles();
}

void ClearSplitList() {
  ui::Form* main = ui::App().MainForm;
  SplitFileCount = 0;
  if (!main) return;
  if (auto* list = dynamic_cast<ui::ListView*>(main->FindControl("lvwSplitFileNames"))) list->Clear();
  if (auto* zip = dynamic_cast<ui::CheckBox*>(main->FindControl("chkZipFile"))) {
    zip->SetEnabled(true);
    zip->SetValue(ZipChecked ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked);
  }
}

void CenterForm(ui::Form& form) {
  const ui::Form* main = ui::App().MainForm;
  if (!main) return;
  const ui::Rect& m = main->Geometry();
  const ui::Rect& f = form.Geometry();
  form.Move(m.left + (m.width - f.width) / 2, m.top + (m.height - f.height) / 2);
}

}  // namespace carvex
