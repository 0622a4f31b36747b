#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/backend.h"
#include "ui/form.h"

class QAction;
class QEventLoop;
class QWidget;

namespace carvex::ui {

// Renders the forms of the model as Qt Widgets windows and feeds the user's input back through
// the controls' user-input methods. Geometry is the model's, converted at 15 twips a pixel.
// Needs a QApplication (QtProgram makes one).
class QtBackend : public Backend {
 public:
  QtBackend();
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  MsgBoxResult ShowMsgBox(const MsgBoxRequest& request) override;
  void DoEvents() override;
  void FormLoaded(Form& form) override;
  void ShowForm(Form& form, bool modal) override;
  void FormHidden(Form& form) override;
  void FormUnloaded(Form& form) override;
  void PropertyChanged(Control& control, Property property) override;
  bool ShowOpen(CommonDialog& dialog) override;
  std::string BrowseForFolder(Form* owner, const std::string& title) override;
  bool ShellOpen(const std::string& path, Form* owner) override;
  void SetClipboardText(const std::string& text) override;
  void EndProgram() override;
  void ShowTaskProgress(const TaskProgress& progress) override;

  // The window of a loaded form, the widget of a control and the action of a menu entry; null
  // when the form is not loaded here or the control has no widget (image lists, dialogs).
  QWidget* Window(const Form& form);
  QWidget* Widget(const Control& control);
  QAction* Action(const Menu& menu);

  // Replaces what EndProgram does (leave the event loop and exit the process), for tests.
  void OnEndProgram(std::function<void()> handler) { endProgram_ = std::move(handler); }

  struct FormView;

 private:
  FormView* ViewOf(const Form& form);
  QWidget* OwnerWindow(const Form* owner);
  void ExitModalLoops(const Form& form);
  void DropView(const Form& form);

  std::unordered_map<const Form*, std::unique_ptr<FormView>> views_;
  std::vector<std::pair<const Form*, QEventLoop*>> modalLoops_;
  std::function<void()> endProgram_;
  std::string lastFolder_;
  static constexpr std::chrono::milliseconds kEventInterval{40};
  std::chrono::steady_clock::time_point nextEvents_{};
};

// The Qt application and its backend for a program's main: constructs the QApplication from
// argc and argv (Qt takes out the options it knows) and makes the backend the runtime's.
class QtProgram {
 public:
  QtProgram(int& argc, char** argv);
  ~QtProgram();
  QtProgram(const QtProgram&) = delete;
  QtProgram& operator=(const QtProgram&) = delete;

  QtBackend& Backend() { return *backend_; }
  // Runs the event loop until the program ends.
  int Run();

 private:
  struct Application;
  std::unique_ptr<Application> app_;
  std::unique_ptr<QtBackend> backend_;
};

// The Open dialog's filter string ("Text|*.txt|All|*.*") as Qt name filters, one per pair:
// "Text (*.txt)", "All (*)". A description's own "(...)" is replaced by the patterns, and
// "*.*" becomes "*", which on this system also matches names without a dot.
std::vector<std::string> QtNameFilters(const std::string& filter);

// The FileName the Open dialog hands back for `paths`, all in one folder: the path itself for
// one file; the folder, NUL, each name, NUL-separated, for several.
std::string OpenDialogFileName(const std::vector<std::string>& paths);

}  // namespace carvex::ui
