#pragma once

#include <functional>

#include "ui/app.h"
#include "ui/form.h"

namespace carvex {

// The status text that marks the dialog as a zip job's: Cancel then stops nothing.
inline const std::string kZippingStatus = "Zipping File(s)...";

// The modeless dialog that shows a job's progress and offers its only way to stop.
class ProgressStatusForm : public ui::Form {
public:
  ProgressStatusForm();

  ui::Label lblStatus{this, "lblStatus"};
  ui::ProgressBar pbProgress{this, "pbProgress"};
  ui::CommandButton cmdCancel{this, "cmdCancel"};

  void cmdCancel_Click();

protected:
  void Form_Load() override;
  void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override;
  void Form_Unload(bool& cancel) override;

private:
  bool ConfirmSplitStop();
  bool ConfirmBuildStop();
};

inline ui::FormSlot<ProgressStatusForm> frmProgressStatus;

// The start of every job (split, build, zip): the Finished dialog of the last job closes and
// every other form but the progress dialog stops taking input until the job ends, so that
// nothing a user clicks during the job's yields can start a second one.
void BeginJob();
// Closes the Finished dialog; set by the code that owns that dialog.
inline std::function<void()> CloseFinishedDialog;

// The common end of a job: the dialog goes, the main window comes back, and every file the
// job left open is closed. Harmless when the dialog is already gone.
void EndJob();

// Gives the main window, and every form the job's start disabled, back to the user.
void EnableMainWindow();

// Empties the main window's split list after a job, as the ClearList setting asks, and gives
// the zip box back its user's choice. Acts on whatever of the list the main window has.
void ClearSplitList();

// Places `form` centred over the main window, in twips; also when it is larger.
void CenterForm(ui::Form& form);

}  // namespace carvex
