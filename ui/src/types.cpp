#include "ui/types.h"

namespace carvex::ui {

const char* ToString(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kOkOnly: return "OK";
    case MsgBoxButtons::kOkCancel: return "OK/Cancel";
    case MsgBoxButtons::kAbortRetryIgnore: return "Abort/Retry/Ignore";
    case MsgBoxButtons::kYesNoCancel: return "Yes/No/Cancel";
    case MsgBoxButtons::kYesNo: return "Yes/No";
    case MsgBoxButtons::kRetryCancel: return "Retry/Cancel";
  }
  return "?";
}

const char* ToString(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::kNone: return "no icon";
    case MsgBoxIcon::kCritical: return "critical";
    case MsgBoxIcon::kQuestion: return "question";
    case MsgBoxIcon::kExclamation: return "exclamation";
    case MsgBoxIcon::kInformation: return "information";
  }
  return "?";
}

const char* ToString(MsgBoxResult result) {
  switch (result) {
    case MsgBoxResult::kOk: return "OK";
    case MsgBoxResult::kCancel: return "Cancel";
    case MsgBoxResult::kAbort: return "Abort";
    case MsgBoxResult::kRetry: return "Retry";
    case MsgBoxResult::kIgnore: return "Ignore";
    case MsgBoxResult::kYes: return "Yes";
    case MsgBoxResult::kNo: return "No";
  }
  return "?";
}

}  // namespace carvex::ui
