// carvex: the Linux program. The main window reads the command line in its Form_Load, so the
// arguments are handed over before the window is first used.
#include <string>

#include "frm_carvex.h"
#include "ui/qt_backend.h"

namespace {

// The command line as the window's rules read it: a switch, a blank and the quoted path
// ("/s \"*\""). Launchers on Linux pass the switch and the path as separate arguments, so the
// quotes are put back; a single argument is taken as the whole line. The desktop entry opens a
// piece with "/b %f": started from the menu, with no file, the field code expands to nothing and
// leaves "/b" alone, which is a plain start rather than build mode with an empty set.
std::string CommandLineFrom(int argc, char** argv) {
  if (argc < 2) return {};
  std::string line = argv[1];
  if (argc == 2) return line == "/b" ? std::string() : line;
  std::string path;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) path += ' ';
    path += argv[i];
  }
  return line + " \"" + path + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  carvex::ui::QtProgram program(argc, argv);
  // After the Qt application took out its own options (-platform and the like).
  carvex::CommandLine = carvex::WithAbsolutePath(CommandLineFrom(argc, argv));
  carvex::frmCarvex->Show();
  return program.Run();
}
