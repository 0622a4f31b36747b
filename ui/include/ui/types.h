#pragma once

#include <cstdint>
#include <string>

namespace carvex::ui {

// Geometry is kept in twips, 1/1440 inch; 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

enum class MsgBoxButtons { kOkOnly, kOkCancel, kAbortRetryIgnore, kYesNoCancel, kYesNo, kRetryCancel };
enum class MsgBoxIcon { kNone, kCritical, kQuestion, kExclamation, kInformation };
enum class MsgBoxResult { kOk = 1, kCancel, kAbort, kRetry, kIgnore, kYes, kNo };

struct MsgBoxRequest {
  std::string prompt;
  MsgBoxButtons buttons = MsgBoxButtons::kOkOnly;
  MsgBoxIcon icon = MsgBoxIcon::kNone;
  std::string title;
  // The positive answer does nothing but look again at something outside the program (a disk
  // in the drive, the free space): a front end that answers for the user must not give it.
  bool retriesOnly = false;
  // What the retry looks at, as it stands now (for example the free bytes). The same text
  // twice in a row means nothing changed in between.
  std::string retryState;
};

// An image as the model knows it: where it comes from, not its pixels. Backends turn it
// into something they can draw (the shell's icon of a file, a bundled resource).
struct Picture {
  enum class Source { kNone, kFileIcon, kResource };
  Source source = Source::kNone;
  std::string name;  // file path or resource name
  bool operator==(const Picture&) const = default;
};

// A running job's progress as the desktop shows it beside the program's own windows: on the
// taskbar button, on a dock's launcher.
enum class TaskState { kNone, kNormal, kPaused, kError };
struct TaskProgress {
  TaskState state = TaskState::kNone;
  double done = 0;  // of total, 0 <= done <= total
  double total = 0;
  double Fraction() const { return total > 0 ? done / total : 0; }
  bool operator==(const TaskProgress&) const = default;
};

const char* ToString(MsgBoxButtons buttons);
const char* ToString(MsgBoxIcon icon);
const char* ToString(MsgBoxResult result);

}  // namespace carvex::ui
