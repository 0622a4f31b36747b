#include "frm_zip_file.h"

#include "mod_public.h"
#include "platform/files.h"
#include "ui/app.h"

namespace carvex {

namespace {

using ui::MsgBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

}  // namespace

std::string WithZipExtension(const std::string& name) {
  return LowerCase(GetExtension(name)) == ".zip" ? name : name + ".zip";
}

ZipFileForm::ZipFileForm() : Form("frmZipFile") {
  SetCaption("Zip File Name");
  SetClientSize(5415, 4545);
  lblCaption.SetCaption("Enter the name you want to give the zip file you are about to split:");
  lblCaption.Move(120, 120, 5175, 435);
  txtZipFileName.SetText("Zipped Package");
  txtZipFileName.Move(120, 600, 5175, 315);
  fraZipOptions.SetCaption("Zip Options");
  fraZipOptions.Move(120, 1050, 5175, 2880);
  lblCompLevel.SetCaption("Choose the level of compression:");
  lblCompLevel.Move(120, 270, 2475, 255);
  sldCompression.SetRange(0, 9);
  sldCompression.Move(120, 540, 2400, 450);
  chkUsePass.SetCaption("Use Zip Password?");
  chkUsePass.Move(120, 1110, 2400, 255);
  chkSFX.SetCaption("Create Self Extractor?");
  chkSFX.Move(120, 1440, 2400, 255);
  imgZipIcon.SetPicture({ui::Picture::Source::kResource, "zip"});
  imgZipIcon.Move(120, 2040, 480, 480);
  fraPassword.SetCaption("Zip Password");
  fraPassword.Move(2640, 270, 2415, 1815);
  fraPassword.SetEnabled(false);
  lblEnterPassword.SetCaption("Enter Zip Password:");
  lblEnterPassword.Move(120, 270, 2175, 255);
  txtPassword.PasswordChar = '*';
  txtPassword.Move(120, 525, 2175, 315);
  lblReEnterPassword.SetCaption("Enter Zip Password:");
  lblReEnterPassword.Move(120, 960, 2175, 255);
  txtRePassword.PasswordChar = '*';
  txtRePassword.Move(120, 1215, 2175, 315);
  // For screen readers, which read nothing for a box, a slider or a picture.
  txtZipFileName.SetAccessibleName("Zip file name");
  sldCompression.SetAccessibleName("Level of compression");
  imgZipIcon.SetAccessibleName("Zip archive");
  txtPassword.SetAccessibleName("Zip password");
  txtRePassword.SetAccessibleName("Zip password again");
  cmdOK.SetCaption("&OK");
  cmdOK.IsDefault = true;
  cmdOK.Move(2640, 4050, 1215, 375);
  cmdCancel.SetCaption("&Cancel");
  cmdCancel.IsCancel = true;
  cmdCancel.Move(4080, 4050, 1215, 375);

  chkUsePass.OnClick = [this] { chkUsePass_Click(); };
  txtZipFileName.OnDblClick = [this] { txtZipFileName_DblClick(); };
  cmdOK.OnClick = [this] { cmdOK_Click(); };
  cmdCancel.OnClick = [this] { cmdCancel_Click(); };
}

void ZipFileForm::Form_Load() {
  txtZipFileName.SetText(ZipName);
  sldCompression.SetValue(Compression);
  chkSFX.SetValue(ZipMakeSFX == kTrue ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked);
}

// Closing through the window frame counts as Cancel, so the caller never reads an answer
// left over from an earlier job.
void ZipFileForm::Form_QueryUnload(bool& /*cancel*/, ui::UnloadMode mode) {
  if (mode == ui::UnloadMode::kUserClose) ZipName.clear();
}

void ZipFileForm::chkUsePass_Click() { fraPassword.SetEnabled(chkUsePass.Value() == ui::CheckBox::kChecked); }

void ZipFileForm::txtZipFileName_DblClick() { txtZipFileName.Select(0, txtZipFileName.Text().size()); }

void ZipFileForm::cmdCancel_Click() {
  ZipName.clear();
  Unload();
}

// False when the dialog is to stay open for another try.
bool ZipFileForm::AcceptPassword() {
  if (chkUsePass.Value() != ui::CheckBox::kChecked) {
    ZipUsePassword = kFalse;
    return true;
  }
  if (txtPassword.Text() != txtRePassword.Text()) {
    MsgBox("The passwords dont match.");
    return false;
  }
  if (txtPassword.Text().empty()) {
    MsgBox("Check the password you entered in.");
    return false;
  }
  ZipUsePassword = kTrue;
  ZipPassword = txtPassword.Text();
  return true;
}

void ZipFileForm::cmdOK_Click() {
  if (txtZipFileName.Text().empty()) {
    MsgBox("Please choose a name for the zip file.", MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation);
    return;
  }
  ZipName = txtZipFileName.Text();
  if (!AcceptPassword()) return;
  ZipMakeSFX = chkSFX.Value() == ui::CheckBox::kChecked ? kTrue : kFalse;
  ZipName = WithZipExtension(ZipName);
  if (platform::PathExists(SplitDestination + ZipName) &&
      MsgBox("The zip file name you have chosen already exists do you want to overwrite?", MsgBoxButtons::kYesNo) ==
          MsgBoxResult::kNo)
    return;
  Compression = static_cast<std::int16_t>(sldCompression.Value());
  Unload();
}

}  // namespace carvex
