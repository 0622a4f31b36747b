// Message boxes, the Open dialog and the folder picker.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "form_view.h"

namespace carvex::ui {

namespace {

struct ButtonAnswer {
  QMessageBox::StandardButton button;
  MsgBoxResult result;
};

// In the order the buttons are offered; the first is the default, as on the original boxes.
std::vector<ButtonAnswer> ButtonsOf(MsgBoxButtons buttons) {
  using B = QMessageBox;
  using R = MsgBoxResult;
  switch (buttons) {
    case MsgBoxButtons::kOkOnly:
      return {{B::Ok, R::kOk}};
    case MsgBoxButtons::kOkCancel:
      return {{B::Ok, R::kOk}, {B::Cancel, R::kCancel}};
    case MsgBoxButtons::kAbortRetryIgnore:
      return {{B::Abort, R::kAbort}, {B::Retry, R::kRetry}, {B::Ignore, R::kIgnore}};
    case MsgBoxButtons::kYesNoCancel:
      return {{B::Yes, R::kYes}, {B::No, R::kNo}, {B::Cancel, R::kCancel}};
    case MsgBoxButtons::kYesNo:
      return {{B::Yes, R::kYes}, {B::No, R::kNo}};
    case MsgBoxButtons::kRetryCancel:
      return {{B::Retry, R::kRetry}, {B::Cancel, R::kCancel}};
  }
  return {{B::Ok, R::kOk}};
}

// What Escape or the frame's close button answers: the way that goes on least far.
MsgBoxResult EscapeAnswer(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kOkOnly:
      return MsgBoxResult::kOk;
    case MsgBoxButtons::kYesNo:
      return MsgBoxResult::kNo;
    case MsgBoxButtons::kAbortRetryIgnore:
      return MsgBoxResult::kAbort;
    default:
      return MsgBoxResult::kCancel;
  }
}

QMessageBox::Icon IconOf(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::kCritical:
      return QMessageBox::Critical;
    case MsgBoxIcon::kQuestion:
      return QMessageBox::Question;
    case MsgBoxIcon::kExclamation:
      return QMessageBox::Warning;
    case MsgBoxIcon::kInformation:
      return QMessageBox::Information;
    case MsgBoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

// The program's texts break lines with "\n\r" (and the system's with "\r\n"); a bare "\r"
// would show as a stray glyph here.
QString DisplayText(const std::string& prompt) {
  QString text = Q(prompt);
  text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  return text;
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const auto at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> QtNameFilters(const std::string& filter) {
  const std::vector<std::string> parts = SplitAt(filter, '|');
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = Trimmed(parts[i]);
    if (!description.empty() && description.back() == ')') {
      const auto open = description.rfind('(');
      if (open != std::string::npos) description = Trimmed(description.substr(0, open));
    }
    std::string patterns;
    for (std::string pattern : SplitAt(parts[i + 1], ';')) {
      pattern = Trimmed(pattern);
      if (pattern.empty()) continue;
      if (pattern == "*.*") pattern = "*";
      patterns += (patterns.empty() ? "" : " ") + pattern;
    }
    if (description.empty() && patterns.empty()) continue;
    if (patterns.empty()) patterns = "*";
    out.push_back((description.empty() ? patterns : description) + " (" + patterns + ")");
  }
  return out;
}

std::string OpenDialogFileName(const std::vector<std::string>& paths) {
  if (paths.empty()) return {};
  if (paths.size() == 1) return paths.front();
  const std::string folder = FolderOf(paths.front());
  std::string out = folder;
  for (const std::string& path : paths) {
    out += '\0';
    out += path.substr(path.rfind('/') + 1);
  }
  return out;
}

MsgBoxResult QtBackend::ShowMsgBox(const MsgBoxRequest& request) {
  QMessageBox box(OwnerWindow(nullptr));
  box.setWindowTitle(Q(request.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(request.prompt));
  box.setIcon(IconOf(request.icon));
  const std::vector<ButtonAnswer> answers = ButtonsOf(request.buttons);
  QMessageBox::StandardButtons buttons;
  for (const ButtonAnswer& a : answers) buttons |= a.button;
  box.setStandardButtons(buttons);
  box.setDefaultButton(answers.front().button);
  const MsgBoxResult escape = EscapeAnswer(request.buttons);
  for (const ButtonAnswer& a : answers)
    if (a.result == escape) box.setEscapeButton(a.button);
  box.exec();
  const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
  for (const ButtonAnswer& a : answers)
    if (a.button == pressed) return a.result;
  return escape;
}

bool QtBackend::ShowOpen(CommonDialog& dialog) {
  QFileDialog picker(OwnerWindow(&dialog.Parent()), Q(dialog.DialogTitle));
  picker.setAcceptMode(QFileDialog::AcceptOpen);
  picker.setFileMode((dialog.Flags & CommonDialog::kAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                                      : QFileDialog::ExistingFile);
  QStringList filters;
  for (const std::string& f : QtNameFilters(dialog.Filter)) filters << Q(f);
  if (!filters.isEmpty()) {
    picker.setNameFilters(filters);
    picker.selectNameFilter(
        filters.value(std::clamp(dialog.FilterIndex, 1, static_cast<int>(filters.size())) - 1));
  }
  // A name handed in may be a path; its folder is where the dialog starts.
  const bool oneName = !dialog.FileName.empty() && dialog.FileName.find('\0') == std::string::npos;
  const std::string folder = oneName ? FolderOf(dialog.FileName) : std::string();
  if (!folder.empty() && QFileInfo(Q(folder)).isDir())
    picker.setDirectory(Q(folder));
  else if (!lastFolder_.empty())
    picker.setDirectory(Q(lastFolder_));
  if (oneName) picker.selectFile(Q(dialog.FileName.substr(dialog.FileName.rfind('/') + 1)));
  if (picker.exec() != QDialog::Accepted) return false;
  std::vector<std::string> paths;
  for (const QString& file : picker.selectedFiles()) paths.push_back(S(file));
  if (paths.empty()) return false;
  lastFolder_ = FolderOf(paths.front());
  dialog.FileName = OpenDialogFileName(paths);
  return true;
}

std::string QtBackend::BrowseForFolder(Form* owner, const std::string& title) {
  QFileDialog picker(OwnerWindow(owner), Q(title));
  picker.setFileMode(QFileDialog::Directory);
  picker.setOption(QFileDialog::ShowDirsOnly);
  if (!lastFolder_.empty()) picker.setDirectory(Q(lastFolder_));
  if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty()) return {};
  std::string folder = S(picker.selectedFiles().front());
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  lastFolder_ = folder;
  return folder;
}

}  // namespace carvex::ui
