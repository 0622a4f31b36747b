#pragma once

// Drives the windows of another program from a test with window messages alone, since Wine
// has no UI Automation: windows are found by class and process, controls by their identifier
// at any depth, and the dialogs that block the program (message boxes, the Open dialog, the
// folder picker) are answered as a user would answer them. Every wait polls up to a limit and
// then throws, naming the windows the program shows, so that a test fails instead of hanging.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace carvex::test::win {

// Wine takes seconds to start a program or open a file dialog, and several times as long while
// other tests keep both cores busy.
inline constexpr std::chrono::milliseconds kWaitLimit{60000};

// A program started for a test; ended by force if it still runs when the object goes.
class Program {
 public:
  // `arguments` is the command line after the program's name, exactly as the program gets it.
  Program(const std::string& path, const std::string& arguments, const std::string& folder);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD Id() const { return info_.dwProcessId; }
  // The exit code; nullopt when the program still runs after `limit`.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds limit = kWaitLimit);

 private:
  PROCESS_INFORMATION info_{};
};

// The folder of the running test program, where the build puts every program.
std::string ThisProgramFolder();

// Polls `done` until it holds; false when `limit` passes first.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWaitLimit);

// A visible top-level window of the process with that class; null when there is none.
HWND FindWindowOf(DWORD processId, const std::wstring& className);
HWND WaitForWindow(DWORD processId, const std::wstring& className,
                   std::chrono::milliseconds limit = kWaitLimit);
// The process's top-level windows and their controls, one line each, for failure messages.
std::string DescribeWindows(DWORD processId);

// The descendant of `root` with identifier `id`, at any depth (controls lie inside panels);
// null when there is none.
HWND FindControl(HWND root, int id);
// The same; throws when there is none.
HWND Control(HWND root, int id);

// A click that does not wait for its handler, which may run a job or show a modal dialog.
void Click(HWND button);
// A click that returns when its handler has run: for handlers that only change settings.
void ClickNow(HWND button);
bool IsChecked(HWND button);
// Typing that the control reports as a change, as it reports the user's typing.
void SetText(HWND control, const std::string& text);
std::string Text(HWND window);
// Whether a click would reach the control: it, its containers and its window are enabled.
bool IsEnabled(HWND control);
bool IsVisible(HWND control);

// The texts of one column of a report-style list view, from the first row down.
std::vector<std::string> ListViewColumn(HWND list, int column = 0);
int TabCount(HWND tabs);
// Zero-based; -1 when none is selected.
int SelectedTab(HWND tabs);
// Selects the zero-based tab and tells the tab control's parent, as a click on the tab does.
void SelectTab(HWND tabs, int index);
// Selects the zero-based item and tells the combo box's parent, as a choice from the list does.
void SelectComboItem(HWND combo, int index);
// Runs the menu entry of `form` whose command is `id`, without waiting for its handler.
void PostMenuCommand(HWND form, int id);

struct ShownBox {
  std::string title;
  std::string text;
};
// Waits for the process's next message box, presses `button` (IDYES, IDOK, ...) and waits for
// the box to close; what the box said.
ShownBox AnswerMessageBox(DWORD processId, int button, std::chrono::milliseconds limit = kWaitLimit);
// Waits for the process's Open dialog and chooses `paths`, which lie in one folder.
void AnswerOpenDialog(DWORD processId, const std::vector<std::string>& paths,
                      std::chrono::milliseconds limit = kWaitLimit);
// Waits for the process's folder picker and chooses `folder`.
void AnswerFolderPicker(DWORD processId, const std::string& folder,
                        std::chrono::milliseconds limit = kWaitLimit);

}  // namespace carvex::test::win
