#include "ui/win32_backend.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>

#include "ui/app.h"
#include "win32_view.h"

namespace carvex::ui {

// A modal form's nested loop, and the windows it disabled when it began.
struct Win32Backend::ModalLoop {
  const Form* form = nullptr;
  bool done = false;
  std::vector<std::weak_ptr<FormView>> blocked;
};

Win32Backend::Win32Backend() = default;

Win32Backend::~Win32Backend() {
  for (auto& [form, view] : views_) {
    *view->alive = false;
    SetWindowLongPtrW(view->window, GWLP_USERDATA, 0);
    DestroyWindow(view->window);
  }
  views_.clear();
  for (ModalLoop* loop : modalLoops_) loop->done = true;
  ReleasePictures();
  if (&App().GetBackend() == this) App().SetBackend(nullptr);
}

Win32Backend::FormView* Win32Backend::ViewOf(const Form& form) {
  const auto it = views_.find(&form);
  return it == views_.end() ? nullptr : it->second.get();
}

HWND Win32Backend::Window(const Form& form) {
  FormView* view = ViewOf(form);
  return view ? view->window : nullptr;
}

HWND Win32Backend::Handle(const Control& control) {
  FormView* view = ViewOf(control.Parent());
  if (!view) return nullptr;
  FlushDeferred(*view);
  const auto it = view->handles.find(&control);
  return it == view->handles.end() ? nullptr : it->second;
}

// Dialogs go over the window the user works in: the given one, else the active window, else
// the top modal form, else the main window; only one that is shown and takes input (during a
// job that is the progress dialog, not the disabled main window).
HWND Win32Backend::OwnerWindow(const Form* owner) {
  const auto usable = [](HWND w) { return w && IsWindowVisible(w) && IsWindowEnabled(w); };
  if (owner)
    if (HWND w = Window(*owner); usable(w)) return w;
  HWND active = GetActiveWindow();
  for (auto& [form, view] : views_)
    if (view->window == active && usable(active)) return active;
  for (auto it = modalLoops_.rbegin(); it != modalLoops_.rend(); ++it)
    if (HWND w = Window(*(*it)->form); usable(w)) return w;
  if (const Form* main = App().MainForm)
    if (HWND w = Window(*main); usable(w)) return w;
  for (auto& [form, view] : views_)
    if (usable(view->window)) return view->window;
  // The host's window owns what is shown over it even while it is disabled (a host's menu or
  // dialog may hold it so); only a window that is gone owns nothing.
  return hostWindow_ && IsWindow(hostWindow_) ? hostWindow_ : nullptr;
}

void Win32Backend::Dispatch(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root)
    for (auto& [form, view] : views_)
      if (view->window == root) {
        // Tab, Enter and Escape move and press as in a dialog.
        if (IsDialogMessageW(root, &msg)) return;
        break;
      }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Backend::Flush() {
  std::vector<std::shared_ptr<FormView>> views;
  for (auto& [form, view] : views_) views.push_back(view);
  for (auto& view : views)
    if (*view->alive) FlushDeferred(*view);
}

// A job yields once per chunk, thousands of times a second, and changes its status text once
// per piece. Each turn of the loop sets what changed and paints it; turns at most every 40 ms
// (25 a second) keep that near 1% of the job, and a click still lands before a user could
// tell.
void Win32Backend::DoEvents() {
  const auto now = std::chrono::steady_clock::now();
  if (now < nextEvents_) return;
  Flush();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Dispatch(msg);
  }
  nextEvents_ = std::chrono::steady_clock::now() + kEventInterval;
}

void Win32Backend::FormLoaded(Form& form) {
  DropView(form);
  views_.emplace(&form, CreateFormView(*this, form));
}

