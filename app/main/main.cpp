// carvex: the Linux program. The main window reads the command line in its Form_Load, so the
// arguments are handed over before the window is first used.
#include <string>

#include "frm_carvex.h"
#include "ui/qt_backend.h"

namespace {

// The arguments after the program name, joined by blanks, as the program has always seen its
// command line.
std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  carvex::ui::QtProgram program(argc, argv);
  // After the Qt application took out its own options (-platform and the like).
  carvex::CommandLine = JoinArguments(argc, argv);
  carvex::frmCarvex->Show();
  return program.Run();
}
