#pragma once

#include <string>

#include "ui/control.h"
#include "ui/types.h"

namespace carvex::ui {

class CommonDialog;
class Form;

// What a toolkit supplies to the model: it renders forms and controls, feeds user events
// back through the controls, and provides the modal services. Backends add no behaviour.
class Backend {
public:
  virtual ~Backend() = default;

  virtual MsgBoxResult ShowMsgBox(const MsgBoxRequest& request) = 0;
  // Delivers pending events; the only re-entrance a running job allows.
  virtual void DoEvents() = 0;

  virtual void FormLoaded(Form& /*form*/) {}
  // A modal show returns once the form is hidden or unloaded.
  virtual void ShowForm(Form& form, bool modal) = 0;
  virtual void FormHidden(Form& /*form*/) {}
  virtual void FormUnloaded(Form& /*form*/) {}
  virtual void PropertyChanged(Control& /*control*/, Property /*property*/) {}
  // The running job's progress for the desktop; kNone when no job runs. A new state comes at
  // once, a moved bar at most every kTaskProgressInterval, a bar at its end at once.
  virtual void ShowTaskProgress(const TaskProgress& /*progress*/) {}

  // The Open dialog: true when the user accepted; the dialog's FileName then holds the choice.
  virtual bool ShowOpen(CommonDialog& dialog) = 0;
  // The folder picker; the empty string when cancelled.
  virtual std::string BrowseForFolder(Form* owner, const std::string& title) = 0;
  // Opens a file or folder with its associated program; false when that failed.
  virtual bool ShellOpen(const std::string& path, Form* owner) = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  // Ends the program at once, without the main window's unload steps.
  virtual void EndProgram() = 0;
};

}  // namespace carvex::ui
