#include <cstdlib>

#include "split_front.h"
#include "ui/qt_backend.h"

namespace bench {

namespace {

class QtFront : public WindowFront {
 public:
  QtFront(int& argc, char** argv) : program_(argc, argv) {}
  carvex::ui::Backend& Backend() override { return program_.Backend(); }
  std::string Name() const override { return "qt"; }

 private:
  carvex::ui::QtProgram program_;
};

}  // namespace

std::unique_ptr<WindowFront> MakeWindowFront(int& argc, char** argv) {
  // No display is needed; a given platform (xcb, wayland) measures a real screen instead.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return std::make_unique<QtFront>(argc, argv);
}

std::string PeerName() { return "split"; }

bool RunPeer(const std::string& source, const std::string& dest, std::int64_t piece) {
  const std::string command =
      "split -a 5 -d -b " + std::to_string(piece) + " '" + source + "' '" + dest + "/part.'";
  return std::system(command.c_str()) == 0;
}

std::string JoinPeerName() { return "cat"; }

bool RunJoinPeer(const std::string& folder, const std::string& target) {
  // The shell sorts the pattern's names, as the piece numbers need.
  const std::string command = "cat '" + folder + "'/*.cvx > '" + target + "'";
  return std::system(command.c_str()) == 0;
}

// Only evens out the runs' starting conditions: a sync that fails leaves nothing to report.
void FlushDisks() { [[maybe_unused]] const int status = std::system("sync"); }

}  // namespace bench
