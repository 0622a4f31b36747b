#include "zip_component.h"

#include "progress_status.h"
#include "platform/error.h"
#include "ui/app.h"
#include "zipkit/extract.h"

namespace carvex {

zipkit::ZipComponent& Zip() {
  static zipkit::ZipComponent zip = [] {
    zipkit::ZipComponent component;
    component.SetProgressHandler(OnZipProgress);
    return component;
  }();
  return zip;
}

void OnZipProgress(int kind, const std::string& text, std::int64_t size) {
  // A progress report has nobody to tell of its own failures; the work goes on regardless.
  try {
    // A dialog closed already is not loaded afresh: a copy nobody saw would only hide the job.
    ProgressStatusForm* dialog = frmProgressStatus.IfLoaded();
    switch (kind) {
      case zipkit::kFileBegins:
        if (!dialog) break;
        dialog->cmdCancel.SetEnabled(false);
        dialog->lblStatus.SetCaption(ZipStatusPrefix + GetFileNamePart(text));
        break;
      case zipkit::kBytesDone: {
        if (dialog) dialog->pbProgress.SetValue(dialog->pbProgress.Value() + static_cast<double>(size));
        // Zip work cannot be cancelled, but the window should still repaint.
        ui::DoEvents();
        break;
      }
      case zipkit::kBatchEnded:
        frmProgressStatus.Unload();
        break;
      default:
        break;
    }
  } catch (...) {
  }
}

void UnzipBuiltFile(const std::string& archive, Bytes total) {
  Zip().SetArchivePath(archive);
  // The bar moves by unpacked bytes, so it ends at what the entries unpack to, not at the
  // archive's own size; an archive whose list cannot be read fails in Extract, which says why.
  double unpacked = 0;
  try {
    for (const zipkit::EntryInfo& entry : zipkit::ListArchive(archive)) unpacked += static_cast<double>(entry.size);
  } catch (const platform::RuntimeError&) {
    unpacked = static_cast<double>(total);
  }
  CenterForm(*frmProgressStatus);
  ZipStatusPrefix = "Unziping - ";
  frmProgressStatus->pbProgress.SetMax(unpacked);
  frmProgressStatus->Show();
  const zipkit::ExtractResult result = Zip().Extract();
  if (result.renamed.empty() && result.skippedLinks.empty()) return;
  std::string text;
  if (!result.renamed.empty()) {
    text += "Some entries of '" + GetFileNamePart(archive) +
            "' have names that this system keeps for devices or cannot hold as they are; they were "
            "unpacked under these names:" + LineBreak;
    for (const auto& [entry, local] : result.renamed) text += LineBreak + entry + "  ->  " + local;
  }
  if (!result.skippedLinks.empty()) {
    if (!text.empty()) text += LineBreak + LineBreak;
    text += "These symbolic links in '" + GetFileNamePart(archive) + "' were not unpacked:" + LineBreak;
    for (const std::string& link : result.skippedLinks) text += LineBreak + link;
  }
  ui::MsgBox(text, ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kInformation);
}

}  // namespace carvex
