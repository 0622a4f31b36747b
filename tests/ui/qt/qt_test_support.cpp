#include "qt_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace carvex::test {

namespace {

// One QApplication for the whole test program, on the offscreen platform: the tests open
// real windows, and none may appear on a developer's screen or need a display in CI.
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    program = std::make_unique<ui::QtProgram>(argc, argv);
  }
  void TearDown() override { program.reset(); }

  static inline std::unique_ptr<ui::QtProgram> program;

 private:
  int argc = 1;
  char name[8] = "qt_test";
  char* argv[2] = {name, nullptr};
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

QString Shown(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  return out;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }
std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

ui::QtBackend& Qt() { return QtEnvironment::program->Backend(); }

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

void Settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

QWidget* WidgetOf(const ui::Control& control) { return Qt().Widget(control); }
QWidget* WindowOf(const ui::Form& form) { return Qt().Window(form); }

void ClickOn(const ui::Control& control) {
  QWidget* widget = WidgetOf(control);
  ASSERT_NE(widget, nullptr) << control.Name() << " has no widget";
  ASSERT_TRUE(widget->isVisible()) << control.Name() << " is not visible";
  // A check box or option button takes clicks on its indicator and text only.
  const bool indicator = qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
  QTest::mouseClick(widget, Qt::LeftButton, {},
                    indicator ? QPoint(6, widget->height() / 2) : widget->rect().center());
}

void TypeInto(const ui::TextBox& box, const std::string& text) {
  auto* edit = qobject_cast<QLineEdit*>(WidgetOf(box));
  ASSERT_NE(edit, nullptr) << box.Name() << " is not a line edit";
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, QString::fromStdString(text));
}

DialogAnswerer::DialogAnswerer() : timer_(new QTimer) {
  QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Check(); });
  timer_->start(10);
}

DialogAnswerer::~DialogAnswerer() { delete timer_; }

void DialogAnswerer::ExpectBox(std::string part, QMessageBox::StandardButton button) {
  expected_.push_back({Expected::Kind::kBox, std::move(part), button, {}});
}

void DialogAnswerer::ExpectOpen(std::vector<std::string> paths) {
  expected_.push_back({Expected::Kind::kOpen, {}, QMessageBox::NoButton, std::move(paths)});
}

void DialogAnswerer::ExpectFolder(std::string folder) {
  expected_.push_back({Expected::Kind::kFolder, std::move(folder), QMessageBox::NoButton, {}});
}

void DialogAnswerer::Check() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    AnswerBox(*box);
  } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    AnswerFileDialog(*dialog, dialog->fileMode() == QFileDialog::Directory);
  } else if (std::find(allowedModal_.begin(), allowedModal_.end(), modal->objectName().toStdString()) ==
             allowedModal_.end()) {
    // A modal form nobody answers would block the test for good.
    failures_.push_back("unexpected modal window " + modal->objectName().toStdString());
    modal->close();
  }
}

void DialogAnswerer::AnswerBox(QMessageBox& box) {
  const std::string text = box.text().toStdString();
  QPushButton* defaultButton = box.defaultButton();
  boxes_.push_back({box.windowTitle().toStdString(), text, box.icon(), box.standardButtons(),
                    defaultButton ? box.standardButton(defaultButton) : QMessageBox::NoButton});
  if (expected_.empty() || expected_.front().kind != Expected::Kind::kBox) {
    failures_.push_back("unexpected message box \"" + text + "\"");
    box.escapeButton() ? box.escapeButton()->click() : box.reject();
    return;
  }
  const Expected want = expected_.front();
  expected_.pop_front();
  if (!box.text().contains(Shown(want.text)))
    failures_.push_back("message box \"" + text + "\" where one with \"" + want.text + "\" was expected");
  QAbstractButton* button = box.button(want.button);
  if (!button || !button->isEnabled()) {
    failures_.push_back("message box \"" + text + "\" offers no button to press");
    box.reject();
    return;
  }
  QTest::mouseClick(button, Qt::LeftButton);
}

void DialogAnswerer::AnswerFileDialog(QWidget& dialog, bool folderPicker) {
  auto& picker = static_cast<QFileDialog&>(dialog);
  const Expected::Kind kind = folderPicker ? Expected::Kind::kFolder : Expected::Kind::kOpen;
  if (expected_.empty() || expected_.front().kind != kind) {
    failures_.push_back(folderPicker ? "unexpected folder picker" : "unexpected Open dialog");
    picker.reject();
    return;
  }
  const Expected want = expected_.front();
  expected_.pop_front();
  QString typed;
  if (folderPicker) {
    typed = QString::fromStdString(want.text);
  } else {
    picker.setDirectory(QString::fromStdString(FolderOf(want.paths.front())));
    for (const std::string& path : want.paths)
      typed += (want.paths.size() > 1 ? "\"" + QString::fromStdString(NameOf(path)) + "\" "
                                      : QString::fromStdString(NameOf(path)));
  }
  auto* name = picker.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  auto* buttons = picker.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  if (!name || !buttons || !buttons->button(QDialogButtonBox::Open)) {
    failures_.push_back("the file dialog is not the one these tests know");
    picker.reject();
    return;
  }
  name->setText(typed.trimmed());
  QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
  if (picker.isVisible()) {
    failures_.push_back("the file dialog did not take \"" + typed.toStdString() + "\"");
    picker.reject();
  }
}

}  // namespace carvex::test
