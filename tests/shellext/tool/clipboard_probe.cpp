// The second process of the runner's clipboard test: records a selection for the runner,
// reads the clipboard as any other program would, and takes the clipboard over.
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>
#include <string>

#include "handoff.h"

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "select" && argc == 3) {
    carvex::WriteHandOffSelection({argv[2]});
    return 0;
  }
  QGuiApplication app(argc, argv);
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (command == "read") {
    std::fputs(clipboard->text().toStdString().c_str(), stdout);
    return 0;
  }
  if (command == "take") {
    clipboard->setText("taken");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500) app.processEvents(QEventLoop::AllEvents, 50);
    return 0;
  }
  return 2;
}
