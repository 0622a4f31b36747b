#pragma once

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

private:
  bool ConfirmSplitStop();
  bool ConfirmBuildStop();
};

inline ui::FormSlot<ProgressStatusForm> frmProgressStatus;

// The common end of a job: the dialog goes, the main window comes back, and every file the
// job left open is closed. Harmless when the dialog is already gone.
void EndJob();

// Gives the main window back to the user after a job.
void EnableMainWindow();

// Empties the main window's split list after a job, as the ClearList setting asks, and gives
// the zip box back its user's choice. Acts on whatever of the list the main window has.
void ClearSplitList();

// Places `form` centred over the main window, in twips; also when it is larger.
void CenterForm(ui::Form& form);

}  // namespace carvex
