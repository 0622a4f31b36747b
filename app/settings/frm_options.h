#pragma once

#include "ui/form.h"

namespace carvex {

// Edits the settings in memory; they are written to the settings file on the way out.
class OptionsForm : public ui::Form {
public:
  OptionsForm();

  ui::Frame fraCarvexOptions{this, "fraCarvexOptions"};
  ui::CheckBox chkShowFinish{this, "chkShowFinish", &fraCarvexOptions};
  ui::CheckBox chkDeleteBuildFiles{this, "chkDeleteBuildFiles", &fraCarvexOptions};
  ui::CheckBox chkClearList{this, "chkClearList", &fraCarvexOptions};
  ui::CheckBox chkDelExists{this, "chkDelExists", &fraCarvexOptions};
  ui::Frame fraZippingOptions{this, "fraZippingOptions"};
  ui::CheckBox chkBuildAutoUnzip{this, "chkBuildAutoUnzip", &fraZippingOptions};
  ui::Frame fraSetFiles{this, "fraSetFiles"};
  ui::CheckBox chkWriteChecksums{this, "chkWriteChecksums", &fraSetFiles};
  ui::CheckBox chkWriteJoinScript{this, "chkWriteJoinScript", &fraSetFiles};
  ui::Frame fraOutputFolder{this, "fraOutputFolder"};
  ui::CheckBox chkOutput{this, "chkOutput", &fraOutputFolder};
  ui::Label lblOutput{this, "lblOutput", &fraOutputFolder};
  ui::TextBox txtOutDestination{this, "txtOutDestination", &fraOutputFolder};
  ui::CommandButton cmdBrowse{this, "cmdBrowse", &fraOutputFolder};
  ui::CommandButton cmdOK{this, "cmdOK"};
  ui::CommandButton cmdCancel{this, "cmdCancel"};

  void chkOutput_Click();
  void cmdBrowse_Click();
  void cmdOK_Click();
  void cmdCancel_Click() { Unload(); }

protected:
  void Form_Load() override;
};

inline ui::FormSlot<OptionsForm> frmOptions;

}  // namespace carvex
