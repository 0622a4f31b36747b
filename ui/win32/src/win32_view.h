#pragma once

// The windows that draw one loaded form, and the code that keeps them in step with the model.

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "ui/form.h"
#include "ui/sync_scope.h"
#include "ui/win32_backend.h"

namespace carvex::ui {

// Posted to a form's window: draw what was left for the next turn of the loop.
inline constexpr UINT kFlushMessage = WM_APP + 1;
// Posted to a dropped form's window: destroy it, now that no handler of it runs any more.
inline constexpr UINT kDestroyMessage = WM_APP + 2;

struct Win32Backend::FormView : std::enable_shared_from_this<FormView> {
  ~FormView();

  Win32Backend* backend = nullptr;
  Form* form = nullptr;
  HWND window = nullptr;
  UINT dpi = 96;
  HFONT font = nullptr;
  HMENU menuBar = nullptr;
  HWND toolTip = nullptr;
  // The window of each control; a captioned frame is a panel with a group box inside it.
  std::unordered_map<const Control*, HWND> handles;
  std::unordered_map<const Control*, HWND> groupBoxes;
  std::unordered_map<HWND, Control*> controls;
  std::unordered_map<int, Control*> byId;
  std::unordered_map<int, Menu*> menus;
  // Image lists a list view owns (those that hold the program's own pictures).
  std::unordered_map<const ListView*, HIMAGELIST> imageLists;
  // False once the form is unloaded: late messages then leave the model alone.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  bool placed = false;
  // Modal forms shown over this one, which keep it disabled.
  int modalBlocks = 0;
  // What is drawn once on the next turn of the loop, however often it changed before.
  std::unordered_set<ListView*> staleLists;
  std::unordered_set<Label*> staleLabels;
  bool flushPosted = false;
  // Each progress bar's length in pixels and the position it shows, so that a value that does
  // not move the bar costs no call to the window at all.
  struct BarState {
    int steps = 0;
    int position = -1;
  };
  std::unordered_map<const ProgressBar*, BarState> bars;
  // The text a tool tip shows, kept while it shows it.
  std::wstring tipText;
  HWND lastFocus = nullptr;
};

// The message the shell sends a window once its taskbar button exists.
UINT TaskbarButtonCreatedMessage();
// Lets that message through to a program that runs at a higher level than the shell.
void AllowTaskbarMessages(HWND window);

// Twips to pixels at `dpi`, to the nearest pixel: the one scaling of the backend.
int Px(int twips, UINT dpi);
std::wstring W(std::string_view utf8);
std::string U(std::wstring_view wide);
std::wstring WideWindowText(HWND window);
std::string WindowText(HWND window);

UINT WindowDpi(HWND window);
// Creates the form's window and one window per control, showing the model's state now.
std::shared_ptr<Win32Backend::FormView> CreateFormView(Win32Backend& backend, Form& form);
// Copies one property of a control (or of the form) from the model into its window.
void ApplyProperty(Win32Backend::FormView& view, Control& control, Property property);
// Draws now what was left for the next turn of the loop.
void FlushDeferred(Win32Backend::FormView& view);
// Sets the form window's size and place from the model (centred on the screen the first
// time when the model leaves it at the origin).
void PlaceWindow(Win32Backend::FormView& view);
// Stops the control windows from calling into the model's controls.
void DetachControls(Win32Backend::FormView& view);
// Gives the focus to the model's control, or to the form's first control.
void FocusOnShow(Win32Backend::FormView& view);
// Enables the form's window as the model and the modal forms over it allow.
void ApplyFormEnabled(Win32Backend::FormView& view);
// Lays every control out again after the window's DPI changed.
void ApplyDpi(Win32Backend::FormView& view, UINT dpi);

// Images: an icon of `side` pixels for a picture of the model (owned by the cache), and the
// system's small image list with the index of a file's icon in it.
HICON PictureIcon(const Picture& picture, int side);
HIMAGELIST SystemSmallImages();
int SystemIconIndex(const std::string& path);
void ReleasePictures();

}  // namespace carvex::ui
