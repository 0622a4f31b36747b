#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/backend.h"
#include "ui/form.h"

namespace carvex::ui {

// How the windows of the program are found from outside (tests, tools): a form's window has
// the class Win32FormClass(form name); every control's window, and the command of every menu
// entry, has the identifier Win32ControlId(control name). Names are unique within a form.
std::wstring Win32FormClass(std::string_view formName);
int Win32ControlId(std::string_view name);
// The class of the plain window that holds the controls of a frame.
inline constexpr wchar_t kWin32PanelClass[] = L"CarvexPanel";

// The shell's taskbar as the backend uses it: the system's ITaskbarList3 in the program, a
// stand-in in tests.
class TaskbarList {
 public:
  virtual ~TaskbarList() = default;
  virtual void SetProgressState(HWND window, TBPFLAG state) = 0;
  virtual void SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) = 0;
};
// Makes the taskbar once the shell has made a button; null where the shell has no taskbar.
using TaskbarFactory = std::function<std::unique_ptr<TaskbarList>()>;
std::unique_ptr<TaskbarList> SystemTaskbarList();

// Renders the forms of the model as Win32 windows with the common controls (version 6) and
// feeds the user's input back through the controls' user-input methods. Geometry is the
// model's, in twips, converted at each window's own DPI.
class Win32Backend : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

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

  // The window of a loaded form and of a control; null when there is none.
  HWND Window(const Form& form);
  HWND Handle(const Control& control);
  // Dispatches one message of the thread's queue, with dialog navigation for the forms.
  void Dispatch(MSG& msg);
  // Draws now what was left for the next turn of the message loop.
  void Flush();
  // The form's window is about to be hidden: a modal form gives the windows under it back
  // first, so that the system activates one of them and not another program's.
  void FormHiding(Form& form);

  // The window of the program that hosts this code (a file manager's, for a shell extension):
  // it owns the message boxes, the folder picker and the clipboard when no form of ours does.
  void SetHostWindow(HWND window) { hostWindow_ = window; }

  // Where the taskbar comes from (SystemTaskbarList when not given); for tests.
  void SetTaskbarFactory(TaskbarFactory factory);
  // The shell made `window`'s taskbar button (again, after the shell restarted).
  void TaskbarButtonCreated(HWND window);

  // Replaces what EndProgram does (leave the message loop and end the process), for tests.
  void OnEndProgram(std::function<void()> handler) { endProgram_ = std::move(handler); }

  struct FormView;

 private:
  FormView* ViewOf(const Form& form);
  HWND OwnerWindow(const Form* owner);
  void DropView(const Form& form);

  struct ModalLoop;
  void EndModalBlock(ModalLoop& loop);

  void ApplyTaskProgress(HWND window, bool withState);

  std::unordered_map<const Form*, std::shared_ptr<FormView>> views_;
  std::vector<ModalLoop*> modalLoops_;
  std::function<void()> endProgram_;
  std::string lastFolder_;
  HWND hostWindow_ = nullptr;
  TaskbarFactory taskbarFactory_;
  std::unique_ptr<TaskbarList> taskbar_;
  // The windows that have a taskbar button, as the shell announced them.
  std::vector<HWND> taskbarButtons_;
  TaskProgress taskProgress_;
  static constexpr std::chrono::milliseconds kEventInterval{40};
  std::chrono::steady_clock::time_point nextEvents_{};
};

// The backend of a Windows program's main: initialises COM and the common controls and makes
// the backend the runtime's.
class Win32Program {
 public:
  Win32Program();
  ~Win32Program();
  Win32Program(const Win32Program&) = delete;
  Win32Program& operator=(const Win32Program&) = delete;

  Win32Backend& Backend() { return *backend_; }
  // Runs the message loop until the program ends; the exit code.
  int Run();

 private:
  std::unique_ptr<Win32Backend> backend_;
  bool comReady_ = false;
};

// The command line a program was started with, less the program's own name, as Windows hands
// it over: "/s \"C:\\a b.txt\"" stays as it is.
std::string CommandLineAfterProgramName(std::wstring_view commandLine);

}  // namespace carvex::ui
