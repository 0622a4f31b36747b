#include <windows.h>

#include <cstdlib>

#include "platform/wide.h"
#include "split_front.h"
#include "ui/win32_backend.h"

namespace bench {

namespace {

class Win32Front : public WindowFront {
 public:
  carvex::ui::Backend& Backend() override { return program_.Backend(); }
  std::string Name() const override { return "win32"; }

 private:
  carvex::ui::Win32Program program_;
};

}  // namespace

std::unique_ptr<WindowFront> MakeWindowFront(int&, char**) { return std::make_unique<Win32Front>(); }

// The system has no splitting tool; its own file copy reads and writes the same bytes.
std::string PeerName() { return "copy"; }

bool RunPeer(const std::string& source, const std::string& dest, std::int64_t) {
  return CopyFileW(carvex::platform::Widen(source).c_str(), carvex::platform::Widen(dest + "\\copy.bin").c_str(),
                   FALSE) != FALSE;
}

std::string JoinPeerName() { return "copy /b"; }

// With a pattern and one target, copy /b appends every match in the order of their names.
bool RunJoinPeer(const std::string& folder, const std::string& target) {
  const std::string command = "cmd /c copy /b \"" + folder + "\\*.cvx\" \"" + target + "\" >nul";
  return std::system(command.c_str()) == 0;
}

// Written data reaches the disk through the system's cache on its own; nothing to wait for.
void FlushDisks() {}

}  // namespace bench
