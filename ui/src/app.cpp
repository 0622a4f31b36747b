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
  return App().GetBackend().ShowMsgBox(request);
}

void DoEvents() { App().GetBackend().DoEvents(); }

bool ShellOpen(const std::string& path, Form* owner) { return App().GetBackend().ShellOpen(path, owner); }

void EndProgram() { App().GetBackend().EndProgram(); }

std::string BrowseForFolder(Form* owner, const std::string& title) {
  return App().GetBackend().BrowseForFolder(owner, title);
}

void SetClipboardText(const std::string& text) { App().GetBackend().SetClipboardText(text); }

}  // namespace carvex::ui
