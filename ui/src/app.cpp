#include "ui/app.h"

#include <algorithm>
#include <utility>

#include "ui/form.h"
#include "ui/headless.h"

namespace carvex::ui {

namespace {

// A plain pointer: a thread-local object with a destructor would outlive a library that is
// unloaded while the thread goes on.
thread_local Backend* threadBackend = nullptr;

// The job's progress as the backend was last told it and as it stands now. A job reports after
// every chunk, thousands of times; the desktop hears of a moved bar only every
// kTaskProgressInterval, and the rest goes out with the next report or yield after that.
class TaskReport {
public:
  static TaskReport& Get() {
    static TaskReport report;
    return report;
  }
  const TaskProgress& Wanted() const { return wanted_; }
  void Update(const TaskProgress& next) {
    // A new state (a question, the end) and a full bar must not wait: the job may stop right
    // after them.
    const bool urgent = next.state != shown_.state || (next.done >= next.total && shown_.done < shown_.total);
    wanted_ = next;
    if (urgent) {
      Send();
      return;
    }
    Flush();
  }
  void Flush() {
    if (wanted_ != shown_ && std::chrono::steady_clock::now() >= next_) Send();
  }

private:
  void Send() {
    shown_ = wanted_;
    next_ = std::chrono::steady_clock::now() + kTaskProgressInterval;
    App().GetBackend().ShowTaskProgress(shown_);
  }
  TaskProgress wanted_;
  TaskProgress shown_;
  std::chrono::steady_clock::time_point next_{};
};

// While a box is open the job waits for its answer: the desktop shows it halted, red for a
// box that reports an error, and the job's own state again once the box is answered.
class TaskPause {
public:
  explicit TaskPause(MsgBoxIcon icon)
      : before_(TaskReport::Get().Wanted().state),
        during_(icon == MsgBoxIcon::kCritical ? TaskState::kError : TaskState::kPaused) {
    if (before_ == TaskState::kNone) return;
    TaskProgress paused = TaskReport::Get().Wanted();
    paused.state = during_;
    TaskReport::Get().Update(paused);
  }
  ~TaskPause() {
    // A job that ended meanwhile stays ended.
    TaskProgress now = TaskReport::Get().Wanted();
    if (before_ == TaskState::kNone || now.state != during_) return;
    now.state = before_;
    TaskReport::Get().Update(now);
  }
  TaskPause(const TaskPause&) = delete;
  TaskPause& operator=(const TaskPause&) = delete;

private:
  TaskState before_;
  TaskState during_;
};

}  // namespace

Application& Application::Get() {
  static Application app;
  return app;
}

Backend& Application::GetBackend() {
  if (threadBackend) return *threadBackend;
  // Without a toolkit the program still runs, answering every question the safe way; the
  // headless backend records what it was asked.
  static HeadlessBackend fallback;
  return backend_ ? *backend_ : fallback;
}

ThreadBackend::ThreadBackend(Backend& backend) : previous_(std::exchange(threadBackend, &backend)) {}

ThreadBackend::~ThreadBackend() { threadBackend = previous_; }

void Application::Loaded(Form* form) {
  if (std::find(loaded_.begin(), loaded_.end(), form) == loaded_.end()) loaded_.push_back(form);
}

void Application::Unloaded(Form* form) {
  loaded_.erase(std::remove(loaded_.begin(), loaded_.end(), form), loaded_.end());
  if (MainForm == form) MainForm = nullptr;
}

MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon, const std::string& title) {
  MsgBoxRequest request;
  request.prompt = prompt;
  request.buttons = buttons;
  request.icon = icon;
  request.title = title;
  return MsgBox(std::move(request));
}

MsgBoxResult MsgBox(MsgBoxRequest request) {
  if (request.title.empty()) request.title = App().Title;
  const TaskPause pause(request.icon);
  return App().GetBackend().ShowMsgBox(request);
}

void DoEvents() {
  TaskReport::Get().Flush();
  App().GetBackend().DoEvents();
}

void SetTaskProgress(double done, double total) {
  TaskProgress next = TaskReport::Get().Wanted();
  if (next.state == TaskState::kNone) next.state = TaskState::kNormal;
  next.total = std::max(total, 0.0);
  next.done = std::clamp(done, 0.0, next.total);
  TaskReport::Get().Update(next);
}

// The last position stays with the end, so that a dock that draws the bar until it hides it
// shows where the job stopped.
void EndTaskProgress() {
  TaskProgress none = TaskReport::Get().Wanted();
  none.state = TaskState::kNone;
  TaskReport::Get().Update(none);
}

bool ShellOpen(const std::string& path, Form* owner) { return App().GetBackend().ShellOpen(path, owner); }

void EndProgram() { App().GetBackend().EndProgram(); }

std::string BrowseForFolder(Form* owner, const std::string& title) {
  return App().GetBackend().BrowseForFolder(owner, title);
}

void SetClipboardText(const std::string& text) { App().GetBackend().SetClipboardText(text); }

}  // namespace carvex::ui
