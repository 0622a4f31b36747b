#include "zipkit/zip_component.h"

#include "platform/files.h"
#include "writer.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"
#include "zipkit/extract.h"
#include "zipkit/self_extractor.h"

namespace carvex::zipkit {

namespace {

bool IsAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  return path.size() >= 2 && path[1] == ':';
}

}  // namespace

void ZipComponent::SetCompressionLevel(int level) {
  if (level < 0 || level > 9)
    Fail(ZipError::kInvalidSetting,
         "The compression level " + std::to_string(level) + " is not between 0 and 9");
  compressionLevel_ = level;
}

void ZipComponent::Add() {
  WriteArchive(archivePath_, sourceFiles_.Items(),
               AddSettings{compressionLevel_, encrypt_, password_, cancelled_}, progress_);
}

void ZipComponent::Convert() {
  // The stub ships beside the program, whatever the current folder is when Convert runs.
  const std::string stub =
      IsAbsolutePath(sfxStubPath_) ? sfxStubPath_ : JoinPath(platform::AppPath(), sfxStubPath_);
  ConvertToSelfExtractor(archivePath_, stub, SfxSettings{sfxCaption_, sfxOverwriteMode_}, progress_);
}

ExtractResult ZipComponent::Extract() {
  ExtractOptions options;
  options.folder = FolderPart(archivePath_);
  options.password = password_;
  options.progress = progress_;
  options.cancelled = cancelled_;
  return ExtractArchive(archivePath_, options);
}

}  // namespace carvex::zipkit
