#pragma once

#include "ui/form.h"

namespace carvex {

// The modal dialog that names the archive of a zip-before-split job and sets its level,
// password and self-extractor option. It answers through the zip job fields; an empty
// ZipName afterwards means the user cancelled.
class ZipFileForm : public ui::Form {
public:
  ZipFileForm();

  ui::Label lblCaption{this, "lblCaption"};
  ui::TextBox txtZipFileName{this, "txtZipFileName"};
  ui::Frame fraZipOptions{this, "fraZipOptions"};
  ui::Label lblCompLevel{this, "lblCompLevel", &fraZipOptions};
  ui::Slider sldCompression{this, "sldCompression", &fraZipOptions};
  ui::CheckBox chkUsePass{this, "chkUsePass", &fraZipOptions};
  ui::Frame fraPassword{this, "fraPassword", &fraZipOptions};
  ui::Label lblEnterPassword{this, "lblEnterPassword", &fraPassword};
  ui::TextBox txtPassword{this, "txtPassword", &fraPassword};
  ui::Label lblReEnterPassword{this, "lblReEnterPassword", &fraPassword};
  ui::TextBox txtRePassword{this, "txtRePassword", &fraPassword};
  ui::CheckBox chkSFX{this, "chkSFX", &fraZipOptions};
  ui::Image imgZipIcon{this, "imgZipIcon", &fraZipOptions};
  ui::CommandButton cmdOK{this, "cmdOK"};
  ui::CommandButton cmdCancel{this, "cmdCancel"};

  void chkUsePass_Click();
  void txtZipFileName_DblClick();
  void cmdOK_Click();
  void cmdCancel_Click();

protected:
  void Form_Load() override;
  void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override;

private:
  bool AcceptPassword();
};

inline ui::FormSlot<ZipFileForm> frmZipFile;

// The archive name as the dialog settles it: ".zip" appended unless the name already ends
// in it, in any letter case.
std::string WithZipExtension(const std::string& name);

}  // namespace carvex
