#pragma once

// What differs between the systems in the split benchmark: the window backend that shows the
// progress dialog and the system's own tool that the split is measured against.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/backend.h"

namespace bench {

class WindowFront {
 public:
  virtual ~WindowFront() = default;
  virtual carvex::ui::Backend& Backend() = 0;
  virtual std::string Name() const = 0;
};

std::unique_ptr<WindowFront> MakeWindowFront(int& argc, char** argv);

std::string PeerName();
// Writes the bytes of `source` into `dest` as the peer does; false when it failed.
bool RunPeer(const std::string& source, const std::string& dest, std::int64_t piece);
std::string JoinPeerName();
// Joins the pieces "*.cvx" of `folder`, in the order of their names, into `target` as the
// system's own tool does; false when it failed.
bool RunJoinPeer(const std::string& folder, const std::string& target);
// Puts written data on the disk, so that one run's write-back does not slow the next.
void FlushDisks();

}  // namespace bench
