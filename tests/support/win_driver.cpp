#include "support/win_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "platform/wide.h"

namespace carvex::test::win {

namespace {

using platform::Narrow;
using platform::Widen;

constexpr std::chrono::milliseconds kPollInterval{50};
// A program busy in a job still answers between chunks; one that does not answer for this
// long is hung, and the test fails instead of waiting with it.
constexpr UINT kSendLimitMs = 15000;
constexpr wchar_t kDialogClass[] = L"#32770";
// The static that holds a message box's text.
constexpr int kBoxTextId = 0xFFFF;
// The file name field of the Open dialog: a combo box, or an edit field in older templates.
constexpr int kOpenFileNameCombo = 0x47C;
constexpr int kOpenFileNameEdit = 0x480;
constexpr int kOpenShellView = 0x461;
constexpr int kOpenLookIn = 0x471;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string Hex(LONG_PTR value) {
  char text[20];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendLimitMs, &result))
    Fail("message " + Hex(message) + " to window " + Hex(reinterpret_cast<LONG_PTR>(window)) +
         " got no answer (error " + std::to_string(::GetLastError()) + ")");
  return static_cast<LRESULT>(result);
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!::PostMessageW(window, message, wParam, lParam))
    Fail("could not post message " + Hex(message) + " (error " + std::to_string(::GetLastError()) + ")");
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

bool IsClass(HWND window, const wchar_t* name) { return ::lstrcmpiW(ClassOf(window).c_str(), name) == 0; }

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process;
}

// Windows calls back with its own calling convention, which a lambda has not on 32-bit x86.
BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

template <typename Visit>
void ForEachTopLevel(Visit visit) {
  std::vector<HWND> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows) visit(window);
}

// Every descendant, depth first.
std::vector<HWND> Descendants(HWND root) {
  std::vector<HWND> found;
  ::EnumChildWindows(root, CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A visible top-level dialog of the process that `accepts`; null when there is none.
HWND FindDialog(DWORD processId, const std::function<bool(HWND)>& accepts) {
  HWND found = nullptr;
  ForEachTopLevel([&](HWND window) {
    if (!found && ProcessOf(window) == processId && ::IsWindowVisible(window) &&
        IsClass(window, kDialogClass) && accepts(window))
      found = window;
  });
  return found;
}

HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& accepts, const std::string& what,
                   std::chrono::milliseconds limit) {
  HWND found = nullptr;
  if (!WaitUntil([&] { return (found = FindDialog(processId, accepts)) != nullptr; }, limit))
    Fail("no " + what + " appeared; the program shows:\n" + DescribeWindows(processId));
  return found;
}

// A message box holds nothing but its icon, its text and its buttons.
bool IsMessageBox(HWND dialog) {
  bool hasText = false;
  for (HWND child : Descendants(dialog)) {
    if (IsClass(child, L"Static")) {
      hasText = hasText || ::GetDlgCtrlID(child) == kBoxTextId;
    } else if (!IsClass(child, L"Button")) {
      return false;
    }
  }
  return hasText;
}

HWND OpenFileNameField(HWND dialog) {
  for (int id : {kOpenFileNameCombo, kOpenFileNameEdit})
    if (HWND field = FindControl(dialog, id); field && ::IsWindowVisible(field)) return field;
  return nullptr;
}

// The classic Open dialog has its "Look in" box; the item dialog that picks folders has none.
bool IsOpenDialog(HWND dialog) { return FindControl(dialog, kOpenLookIn) && OpenFileNameField(dialog); }

bool IsFolderPicker(HWND dialog) { return !FindControl(dialog, kOpenLookIn) && OpenFileNameField(dialog); }

// The list of the folder's files, inside the shell view.
HWND OpenDialogFileList(HWND dialog) {
  for (HWND child : Descendants(Control(dialog, kOpenShellView)))
    if (IsClass(child, WC_LISTVIEWW)) return child;
  Fail("the Open dialog shows no file list:\n" + DescribeWindows(ProcessOf(dialog)));
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The dialog ends itself once the button's command reaches it.
void PressDialogButton(HWND dialog, int id) {
  HWND button = FindControl(dialog, id);
  if (!button)
    Fail("the dialog has no button " + std::to_string(id) + ":\n" + DescribeWindows(ProcessOf(dialog)));
  Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void WaitUntilClosed(HWND dialog, const std::string& what, std::chrono::milliseconds limit) {
  const DWORD process = ProcessOf(dialog);
  if (!WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, limit))
    Fail(what + " stayed open; the program shows:\n" + DescribeWindows(process));
}

// Memory inside another process, for the messages whose parameters point at structures there.
class RemoteMemory {
 public:
  RemoteMemory(HWND window, std::size_t size) : size_(size) {
    process_ =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(window));
    if (!process_) Fail("cannot open the program's process (error " + std::to_string(::GetLastError()) + ")");
    address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!address_) {
      ::CloseHandle(process_);
      Fail("cannot allocate memory in the program's process");
    }
  }
  ~RemoteMemory() {
    ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    ::CloseHandle(process_);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;

  char* Address() const { return static_cast<char*>(address_); }
  void Write(std::size_t offset, const void* bytes, std::size_t size) {
    if (offset + size > size_ || !::WriteProcessMemory(process_, Address() + offset, bytes, size, nullptr))
      Fail("cannot write to the program's memory");
  }
  void Read(std::size_t offset, void* bytes, std::size_t size) const {
    if (offset + size > size_ || !::ReadProcessMemory(process_, Address() + offset, bytes, size, nullptr))
      Fail("cannot read the program's memory");
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_;
};

HWND ParentOf(HWND control) { return ::GetAncestor(control, GA_PARENT); }

}  // namespace

Program::Program(const std::string& path, const std::string& arguments, const std::string& folder) {
  std::wstring commandLine = L"\"" + Widen(path) + L"\"";
  if (!arguments.empty()) commandLine += L" " + Widen(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!::CreateProcessW(Widen(path).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Widen(folder).c_str(), &startup, &info_))
    Fail("cannot start " + path + " (error " + std::to_string(::GetLastError()) + ")");
}

Program::~Program() {
  if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(info_.hProcess, 1);
    ::WaitForSingleObject(info_.hProcess, 10000);
  }
  ::CloseHandle(info_.hThread);
  ::CloseHandle(info_.hProcess);
}

