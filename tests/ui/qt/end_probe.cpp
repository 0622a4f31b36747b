// Starts the main window as carvex does, with its folders in argv[1], changes a setting and
// leaves one way (argv[2]: button, menu or close). The program must end inside that call;
// coming back is exit code 3.
#include <QAction>
#include <QPushButton>
#include <string>

#include "frm_carvex.h"
#include "mod_public.h"
#include "ui/qt_backend.h"

int main(int argc, char** argv) {
  carvex::ui::QtProgram program(argc, argv);
  if (argc < 3) return 2;
  carvex::OverrideAppFolders(argv[1], argv[1]);
  carvex::CarvexForm& main = *carvex::frmCarvex;
  main.Show();
  carvex::ShowFinish = carvex::kTrue;
  const std::string way = argv[2];
  carvex::ui::QtBackend& qt = program.Backend();
  if (way == "button") qobject_cast<QPushButton*>(qt.Widget(main.cmdExit))->click();
  if (way == "menu") qt.Action(main.mnuExit)->trigger();
  if (way == "close") qt.Window(main)->close();
  return 3;
}
