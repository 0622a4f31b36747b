#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/types.h"

namespace carvex::ui {

class Form;

// The running program as the forms see it: its title, its backend, its loaded forms and the
// main window.
class Application {
public:
  static Application& Get();

  void SetBackend(Backend* backend) { backend_ = backend; }
  Backend& GetBackend();

  // Title of message boxes that name none.
  std::string Title = "Carvex";
  // The window that jobs disable and that dialogs centre over; may be null.
  Form* MainForm = nullptr;

  const std::vector<Form*>& LoadedForms() const { return loaded_; }

private:
  friend class Form;
  void Loaded(Form* form);
  void Unloaded(Form* form);

  Backend* backend_ = nullptr;
  std::vector<Form*> loaded_;
};

inline Application& App() { return Application::Get(); }

// Makes `backend` the one that the calls of this thread use while the object lives, in place
// of the program's. A library that its host calls on several threads at once gives each call
// a backend of its own, so that nothing of one call's windows is shared with another's.
class ThreadBackend {
public:
  explicit ThreadBackend(Backend& backend);
  ~ThreadBackend();
  ThreadBackend(const ThreadBackend&) = delete;
  ThreadBackend& operator=(const ThreadBackend&) = delete;

private:
  Backend* previous_;
};

// A message box; an empty title stands for the application's.
MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons = MsgBoxButtons::kOkOnly,
                    MsgBoxIcon icon = MsgBoxIcon::kNone, const std::string& title = {});
// The same for a request that says more, such as a question that only retries.
MsgBoxResult MsgBox(MsgBoxRequest request);
void DoEvents();
// The running job has done `done` of `total`: the desktop shows it beside the program's windows
// until EndTaskProgress. While a message box is open the job waits for it, and the desktop shows
// it halted (failed, when the box reports an error).
void SetTaskProgress(double done, double total);
void EndTaskProgress();
// A few updates a second: what a dock can draw, and little traffic for a job of thousands of
// chunks.
inline constexpr std::chrono::milliseconds kTaskProgressInterval{200};
// Opens a file or folder with its associated program; false when that failed.
bool ShellOpen(const std::string& path, Form* owner);
// Ends the program at once.
void EndProgram();
// The folder picker, owned by `owner`; the empty string when cancelled.
std::string BrowseForFolder(Form* owner, const std::string& title);
// Puts `text` on the clipboard as its only content.
void SetClipboardText(const std::string& text);

}  // namespace carvex::ui