std::optional<DWORD> Program::WaitForExit(std::chrono::milliseconds limit) {
  if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

std::string ThisProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return Narrow(path.substr(0, path.find_last_of(L'\\')));
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

HWND FindWindowOf(DWORD processId, const std::wstring& className) {
  HWND found = nullptr;
  ForEachTopLevel([&](HWND window) {
    if (!found && ProcessOf(window) == processId && ::IsWindowVisible(window) &&
        IsClass(window, className.c_str()))
      found = window;
  });
  return found;
}

HWND WaitForWindow(DWORD processId, const std::wstring& className, std::chrono::milliseconds limit) {
  HWND found = nullptr;
  if (!WaitUntil([&] { return (found = FindWindowOf(processId, className)) != nullptr; }, limit))
    Fail("no window of class " + Narrow(className) + " appeared; the program shows:\n" +
         DescribeWindows(processId));
  return found;
}

std::string DescribeWindows(DWORD processId) {
  std::string text;
  const auto line = [&](HWND window, const std::string& indent) {
    text += indent + Narrow(ClassOf(window));
    if (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) text += " id " + Hex(::GetDlgCtrlID(window));
    wchar_t caption[200] = {};
    // The caption the system keeps: asking the window itself could block on a busy program.
    ::InternalGetWindowText(window, caption, 200);
    text += " \"" + Narrow(caption) + "\"";
    if (!::IsWindowVisible(window)) text += " hidden";
    if (!::IsWindowEnabled(window)) text += " disabled";
    text += '\n';
  };
  ForEachTopLevel([&](HWND window) {
    if (ProcessOf(window) != processId || !::IsWindowVisible(window)) return;
    line(window, "");
    for (HWND child : Descendants(window)) line(child, "  ");
  });
  return text.empty() ? "(no visible window)\n" : text;
}

HWND FindControl(HWND root, int id) {
  for (HWND child : Descendants(root))
    if (::GetDlgCtrlID(child) == id) return child;
  return nullptr;
}

HWND Control(HWND root, int id) {
  HWND found = FindControl(root, id);
  if (!found) Fail("no control with id " + std::to_string(id) + " in:\n" + DescribeWindows(ProcessOf(root)));
  return found;
}

void Click(HWND button) { Post(button, BM_CLICK, 0, 0); }

void ClickNow(HWND button) { Send(button, BM_CLICK, 0, 0); }

bool IsChecked(HWND button) { return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetText(HWND control, const std::string& text) {
  const std::wstring wide = Widen(text);
  Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string Text(HWND window) {
  const auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return Narrow(text);
}

bool IsEnabled(HWND control) {
  for (HWND window = control; window; window = ParentOf(window)) {
    if (!::IsWindowEnabled(window)) return false;
    if (!(::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) return true;
  }
  return true;
}

bool IsVisible(HWND control) { return ::IsWindowVisible(control) != FALSE; }

std::vector<std::string> ListViewColumn(HWND list, int column) {
  constexpr std::size_t kTextUnits = 1024;
  RemoteMemory memory(list, sizeof(LVITEMW) + kTextUnits * sizeof(wchar_t));
  std::vector<std::string> texts;
  const auto count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(memory.Address() + sizeof(LVITEMW));
    item.cchTextMax = static_cast<int>(kTextUnits);
    memory.Write(0, &item, sizeof item);
    const auto length = static_cast<std::size_t>(
        Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.Address())));
    std::wstring text(length, L'\0');
    memory.Read(sizeof(LVITEMW), text.data(), length * sizeof(wchar_t));
    texts.push_back(Narrow(text));
  }
  return texts;
}

int TabCount(HWND tabs) { return static_cast<int>(Send(tabs, TCM_GETITEMCOUNT, 0, 0)); }

int SelectedTab(HWND tabs) { return static_cast<int>(Send(tabs, TCM_GETCURSEL, 0, 0)); }

// TCM_SETCURSEL tells nobody, and Wine carries no WM_NOTIFY from another process. Moving the
// focus to a tab selects it, and the tab control itself then tells its parent, as on a click.
void SelectTab(HWND tabs, int index) {
  if (index < 0 || index >= TabCount(tabs)) Fail("the tab control has no tab " + std::to_string(index));
  Send(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
}

void SelectComboItem(HWND combo, int index) {
  if (Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR)
    Fail("the combo box has no item " + std::to_string(index));
  Send(ParentOf(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
       reinterpret_cast<LPARAM>(combo));
}

void PostMenuCommand(HWND form, int id) { Post(form, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

ShownBox AnswerMessageBox(DWORD processId, int button, std::chrono::milliseconds limit) {
  HWND box = WaitForDialog(processId, IsMessageBox, "message box", limit);
  ShownBox shown{Text(box), Text(Control(box, kBoxTextId))};
  PressDialogButton(box, button);
  WaitUntilClosed(box, "the message box \"" + shown.text + "\"", limit);
  return shown;
}

void AnswerOpenDialog(DWORD processId, const std::vector<std::string>& paths,
                      std::chrono::milliseconds limit) {
  if (paths.empty()) Fail("no path to open");
  HWND dialog = WaitForDialog(processId, IsOpenDialog, "Open dialog", limit);
  std::string typed;
  if (paths.size() == 1) {
    typed = paths.front();
  } else {
    // Several names are taken relative to the dialog's folder only: a folder typed alone
    // makes it the dialog's, and then the dialog lists the files to be chosen.
    const std::string folder = paths.front().substr(0, paths.front().find_last_of('\\'));
    SetText(OpenFileNameField(dialog), folder);
    PressDialogButton(dialog, IDOK);
    const std::string first = paths.front().substr(folder.size() + 1);
    if (!WaitUntil([&] { return Contains(ListViewColumn(OpenDialogFileList(dialog)), first); }, limit))
      Fail("the Open dialog did not move to " + folder + ":\n" + DescribeWindows(processId));
    for (const std::string& path : paths)
      typed += (typed.empty() ? "\"" : " \"") + path.substr(folder.size() + 1) + "\"";
  }
  SetText(OpenFileNameField(dialog), typed);
  PressDialogButton(dialog, IDOK);
  WaitUntilClosed(dialog, "the Open dialog", limit);
}

void AnswerFolderPicker(DWORD processId, const std::string& folder, std::chrono::milliseconds limit) {
  HWND dialog = WaitForDialog(processId, IsFolderPicker, "folder picker", limit);
  SetText(OpenFileNameField(dialog), folder);
  PressDialogButton(dialog, IDOK);
  WaitUntilClosed(dialog, "the folder picker", limit);
}

}  // namespace carvex::test::win
