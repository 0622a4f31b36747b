#include "ui/console_backend.h"

#include <cstdio>
#include <iostream>

#include "ui/app.h"
#include "ui/form.h"
#include "ui/console_os.h"
#include "platform/printable.h"

namespace carvex::ui {

std::atomic<bool> gInterrupted{false};
std::atomic<bool> gInterruptSeen{false};

namespace {

const char* ButtonsPrompt(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kYesNo: return "[y]es/[n]o";
    case MsgBoxButtons::kYesNoCancel: return "[y]es/[n]o/[c]ancel";
    case MsgBoxButtons::kOkCancel: return "[o]k/[c]ancel";
    case MsgBoxButtons::kRetryCancel: return "[r]etry/[c]ancel";
    case MsgBoxButtons::kAbortRetryIgnore: return "[a]bort/[r]etry/[i]gnore";
    case MsgBoxButtons::kOkOnly: return "";
  }
  return "";
}

MsgBoxResult Positive(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kYesNo:
    case MsgBoxButtons::kYesNoCancel: return MsgBoxResult::kYes;
    case MsgBoxButtons::kRetryCancel:
    case MsgBoxButtons::kAbortRetryIgnore: return MsgBoxResult::kRetry;
    default: return MsgBoxResult::kOk;
  }
}

MsgBoxResult Negative(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kYesNo: return MsgBoxResult::kNo;
    case MsgBoxButtons::kAbortRetryIgnore: return MsgBoxResult::kAbort;
    case MsgBoxButtons::kOkOnly: return MsgBoxResult::kOk;
    default: return MsgBoxResult::kCancel;
  }
}

// Message texts break lines with LF CR; a terminal wants LF alone. A file name in a message
// may hold any other control character: on a terminal it shows as an escape.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') ++i;
  }
  return platform::ForStream(2, out, true);
}

bool ReadsAs(const std::string& answer, MsgBoxResult result) {
  if (answer.empty()) return false;
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
  switch (result) {
    case MsgBoxResult::kYes: return c == 'y';
    case MsgBoxResult::kNo: return c == 'n';
    case MsgBoxResult::kOk: return c == 'o';
    case MsgBoxResult::kCancel: return c == 'c';
    case MsgBoxResult::kRetry: return c == 'r';
    case MsgBoxResult::kAbort: return c == 'a';
    case MsgBoxResult::kIgnore: return c == 'i';
  }
  return false;
}

}  // namespace

ConsoleBackend::ConsoleBackend(Options options) : options_(options) {
  interactive_ = options.terminal ? *options.terminal != nullptr
                                  : console::StdinIsTerminal() && console::StderrIsTerminal();
  fancy_ = console::StderrIsTerminal();
  console::InstallInterruptHandler();
}

ConsoleBackend::~ConsoleBackend() { EndProgressLine(); }

void ConsoleBackend::OnShowModal(const std::string& formName, std::function<void(Form&)> action) {
  modal_[formName] = std::move(action);
}

MsgBoxResult ConsoleBackend::ShowMsgBox(const MsgBoxRequest& request) {
  EndProgressLine();
  if (request.icon == MsgBoxIcon::kCritical || request.icon == MsgBoxIcon::kExclamation) problemShown_ = true;
  std::cerr << request.title << ": " << ForTerminal(request.prompt) << "\n";
  if (request.buttons == MsgBoxButtons::kOkOnly) {
    // A plain notice in a job's flow is a refusal or a failure unless it is information.
    if (request.icon != MsgBoxIcon::kInformation) problemShown_ = true;
    return MsgBoxResult::kOk;
  }
  const MsgBoxResult answer = Ask(request);
  if (answer != Positive(request.buttons)) questionDeclined_ = true;
  return answer;
}

