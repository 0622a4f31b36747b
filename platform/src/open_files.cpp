#include "open_files.h"

#include "platform/error.h"
#include "platform/files.h"

namespace carvex::platform {

std::size_t OpenFileCount() { return detail::OpenFiles::Get().Snapshot().size(); }

void CloseAllFiles() {
  for (File* file : detail::OpenFiles::Get().Snapshot()) {
    try {
      file->Close();
    } catch (const RuntimeError&) {
      // Closing is all that is asked; a late write error has nobody left to tell.
    }
  }
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  File file(path, File::Mode::kCreate);
  try {
    file.Write(bytes);
    file.Close();
  } catch (...) {
    file = File();
    try {
      RemoveFile(path);
    } catch (const std::exception&) {
    }
    throw;
  }
}

}  // namespace carvex::platform
