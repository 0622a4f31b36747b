// The main window's zip work: the archive made before a split, from the split request and
// from a "/z" start.
#include <algorithm>

#include "frm_carvex.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "progress_status.h"
#include "ui/app.h"
#include "zip_component.h"

namespace carvex {

namespace {

std::string WithExeEnding(const std::string& name) {
  return (name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string()) + ".exe";
}

// A zip is a job like a split: the component yields on every progress event, so the window
// takes no input while it works (a click on Split there would zip again into the archive being
// written), and it comes back however the zip ends.
class ZipJob {
public:
  ZipJob() {
    CenterForm(*frmProgressStatus);
    frmProgressStatus->lblStatus.SetCaption(kZippingStatus);
    frmProgressStatus->Show();
    BeginJob();
  }
  ~ZipJob() { End(); }
  ZipJob(const ZipJob&) = delete;
  ZipJob& operator=(const ZipJob&) = delete;

  // The dialog goes even when the component failed before it could report its end.
  void End() {
    frmProgressStatus.Unload();
    EnableMainWindow();
  }
};

}  // namespace

bool CarvexForm::CreateZipFile(const std::string& zipName, const std::string& /*destinationPath*/) {
  try {
    zipkit::ZipComponent& zip = Zip();
    zip.SetCompressionLevel(Compression);
    zip.StartAddJob();
    if (ZipUsePassword != 0) {
      zip.SetEncrypt(true);
      zip.SetPassword(ZipPassword);
    } else {
      zip.SetEncrypt(false);
    }
    zip.SetArchivePath(ZipTempFolder() + zipName);
    Bytes total = 0;
    for (std::size_t i = 1; i <= lvwSplitFileNames.Count(); ++i) {
      const std::string path = ListedPath(lvwSplitFileNames, i);
      zip.SourceFiles().AddItem(path);
      // A folder goes in with its whole tree, and the bar counts every byte of it.
      total += platform::TreeLength(path);
    }
    frmProgressStatus->pbProgress.SetMax(static_cast<double>(total));
    ZipStatusPrefix = "Zipping - ";
    zip.Add();
    if (ZipMakeSFX != 0) {
      SplitFileName = WithExeEnding(SplitFileName);
      SplitSourcePath = ZipTempFolder() + SplitFileName;
      zip.SetSfxStubPath(platform::AppPath() + platform::kPathSeparator + "ZipSFX.bin");
      zip.Convert();
    }
    return true;
  } catch (const std::exception& e) {
    ui::MsgBox("There was an error when attempting to zip the chosen file(s)." + LineBreak + LineBreak + e.what(),
               ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kCritical);
    return false;
  }
}

// False when the split request ends here: the user cancelled the zip dialog (quietly), or the
// zip failed (its message said why, and there is no archive to measure).
bool CarvexForm::ZipForSplitRequest() {
  CenterForm(*frmZipFile);
  ZipName = SplitFileCount > 1 ? GetParentFolderName(ListedPath(lvwSplitFileNames, 1)) : lvwSplitFileNames.Item(1).text;
  frmZipFile->txtZipFileName.SetText(ZipName);
  frmZipFile->Show(true);
  if (ZipName.empty()) return false;
  if (ZipName.size() < 4 || LowerCase(ZipName.substr(ZipName.size() - 4)) != ".zip") ZipName += ".zip";
  SplitFileName = ZipName;
  SplitSourcePath = ZipTempFolder() + SplitFileName;
  ZipJob job;
  return CreateZipFile(SplitFileName, SplitDestination);
}

void CarvexForm::ZipAtStartUp(const std::string& defaultName, bool fromHandOff) {
  CenterForm(*frmZipFile);
  frmZipFile->txtZipFileName.SetText(defaultName);
  frmZipFile->Show(true);
  if (ZipName.empty()) return;
  ZipJob job;
  SplitFileName = ZipMakeSFX != 0 ? WithExeEnding(ZipName) : ZipName;
  Bytes total = 0;
  const std::size_t counted = fromHandOff ? lvwSplitFileNames.Count() : std::min<std::size_t>(1, lvwSplitFileNames.Count());
  // A folder counts what its tree holds: one without a byte in it is refused as an empty file is.
  for (std::size_t i = 1; i <= counted; ++i) total += platform::TreeLength(ListedPath(lvwSplitFileNames, i));
  if (total == 0) {
    frmProgressStatus.Unload();
    ui::MsgBox(fromHandOff ? "The total file size you have chosen to zip is 0"
                           : "The size of the file you have chosen to zip is 0!");
    return;
  }
  // An archive that was never made is not listed: the handed-over files stay for another try.
  if (!CreateZipFile(ZipName, txtSplitDestination.Text())) return;
  job.End();
  lvwSplitFileNames.Clear();
  SplitFileCount = 0;
  std::string archive = ZipTempFolder() + SplitFileName;
  AddSplitSourceFile(archive);
  if (fromHandOff) chkZipFile.SetValue(ZipChecked ? ui::CheckBox::kChecked : ui::CheckBox::kUnchecked);
}

}  // namespace carvex