MsgBoxResult ConsoleBackend::Ask(const MsgBoxRequest& request) {
  // A job waiting on a question is stopped by Ctrl-C as one between two chunks is.
  if (TakeInterrupt()) return Negative(request.buttons);
  if (request.retriesOnly) {
    // Answered for the user, a retry would ask again at once, for ever: only someone who can
    // change the drive in between may answer it, and only once per change.
    if (!interactive_) {
      std::cerr << "There is no terminal to wait on for a change to the drive: answered Cancel, which "
                   "--yes does not change.\n";
      return Negative(request.buttons);
    }
    const std::string retry = request.prompt + '\n' + request.retryState;
    if (lastRetry_ == retry) {
      std::cerr << "Nothing has changed since the last answer (" << request.retryState
                << "); answered Cancel.\n";
      return Negative(request.buttons);
    }
    lastRetry_ = retry;
  } else if (options_.answerYes) {
    std::cerr << "-> yes (--yes)\n";
    return Positive(request.buttons);
  } else if (!interactive_) {
    std::cerr << "There is no terminal to answer this question on; run again with --yes to answer Yes.\n";
    return Negative(request.buttons);
  }
  std::istream& in = options_.terminal ? **options_.terminal : std::cin;
  for (;;) {
    std::cerr << ButtonsPrompt(request.buttons) << "? " << std::flush;
    std::string line;
    const bool read = static_cast<bool>(std::getline(in, line));
    if (TakeInterrupt() || !read) return Negative(request.buttons);
    for (MsgBoxResult r : {MsgBoxResult::kYes, MsgBoxResult::kNo, MsgBoxResult::kOk, MsgBoxResult::kCancel,
                           MsgBoxResult::kRetry, MsgBoxResult::kAbort, MsgBoxResult::kIgnore}) {
      if (!ReadsAs(line, r)) continue;
      const std::string offered = ButtonsPrompt(request.buttons);
      if (offered.find(std::string("[") + static_cast<char>(std::tolower(static_cast<unsigned char>(line[0]))) + "]") !=
          std::string::npos)
        return r;
    }
  }
}

bool ConsoleBackend::TakeInterrupt() {
  if (!gInterrupted.exchange(false)) return false;
  cancelRequested_ = true;
  EndProgressLine();
  std::cerr << "Interrupted.\n";
  return true;
}

void ConsoleBackend::DoEvents() {
  // The job went on since the last retry question: asked again, it is about a new need.
  lastRetry_.reset();
  if (TakeInterrupt()) {
    // The Cancel button of whichever form has one, as Escape would press it.
    for (Form* form : std::vector<Form*>(App().LoadedForms()))
      for (Control* control : form->Controls())
        if (control->Kind() == ControlKind::kCommandButton && static_cast<CommandButton*>(control)->IsCancel &&
            control->Enabled()) {
          static_cast<CommandButton*>(control)->Click();
          return;
        }
  }
}

void ConsoleBackend::ShowForm(Form& form, bool modal) {
  if (!modal) return;
  const auto it = modal_.find(form.Name());
  if (it != modal_.end()) it->second(form);
  // Nothing else can answer a dialog here: one left open is closed as its frame's close box would.
  if (form.IsLoaded() && form.Visible()) form.CloseByUser();
}

void ConsoleBackend::FormUnloaded(Form& form) {
  if (form.Name() == "frmProgressStatus") {
    DrawProgress(true);
    EndProgressLine();
    max_ = value_ = 0;
    lastPercent_ = -1;
  }
}

void ConsoleBackend::PropertyChanged(Control& control, Property property) {
  if (control.Kind() == ControlKind::kProgressBar) {
    const auto& bar = static_cast<const ProgressBar&>(control);
    max_ = bar.Max();
    value_ = bar.Value();
    DrawProgress(false);
  } else if (control.Kind() == ControlKind::kLabel && property == Property::kCaption &&
             control.Parent().Name() == "frmProgressStatus") {
    status_ = static_cast<const Label&>(control).Caption();
    DrawProgress(false);
  }
}

void ConsoleBackend::DrawProgress(bool force) {
  const int percent = max_ > 0 ? static_cast<int>(value_ * 100 / max_) : 0;
  if (!force && percent == lastPercent_ && status_ == lastStatus_) return;
  const bool newStatus = status_ != lastStatus_;
  lastPercent_ = percent;
  lastStatus_ = status_;
  if (fancy_) {
    const int filled = percent / 5;
    std::fprintf(stderr, "\r[%-20s] %3d%%  %.0f/%.0f bytes  %-40.40s", std::string(filled, '#').c_str(), percent,
                 value_, max_, platform::EscapeControlCharacters(status_).c_str());
    lineOpen_ = true;
  } else if (newStatus && !status_.empty()) {
    std::fprintf(stderr, "%3d%%  %s\n", percent, platform::ForStream(2, status_).c_str());
  }
  std::fflush(stderr);
}

void ConsoleBackend::EndProgressLine() {
  if (!lineOpen_) return;
  std::fputc('\n', stderr);
  lineOpen_ = false;
}

bool ConsoleBackend::ShowOpen(CommonDialog& /*dialog*/) { return false; }

std::string ConsoleBackend::BrowseForFolder(Form* /*owner*/, const std::string& /*title*/) { return {}; }

bool ConsoleBackend::ShellOpen(const std::string& /*path*/, Form* /*owner*/) { return false; }

void ConsoleBackend::EndProgram() {
  EndProgressLine();
  std::fflush(nullptr);
  std::_Exit(0);
}

}  // namespace carvex::ui