void Win32Backend::ShowForm(Form& form, bool modal) {
  FormView* view = ViewOf(form);
  if (!view) return;
  HWND window = view->window;
  // The main window has a place on the taskbar; the other forms are dialogs that stay above it.
  const Form* main = App().MainForm;
  HWND owner = main && main != &form ? Window(*main) : nullptr;
  if (!IsWindowVisible(window)) {
    SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (owner) {
      style &= ~static_cast<LONG_PTR>(WS_MINIMIZEBOX);
      exStyle |= WS_EX_DLGMODALFRAME;
    } else {
      style |= WS_MINIMIZEBOX;
      exStyle &= ~static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME);
    }
    SetWindowLongPtrW(window, GWL_STYLE, style);
    SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  PlaceWindow(*view);

  ModalLoop loop;
  loop.form = &form;
  if (modal) {
    // Every other window waits for this one, as with a modal dialog.
    for (auto& [other, otherView] : views_) {
      if (other == &form) continue;
      ++otherView->modalBlocks;
      ApplyFormEnabled(*otherView);
      loop.blocked.push_back(otherView);
    }
    modalLoops_.push_back(&loop);
  }
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  FocusOnShow(*view);
  UpdateWindow(window);
  if (!modal) return;

  MSG msg;
  while (!loop.done && form.IsLoaded() && form.Visible()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the outer loop must see the quit too.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Dispatch(msg);
  }
  EndModalBlock(loop);
  std::erase(modalLoops_, &loop);
}

void Win32Backend::EndModalBlock(ModalLoop& loop) {
  loop.done = true;
  for (auto& weak : loop.blocked)
    if (const auto view = weak.lock(); view && *view->alive) {
      --view->modalBlocks;
      ApplyFormEnabled(*view);
    }
  loop.blocked.clear();
}

void Win32Backend::FormHiding(Form& form) {
  for (ModalLoop* loop : modalLoops_)
    if (loop->form == &form) EndModalBlock(*loop);
  if (HWND window = Window(form)) ShowWindow(window, SW_HIDE);
  // Nested loops wait in GetMessage: wake them to see that their form went.
  PostMessageW(nullptr, WM_NULL, 0, 0);
}

void Win32Backend::FormHidden(Form& form) {
  for (ModalLoop* loop : modalLoops_)
    if (loop->form == &form) EndModalBlock(*loop);
}

void Win32Backend::FormUnloaded(Form& form) {
  FormHiding(form);
  DropView(form);
}

void Win32Backend::DropView(const Form& form) {
  const auto it = views_.find(&form);
  if (it == views_.end()) return;
  FormView& view = *it->second;
  *view.alive = false;
  std::erase(taskbarButtons_, view.window);
  // The controls of the model go before their windows do.
  DetachControls(view);
  // The window may be the one whose message is being handled now: it goes once that is over.
  ShowWindow(view.window, SW_HIDE);
  SetWindowLongPtrW(view.window, GWLP_USERDATA, 0);
  PostMessageW(view.window, kDestroyMessage, 0, 0);
  views_.erase(it);
}

void Win32Backend::PropertyChanged(Control& control, Property property) {
  if (FormView* view = ViewOf(control.Parent())) ApplyProperty(*view, control, property);
}

// The program ends here and now, from whatever nested loop a handler runs in, without the
// unload steps: settings are already saved by the callers and every file is written through.
void Win32Backend::EndProgram() {
  if (endProgram_) {
    endProgram_();
    return;
  }
  std::fflush(nullptr);
  ExitProcess(0);
}

Win32Program::Win32Program() {
  // Per-monitor awareness is declared in the manifest; a system that reads no manifest setting
  // for it is told here.
  using Fn = BOOL(WINAPI*)(HANDLE);
  if (const auto set = reinterpret_cast<Fn>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
    set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                   ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES;
  InitCommonControlsEx(&controls);
  backend_ = std::make_unique<Win32Backend>();
  App().SetBackend(backend_.get());
}

Win32Program::~Win32Program() {
  backend_.reset();
  if (comReady_) CoUninitialize();
}

int Win32Program::Run() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got < 0) return 1;
    backend_->Dispatch(msg);
  }
}

std::string CommandLineAfterProgramName(std::wstring_view line) {
  std::size_t i = 0;
  // The program's name is quoted when it holds blanks; it runs to the next blank otherwise.
  if (!line.empty() && line[0] == L'"') {
    const auto close = line.find(L'"', 1);
    i = close == std::wstring_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
  }
  while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
  return U(line.substr(i));
}

}  // namespace carvex::ui
