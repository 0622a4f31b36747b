// A job's progress on the program's taskbar button.
#include <algorithm>
#include <cmath>

#include "ui/win32_backend.h"
#include "win32_view.h"

namespace carvex::ui {

namespace {

class SystemTaskbar : public TaskbarList {
 public:
  explicit SystemTaskbar(ITaskbarList3* list) : list_(list) {}
  ~SystemTaskbar() override { list_->Release(); }
  SystemTaskbar(const SystemTaskbar&) = delete;
  SystemTaskbar& operator=(const SystemTaskbar&) = delete;

  void SetProgressState(HWND window, TBPFLAG state) override { list_->SetProgressState(window, state); }
  void SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
    list_->SetProgressValue(window, done, total);
  }

 private:
  ITaskbarList3* list_;
};

TBPFLAG TaskbarState(TaskState state) {
  switch (state) {
    case TaskState::kNormal:
      return TBPF_NORMAL;
    case TaskState::kPaused:
      return TBPF_PAUSED;
    case TaskState::kError:
      return TBPF_ERROR;
    case TaskState::kNone:
      break;
  }
  return TBPF_NOPROGRESS;
}

}  // namespace

std::unique_ptr<TaskbarList> SystemTaskbarList() {
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list))) ||
      !list)
    return nullptr;
  if (FAILED(list->HrInit())) {
    list->Release();
    return nullptr;
  }
  return std::make_unique<SystemTaskbar>(list);
}

UINT TaskbarButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

// The shell runs at the user's level: a program started elevated would never hear of its own
// button without this.
void AllowTaskbarMessages(HWND window) {
  ChangeWindowMessageFilterEx(window, TaskbarButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

void Win32Backend::SetTaskbarFactory(TaskbarFactory factory) {
  taskbarFactory_ = std::move(factory);
  taskbar_.reset();
}

// Until the shell has made the button it ignores progress for the window, so the taskbar is
// made and told only from here on; a shell that makes none (Wine's) is never asked.
void Win32Backend::TaskbarButtonCreated(HWND window) {
  if (std::find(taskbarButtons_.begin(), taskbarButtons_.end(), window) == taskbarButtons_.end())
    taskbarButtons_.push_back(window);
  if (!taskbar_) taskbar_ = taskbarFactory_ ? taskbarFactory_() : SystemTaskbarList();
  // A new button shows no progress until it is given one.
  if (taskProgress_.state != TaskState::kNone) ApplyTaskProgress(window, true);
}

void Win32Backend::ShowTaskProgress(const TaskProgress& progress) {
  const bool newState = progress.state != taskProgress_.state;
  taskProgress_ = progress;
  for (HWND window : taskbarButtons_) ApplyTaskProgress(window, newState);
}

// A value alone leaves a paused or failed bar as it is, so each new state is set first.
void Win32Backend::ApplyTaskProgress(HWND window, bool withState) {
  if (!taskbar_) return;
  if (withState) taskbar_->SetProgressState(window, TaskbarState(taskProgress_.state));
  if (taskProgress_.state == TaskState::kNone) return;
  const auto total = static_cast<ULONGLONG>(std::max(1.0, std::round(taskProgress_.total)));
  const auto done = std::min(total, static_cast<ULONGLONG>(std::round(taskProgress_.done)));
  taskbar_->SetProgressValue(window, done, total);
}

}  // namespace carvex::ui
