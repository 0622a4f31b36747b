#include "open_files.h"

#include "platform/error.h"

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

}  // namespace carvex::platform
