#pragma once

// Drives forms through the real Qt widgets: clicks and typing go through QTest, and the modal
// dialogs that block the code under test (message boxes, the Open dialog, the folder picker)
// are answered from a timer, which checks each against what the test expects.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/qt_backend.h"

class QWidget;
class QTimer;

namespace carvex::test {

// The backend of the QApplication that the test program runs (offscreen).
ui::QtBackend& Qt();

// Spins the event loop until `done` holds or `ms` milliseconds pass; false on timeout.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);
// Lets queued events (list rebuilds, deferred deletes, repaints) run.
void Settle();

QWidget* WidgetOf(const ui::Control& control);
QWidget* WindowOf(const ui::Form& form);
// A left click in the middle of the control's widget, as a user makes it.
void ClickOn(const ui::Control& control);
// Selects the box's text and types `text` over it, key by key.
void TypeInto(const ui::TextBox& box, const std::string& text);

// Answers the modal dialogs that open while the code under test runs, in order.
class DialogAnswerer {
 public:
  DialogAnswerer();
  ~DialogAnswerer();

  // The next dialog is a message box whose text contains `part` (line breaks as shown);
  // `button` is clicked.
  void ExpectBox(std::string part, QMessageBox::StandardButton button);
  // The next dialog is the Open dialog; `paths` (all in one folder) are chosen.
  void ExpectOpen(std::vector<std::string> paths);
  // The next dialog is the folder picker; `folder` is chosen.
  void ExpectFolder(std::string folder);

  // A modal form the test drives itself; any other is closed as unexpected.
  void AllowModal(std::string formName) { allowedModal_.push_back(std::move(formName)); }

  // Every dialog that came unexpected, or differed from what was expected.
  const std::vector<std::string>& Failures() const { return failures_; }
  std::size_t Pending() const { return expected_.size(); }
  struct ShownBox {
    std::string title;
    std::string text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
  };
  // The message boxes answered so far.
  const std::vector<ShownBox>& Boxes() const { return boxes_; }

 private:
  struct Expected {
    enum class Kind { kBox, kOpen, kFolder } kind;
    std::string text;  // part of the box text, or the folder
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    std::vector<std::string> paths;
  };
  void Check();
  void AnswerBox(QMessageBox& box);
  void AnswerFileDialog(QWidget& dialog, bool folderPicker);

  QTimer* timer_;
  std::deque<Expected> expected_;
  std::vector<std::string> failures_;
  std::vector<ShownBox> boxes_;
  std::vector<std::string> allowedModal_;
};

}  // namespace carvex::test
