#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "ui/backend.h"

namespace carvex::ui {

// A backend for a terminal: message boxes are printed, questions are asked on the terminal
// (or answered Yes for the whole run, except those that only retry), progress is a line on
// standard error, and Ctrl-C is a click on the Cancel button of the form that has one, or
// Cancel to the question being asked.
class ConsoleBackend : public Backend {
public:
  struct Options {
    bool answerYes = false;  // every question but a retry is answered Yes (OK) without asking
    // Where the user types answers: by default standard input, when it and standard error are
    // terminals. Tests give a stream of their own, or null for none.
    std::optional<std::istream*> terminal;
  };
  explicit ConsoleBackend(Options options);
  ~ConsoleBackend() override;

  // Answers a modal Show of the named form; the callback fills the form and closes it.
  void OnShowModal(const std::string& formName, std::function<void(Form&)> action);

  // What the run has seen, for the program's exit status.
  bool CancelRequested() const { return cancelRequested_; }
  bool ProblemShown() const { return problemShown_; }
  bool QuestionDeclined() const { return questionDeclined_; }

  MsgBoxResult ShowMsgBox(const MsgBoxRequest& request) override;
  void DoEvents() override;
  void ShowForm(Form& form, bool modal) override;
  void FormUnloaded(Form& form) override;
  void PropertyChanged(Control& control, Property property) override;
  bool ShowOpen(CommonDialog& dialog) override;
  std::string BrowseForFolder(Form* owner, const std::string& title) override;
  bool ShellOpen(const std::string& path, Form* owner) override;
  void SetClipboardText(const std::string&) override {}
  void EndProgram() override;

private:
  void DrawProgress(bool force);
  void EndProgressLine();
  MsgBoxResult Ask(const MsgBoxRequest& request);
  bool TakeInterrupt();

  Options options_;
  std::map<std::string, std::function<void(Form&)>> modal_;
  bool interactive_ = false;  // a terminal to ask questions on
  bool fancy_ = false;        // standard error is a terminal: one redrawn progress line
  bool cancelRequested_ = false;
  bool problemShown_ = false;
  bool questionDeclined_ = false;
  std::optional<std::string> lastRetry_;  // the retry question asked last, with its state
  std::string status_;
  double max_ = 0;
  double value_ = 0;
  int lastPercent_ = -1;
  std::string lastStatus_;
  bool lineOpen_ = false;
};

// Set by the Ctrl-C handler; read (and cleared) by DoEvents.
extern std::atomic<bool> gInterrupted;
// Set by the first Ctrl-C and never cleared: a second one ends the process at once.
extern std::atomic<bool> gInterruptSeen;

}  // namespace carvex::ui
