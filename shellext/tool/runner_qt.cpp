#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>
#include <optional>

#include "commands.h"
#include "runner.h"
#include "ui/app.h"
#include "ui/qt_backend.h"

namespace carvex {

const char* const kHoldClipboardCommand = "hold-clipboard";

namespace {

// X11 and Wayland hand the clipboard's content over by asking the program that owns it, so
// text set by this short-lived runner would vanish with it. The runner keeps the text and
// leaves it to a background holder instead, as xclip does.
class RunnerBackend : public ui::QtBackend {
 public:
  void SetClipboardText(const std::string& text) override { clipboardText = text; }
  std::optional<std::string> clipboardText;
};

constexpr int kHolderStartMs = 5000;

// Starts the holder and waits until the clipboard gives its text back, so that whoever
// started the runner can paste the moment the runner has ended.
void LeaveOnClipboard(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString expected = QString::fromStdString(text);
  QTemporaryFile file(QDir::tempPath() + "/verbhook-clipboard-XXXXXX");
  file.setAutoRemove(false);
  qint64 pid = 0;
  if (!file.open() ||
      file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
      !file.flush() ||
      !QProcess::startDetached(QCoreApplication::applicationFilePath(),
                               {QString(kHoldClipboardCommand), file.fileName()}, QString(), &pid)) {
    // Without a holder the text lasts as long as this program: better than nothing.
    file.remove();
    clipboard->setText(expected);
    return;
  }
  file.close();
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < kHolderStartMs && clipboard->text() != expected) QThread::msleep(20);
}

}  // namespace

void RunMenuItemWithWindows(const std::string& record, const CommandContext& context, int& argc, char** argv) {
  ui::QtProgram program(argc, argv);
  RunnerBackend backend;
  ui::App().SetBackend(&backend);
  RunItem(record, context);
  ui::App().SetBackend(&program.Backend());
  if (backend.clipboardText) LeaveOnClipboard(*backend.clipboardText);
}

int HoldClipboard(const std::string& textFile, int& argc, char** argv) {
  QGuiApplication app(argc, argv);
  QFile file(QString::fromStdString(textFile));
  if (!file.open(QIODevice::ReadOnly)) return 1;
  const QString text = QString::fromUtf8(file.readAll());
  file.remove();
  QClipboard* clipboard = QGuiApplication::clipboard();
  // Another owner, a clipboard manager included, has the text or newer: nothing left to keep.
  QObject::connect(clipboard, &QClipboard::dataChanged, &app, [&] {
    if (!clipboard->ownsClipboard()) app.quit();
  });
  clipboard->setText(text);
  return app.exec();
}

}  // namespace carvex
