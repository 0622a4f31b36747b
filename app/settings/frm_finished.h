#pragma once

#include "ui/form.h"

namespace carvex {

// Shown after a split or build when ShowFinish is on: open the result, go back, or leave.
class FinishedForm : public ui::Form {
public:
  FinishedForm();

  ui::Image imgIcon{this, "imgIcon"};
  ui::Label lblMsg{this, "lblMsg"};
  ui::CommandButton cmdOpen{this, "cmdOpen"};
  ui::CommandButton cmdBuildAnother{this, "cmdBuildAnother"};
  ui::CommandButton cmdClose{this, "cmdClose"};
  ui::CheckBox chkDontShow{this, "chkDontShow"};

  void cmdOpen_Click();
  void cmdBuildAnother_Click();
  void cmdClose_Click();

protected:
  void Form_Load() override;

private:
  void ApplyDontShow();
  void ShowNotice(const std::string& notice);
};

inline ui::FormSlot<FinishedForm> frmFinished;

// Centres the Finished dialog over the main window and shows it without waiting; the jobs
// call this through their finished-dialog hook.
void ShowFinishedForm();

class AboutForm : public ui::Form {
public:
  AboutForm();

  ui::PictureBox picIcon{this, "picIcon"};
  ui::Label lblTitle{this, "lblTitle"};
  ui::Label lblVersion{this, "lblVersion"};
  ui::TextBox txtDescription{this, "txtDescription"};
  ui::Label lblDisclaimer{this, "lblDisclaimer"};
  ui::Label lblCopyright{this, "lblCopyright"};
  ui::CommandButton cmdOK{this, "cmdOK"};
  ui::CommandButton cmdViewLicense{this, "cmdViewLicense"};

  void cmdOK_Click() { Unload(); }
  void cmdViewLicense_Click();
};

inline ui::FormSlot<AboutForm> frmAbout;

// The version the About box shows, also printed by the command line's --version.
inline constexpr const char* kVersionText = "Version: 1.3.0.0";

}  // namespace carvex
