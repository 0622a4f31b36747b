#include "ui/headless.h"

#include "ui/form.h"

namespace carvex::ui {

namespace {

std::string Describe(const MsgBoxRequest& r) {
  return "\"" + r.prompt + "\" [" + ToString(r.buttons) + ", " + ToString(r.icon) + ", title \"" + r.title + "\"]";
}

bool Offers(MsgBoxButtons buttons, MsgBoxResult answer) {
  using B = MsgBoxButtons;
  using R = MsgBoxResult;
  switch (buttons) {
    case B::kOkOnly: return answer == R::kOk;
    case B::kOkCancel: return answer == R::kOk || answer == R::kCancel;
    case B::kAbortRetryIgnore: return answer == R::kAbort || answer == R::kRetry || answer == R::kIgnore;
    case B::kYesNoCancel: return answer == R::kYes || answer == R::kNo || answer == R::kCancel;
    case B::kYesNo: return answer == R::kYes || answer == R::kNo;
    case B::kRetryCancel: return answer == R::kRetry || answer == R::kCancel;
  }
  return false;
}

// The answer that goes on least far when a box was not expected.
MsgBoxResult SafeAnswer(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kOkOnly: return MsgBoxResult::kOk;
    case MsgBoxButtons::kYesNo: return MsgBoxResult::kNo;
    case MsgBoxButtons::kAbortRetryIgnore: return MsgBoxResult::kAbort;
    default: return MsgBoxResult::kCancel;
  }
}

}  // namespace

void HeadlessBackend::ExpectMsgBox(std::string prompt, MsgBoxButtons buttons, MsgBoxIcon icon, MsgBoxResult answer,
                                   std::string title) {
  MsgBoxRequest request;
  request.prompt = std::move(prompt);
  request.buttons = buttons;
  request.icon = icon;
  request.title = std::move(title);
  if (!Offers(buttons, answer))
    failures_.push_back("expected box " + Describe(request) + " cannot be answered " + ToString(answer));
  expected_.push_back({std::move(request), answer});
}

void HeadlessBackend::ExpectMsgBoxStartingWith(std::string prefix, MsgBoxButtons buttons, MsgBoxIcon icon,
                                               MsgBoxResult answer, std::string title) {
  ExpectMsgBox(std::move(prefix), buttons, icon, answer, std::move(title));
  expected_.back().prefixOnly = true;
}

void HeadlessBackend::AtDoEvents(int n, std::function<void()> action) {
  actions_.emplace(doEventsCalls_ + n, std::move(action));
}

void HeadlessBackend::OnShowModal(const std::string& formName, std::function<void(Form&)> action) {
  modal_[formName] = std::move(action);
}

MsgBoxResult HeadlessBackend::ShowMsgBox(const MsgBoxRequest& request) {
  if (expected_.empty()) {
    const MsgBoxResult answer = SafeAnswer(request.buttons);
    failures_.push_back("unexpected message box " + Describe(request));
    boxes_.push_back({request, answer});
    return answer;
  }
  const Expected next = expected_.front();
  expected_.pop_front();
  const MsgBoxRequest& want = next.request;
  const bool textMatches = next.prefixOnly ? request.prompt.rfind(want.prompt, 0) == 0 : want.prompt == request.prompt;
  if (!textMatches || want.buttons != request.buttons || want.icon != request.icon ||
      want.title != request.title)
    failures_.push_back("message box " + Describe(request) + " where " + Describe(want) + " was expected");
  boxes_.push_back({request, next.answer});
  return next.answer;
}

void HeadlessBackend::DoEvents() {
  const int now = ++doEventsCalls_;
  // Actions may schedule further ones; take this turn's out before running them.
  std::vector<std::function<void()>> due;
  for (auto it = actions_.begin(); it != actions_.end() && it->first <= now;) {
    due.push_back(std::move(it->second));
    it = actions_.erase(it);
  }
  for (auto& action : due) action();
}

void HeadlessBackend::ShowForm(Form& form, bool modal) {
  shownForms_.push_back(modal ? form.Name() + " (modal)" : form.Name());
  if (!modal) return;
  const auto it = modal_.find(form.Name());
  if (it == modal_.end()) {
    failures_.push_back("unexpected modal form " + form.Name());
  } else {
    it->second(form);
    if (!form.IsLoaded() || !form.Visible()) return;
    failures_.push_back("modal form " + form.Name() + " was left open");
  }
  // A modal show must return; the form is hidden as a user's Escape would not guarantee.
  form.Hide();
}

void HeadlessBackend::PropertyChanged(Control& control, Property property) {
  if (property != Property::kCaption) return;
  if (const auto* captioned = dynamic_cast<const Captioned*>(&control))
    captions_.emplace_back(control.Name(), captioned->Caption());
}

std::vector<std::string> HeadlessBackend::Captions(const std::string& controlName) const {
  std::vector<std::string> out;
  for (const auto& [name, caption] : captions_)
    if (name == controlName) out.push_back(caption);
  return out;
}

bool HeadlessBackend::ShowOpen(CommonDialog& dialog) {
  if (!openAnswer_) {
    failures_.push_back("unexpected Open dialog \"" + dialog.DialogTitle + "\"");
    return false;
  }
  return openAnswer_(dialog);
}

std::string HeadlessBackend::BrowseForFolder(Form* /*owner*/, const std::string& title) {
  if (!folderAnswer_) {
    failures_.push_back("unexpected folder picker \"" + title + "\"");
    return {};
  }
  return folderAnswer_(title);
}

bool HeadlessBackend::ShellOpen(const std::string& path, Form* /*owner*/) {
  shellOpened_.push_back(path);
  return shellOpenResult_;
}

}  // namespace carvex::ui
