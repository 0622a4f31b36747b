// The program's forms in real Win32 windows, in this process: every form in both modes
// photographed and its layout checked, at the screen's DPI and at 144 DPI; the keys of dialog
// navigation, files dropped on the lists and the tabs' own tool tips; a job's progress on the
// taskbar button.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frm_carvex.h"
#include "frm_finished.h"
#include "frm_options.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "platform/wide.h"
#include "progress_status.h"
#include "splitter.h"
#include "support/form_showcase.h"
#include "support/temp_dir.h"
#include "support/win_driver.h"
#include "support/win_screens.h"
#include "ui/app.h"
#include "ui/win32_backend.h"

namespace carvex {
namespace {

using test::TempDir;

class Win32Environment : public testing::Environment {
 public:
  void SetUp() override { program = std::make_unique<ui::Win32Program>(); }
  void TearDown() override { program.reset(); }
  static inline std::unique_ptr<ui::Win32Program> program;
};

[[maybe_unused]] testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new Win32Environment);

ui::Win32Backend& Backend() { return Win32Environment::program->Backend(); }

HWND Handle(const ui::Control& control) { return Backend().Handle(control); }
HWND WindowOf(const ui::Form& form) { return Backend().Window(form); }

// Lets posted messages (list rebuilds, deferred destruction, paints) run.
void Settle() {
  MSG msg;
  for (int round = 0; round < 3; ++round) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Backend().Dispatch(msg);
    Backend().Flush();
    Sleep(10);
  }
}

std::string ScreenshotDir() {
  const std::string dir = CARVEX_SCREENSHOT_DIR;
  CreateDirectoryW(platform::Widen(dir).c_str(), nullptr);
  return dir;
}

std::string WindowText(HWND hwnd) {
  wchar_t text[4096] = {};
  GetWindowTextW(hwnd, text, 4096);
  return platform::Narrow(text);
}

std::vector<std::string> ListedNames(const ui::ListView& list) {
  std::vector<std::string> names;
  HWND hwnd = Handle(list);
  for (int i = 0; i < ListView_GetItemCount(hwnd); ++i) {
    wchar_t text[MAX_PATH] = {};
    ListView_GetItemText(hwnd, i, 0, text, MAX_PATH);
    names.push_back(platform::Narrow(text));
  }
  return names;
}

class Win32FormsTest : public testing::Test {
 protected:
  void SetUp() override {
    test::StartFresh(app);
    Backend().OnEndProgram([this] { ++endings; });
  }
  void TearDown() override {
    test::UnloadEverything();
    Settle();
  }
  CarvexForm& ShowMain() {
    frmCarvex->Show();
    Settle();
    return *frmCarvex;
  }
  // The name a layout problem gives a window: the model's name of its control.
  static std::string NameOf(const ui::Form& form, HWND hwnd) {
    for (ui::Control* control : form.Controls())
      if (Handle(*control) == hwnd) return control->Name();
    return "window " + std::to_string(GetDlgCtrlID(hwnd));
  }

  TempDir app, src, dest;
  int endings = 0;
};

UINT WindowDpi(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  const auto forWindow =
      reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return forWindow ? forWindow(window) : 96;
}

// The DPI this run expects: the screen's, or the one the 144 DPI run below sets.
UINT ExpectedDpi() {
  const char* dpi = std::getenv("CARVEX_EXPECT_DPI");
  return dpi ? static_cast<UINT>(std::atoi(dpi)) : 0;
}

TEST_F(Win32FormsTest, EveryFormInBothModesIsLaidOutWithoutClippingOrOverlap) {
  // Wine's comctl32 reports 5.81 whichever version is loaded: the version 6 library is the one
  // that comes from the side-by-side store.
  wchar_t comctl[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), comctl, MAX_PATH);
  EXPECT_NE(platform::Narrow(CharLowerW(comctl)).find("winsxs"), std::string::npos)
      << "common controls version 6 is not loaded: " << platform::Narrow(comctl);

  CarvexForm& w = ShowMain();
  const UINT dpi = WindowDpi(WindowOf(w));
  if (ExpectedDpi()) {
    ASSERT_EQ(dpi, ExpectedDpi());
  }
  test::FillShowcaseLists(w, src, dest);
  for (const test::ShowcaseMode& m : test::ShowcaseModes()) {
    w.tbsTabs.Click(m.tab);
    Settle();
    for (const test::ShowcaseForm& f : test::ShowcaseForms(w, m)) {
      SCOPED_TRACE(std::string(f.name) + " in " + m.mode + " mode at " + std::to_string(dpi) + " dpi");
      ui::Form& form = f.prepare();
      CenterForm(form);
      form.Show();
      Settle();
      HWND window = WindowOf(form);
      ASSERT_TRUE(IsWindowVisible(window));
      const std::string shot = ScreenshotDir() + "/" + f.name + "-" + m.mode + "-" + std::to_string(dpi) + "dpi.png";
      EXPECT_TRUE(test::SaveWindowPng(window, shot)) << shot;
      for (const std::string& problem : test::LayoutProblems(window, [&](HWND hwnd) { return NameOf(form, hwnd); }))
        ADD_FAILURE() << problem;
      // What a box shows is what the model holds.
      for (ui::Control* control : form.Controls())
        if (auto* box = dynamic_cast<ui::TextBox*>(control)) {
          std::string shown = WindowText(Handle(*box));
          std::erase(shown, '\r');
          EXPECT_EQ(shown, box->Text()) << box->Name();
        }
      if (&form != &w) form.Unload();
    }
  }
}

// A screen reader asks each control's window for its accessible object and reads its name:
// every control of the main window and of the Options and Zip dialogs has one, in both modes.
TEST_F(Win32FormsTest, EveryControlHasANameForScreenReaders) {
  CarvexForm& w = ShowMain();
  test::ForEachNamedForm(
      w, [&](int tab) { w.tbsTabs.Click(tab); }, [] { Settle(); },
      [](ui::Form& form, const std::string& where) {
        SCOPED_TRACE(where);
        for (ui::Control* control : form.Controls()) {
          HWND hwnd = Handle(*control);
          if (!hwnd || !IsWindowVisible(hwnd)) continue;
          IAccessible* accessible = nullptr;
          ASSERT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&accessible)),
                    S_OK)
              << control->Name();
          VARIANT self{};
          self.vt = VT_I4;
          self.lVal = CHILDID_SELF;
          BSTR name = nullptr;
          accessible->get_accName(self, &name);
          const std::string text = name ? platform::Narrow(name) : std::string();
          EXPECT_FALSE(text.empty() || text == "...") << control->Name() << " has no name";
          if (!control->AccessibleName().empty()) {
            EXPECT_EQ(text, control->AccessibleName()) << control->Name();
          }
          SysFreeString(name);
          accessible->Release();
        }
      });
}

// The same forms at 144 DPI: the screen's scale is read when a process starts, so a second run
// of this program is started with the scale set, and the setting is put back at once.
TEST(Win32FormsAt144Dpi, EveryFormScalesWithoutClippingOrOverlap) {
  if (ExpectedDpi()) GTEST_SKIP() << "this is the run at 144 DPI";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD old = 0, size = sizeof old, type = 0;
  const bool hadValue = RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old), &size) ==
                        ERROR_SUCCESS;
  const DWORD scaled = 144;
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&scaled), sizeof scaled);

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) +
                         L"\" --gtest_filter=Win32FormsTest.EveryFormInBothModesIsLaidOutWithoutClippingOrOverlap";
  SetEnvironmentVariableW(L"CARVEX_EXPECT_DPI", L"144");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableW(L"CARVEX_EXPECT_DPI", nullptr);
  DWORD code = 1;
  if (started) {
    WaitForInputIdle(process.hProcess, 20000);
    Sleep(2000);  // the child read the scale as it started
  }
  if (hadValue)
    RegSetValueExW(key, L"LogPixels", 0, type, reinterpret_cast<const BYTE*>(&old), sizeof old);
  else
    RegDeleteValueW(key, L"LogPixels");
  RegCloseKey(key);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 240000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u) << "the run at 144 DPI failed; its output is above";
}

// Enter presses the default button and Escape the cancel button, wherever the focus is, as in
// a dialog; the keys go through the same loop as a job's yield.
TEST_F(Win32FormsTest, EnterAndEscapePressTheDefaultAndCancelButtons) {
  const struct {
    WPARAM key;
    const char* button;
  } cases[] = {{VK_RETURN, "cmdOK"}, {VK_ESCAPE, "cmdCancel"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    ShowMain();
    OptionsForm& options = *frmOptions;
    int pressed = 0;
    auto* button = dynamic_cast<ui::CommandButton*>(options.FindControl(c.button));
    ASSERT_NE(button, nullptr);
    button->OnClick = [&pressed] { ++pressed; };
    options.Show();
    Settle();
    HWND focus = GetFocus();
    ASSERT_TRUE(focus && IsChild(WindowOf(options), focus));
    PostMessageW(focus, WM_KEYDOWN, c.key, 1);
    PostMessageW(focus, WM_KEYUP, c.key, 1 | (3u << 30));
    ui::DoEvents();
    Settle();
    EXPECT_EQ(pressed, 1);
    frmOptions.Reset();
  }
}

// Files dropped from the shell take the way of the Add buttons: the split list takes them
// all, the build list the whole set of the piece.
TEST_F(Win32FormsTest, DroppedFilesJoinTheListsAsTheAddButtonsWouldAddThem) {
  src.Write("a.txt", "a");
  src.Write("b.txt", "bb");
  for (int k : {1, 2, 3}) dest.Write(PieceFileName("set.bin", k), std::string(10, 'x'));
  CarvexForm& w = ShowMain();
  const auto drop = [](const ui::ListView& list, const std::vector<std::string>& paths) {
    std::wstring names;
    for (const std::string& path : paths) names += platform::Widen(path) + L'\0';
    names += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(files + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(Handle(list), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    Settle();
  };
  drop(w.lvwSplitFileNames, {src.File("a.txt"), src.File("b.txt")});
  EXPECT_EQ(ListedNames(w.lvwSplitFileNames), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(SendMessageW(Handle(w.chkZipFile), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(Handle(w.chkZipFile)));

  w.tbsTabs.Click(2);
  drop(w.lvwBuildFileNames, {dest.File(PieceFileName("set.bin", 2))});
  EXPECT_EQ(ListedNames(w.lvwBuildFileNames),
            (std::vector<std::string>{"set.bin.001.cvx", "set.bin.002.cvx", "set.bin.003.cvx"}));
}

BOOL CALLBACK CollectMainToolTips(HWND hwnd, LPARAM out) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wstring(cls) == TOOLTIPS_CLASSW && GetWindow(hwnd, GW_OWNER) == Backend().Window(*frmCarvex))
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
  return TRUE;
}

// Each tab has its own tool tip, whichever tab is shown; a control's tip is its own.
TEST_F(Win32FormsTest, TabsAndControlsShowTheirOwnToolTips) {
  CarvexForm& w = ShowMain();
  w.cmdExit.SetToolTipText("Leaves the program");
  HWND tabs = Handle(w.tbsTabs);
  HWND tabTips = TabCtrl_GetToolTips(tabs);
  ASSERT_NE(tabTips, nullptr);
  const auto tip = [&](HWND from, UINT_PTR id) {
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = from;
    info.hdr.idFrom = id;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(WindowOf(w), WM_NOTIFY, id, reinterpret_cast<LPARAM>(&info));
    return info.lpszText ? platform::Narrow(info.lpszText) : std::string();
  };
  EXPECT_EQ(tip(tabTips, 0), "Click to view Split Mode");
  EXPECT_EQ(tip(tabTips, 1), "Click to view Build Mode");
  HWND exit = Handle(w.cmdExit);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  // The form's own tool tip window, beside the one of the tab strip.
  std::vector<HWND> tips;
  EnumThreadWindows(GetCurrentThreadId(), CollectMainToolTips, reinterpret_cast<LPARAM>(&tips));
  std::erase(tips, tabTips);
  ASSERT_EQ(tips.size(), 1u);
  HWND controlTips = tips.front();
  ASSERT_NE(controlTips, nullptr);
  EXPECT_EQ(tip(controlTips, reinterpret_cast<UINT_PTR>(exit)), "Leaves the program");
}

// The spin bar's arrows step the size box, the upper one up, as a user's clicks on them do.
TEST_F(Win32FormsTest, TheSpinArrowsStepTheSizeByOne) {
  CarvexForm& w = ShowMain();
  w.optSizeKb.Click();
  Settle();
  HWND spin = Handle(w.vscSizeKb);
  ASSERT_TRUE(IsWindowEnabled(spin));
  RECT area{};
  GetClientRect(spin, &area);
  const int start = w.vscSizeKb.Value();
  const auto click = [&](int y) {
    const LPARAM at = MAKELPARAM((area.right - area.left) / 2, y);
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(spin, WM_LBUTTONUP, 0, at);
    Settle();
  };
  click(area.top + 2);
  click(area.top + 2);
  EXPECT_EQ(w.vscSizeKb.Value(), start + 2);
  click(area.bottom - 2);
  EXPECT_EQ(w.vscSizeKb.Value(), start + 1);
  EXPECT_EQ(w.txtSizeKb.Text(), std::to_string(start + 1));
  EXPECT_EQ(WindowText(Handle(w.txtSizeKb)), std::to_string(start + 1));
}

// The shell's taskbar as the test sees it: the button's state after each call, read by the
// thread that answers the job's message boxes too.
struct TaskbarShows {
  HWND window = nullptr;
  TBPFLAG state = TBPF_NOPROGRESS;
  ULONGLONG done = 0, total = 0;
  bool operator==(const TaskbarShows&) const = default;
};

class TaskbarStandIn : public ui::TaskbarList {
 public:
  void SetProgressState(HWND window, TBPFLAG state) override {
    Record(window, [&](TaskbarShows& now) { now.state = state; });
  }
  void SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
    Record(window, [&](TaskbarShows& now) {
      now.done = done;
      now.total = total;
    });
    if (const auto hook = std::exchange(onFirstValue, nullptr)) hook();
  }
  std::vector<TaskbarShows> Calls() {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  TaskbarShows Now() {
    const std::vector<TaskbarShows> calls = Calls();
    return calls.empty() ? TaskbarShows{} : calls.back();
  }
  std::function<void()> onFirstValue;

 private:
  void Record(HWND window, const std::function<void(TaskbarShows&)>& change) {
    const std::lock_guard lock(mutex_);
    TaskbarShows now = calls_.empty() ? TaskbarShows{} : calls_.back();
    now.window = window;
    change(now);
    calls_.push_back(now);
  }
  std::mutex mutex_;
  std::vector<TaskbarShows> calls_;
};

// A split shows on the main window's taskbar button once the shell has made it: the bar rises,
// stands paused while Cancel's question waits and red while a failure is reported, and goes when
// the job ends.
TEST_F(Win32FormsTest, TheTaskbarButtonFollowsASplitPausedWhileItAsksAndRedWhileItFails) {
  TaskbarStandIn* taskbar = nullptr;
  int made = 0;
  Backend().SetTaskbarFactory([&] {
    ++made;
    auto standIn = std::make_unique<TaskbarStandIn>();
    taskbar = standIn.get();
    return standIn;
  });
  CarvexForm& w = ShowMain();
  HWND button = WindowOf(w);
  ui::SetTaskProgress(1, 4);
  EXPECT_EQ(made, 0) << "the taskbar was asked before the shell made the button";
  SendMessageW(button, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
  ASSERT_EQ(made, 1);
  EXPECT_EQ(taskbar->Now(), (TaskbarShows{button, TBPF_NORMAL, 1, 4}));
  ui::EndTaskProgress();
  EXPECT_EQ(taskbar->Now().state, TBPF_NOPROGRESS);

  const Bytes size = 8 << 20;
  src.Write("big.bin", test::PatternBytes(size, 9));
  const struct {
    const char* name;
    Bytes measured;
    bool cancel;
    int answer;
    TBPFLAG asking;
  } cases[] = {
      {"Cancel, then No", size, true, IDNO, TBPF_PAUSED},
      {"a source shorter than measured", size + 1, false, IDOK, TBPF_ERROR},
  };
  const DWORD self = GetCurrentProcessId();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = taskbar->Calls().size();
    // Posted as the job starts; the pause lets the job's next yield take it.
    if (c.cancel)
      taskbar->onFirstValue = [self] {
        HWND dialog = test::win::FindWindowOf(self, ui::Win32FormClass("frmProgressStatus"));
        PostMessageW(test::win::Control(dialog, ui::Win32ControlId("cmdCancel")), BM_CLICK, 0, 0);
        Sleep(100);
      };
    CurrentMode = 1;
    ShowFinish = ClearList = kFalse;
    SplitSourcePath = src.File("big.bin");
    SplitFileName = "big.bin";
    SplitFileSize = c.measured;
    SplitPieceSize = 1 << 20;
    SplitDestination = dest.Folder();
    SplitInProgress = true;
    std::atomic<int> asking = -1;
    std::string box, failure;
    std::thread answerer([&] {
      try {
        test::win::WaitForWindow(self, L"#32770");
        asking = taskbar->Now().state;
        box = test::win::AnswerMessageBox(self, c.answer).text;
      } catch (const std::exception& e) {
        failure = e.what();
      }
    });
    SplitFile();
    answerer.join();
    ASSERT_EQ(failure, "");
    EXPECT_EQ(asking, c.asking) << box;

    std::vector<TaskbarShows> calls = taskbar->Calls();
    calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(before));
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front().state, TBPF_NORMAL);
    // The first call sets the state alone, and the bar starts with the second.
    EXPECT_EQ(calls[1].done, 0u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].window, button) << i;
      if (i > 0) {
        EXPECT_EQ(calls[i].total, static_cast<ULONGLONG>(c.measured)) << i;
      }
      if (i > 1) {
        EXPECT_GE(calls[i].done, calls[i - 1].done) << i;
      }
    }
    EXPECT_EQ(calls.back().state, TBPF_NOPROGRESS);
    // The split that went on after the question ran to its end, and the bar with it.
    EXPECT_EQ(calls.back().done == calls.back().total, c.cancel);
  }
  Backend().SetTaskbarFactory(nullptr);
}

TEST(Win32CommandLine, TheProgramsNameIsLeftOffAndTheRestKeptAsTyped) {
  const struct {
    const wchar_t* line;
    const char* rest;
  } cases[] = {
      {L"carvex.exe", ""},
      {L"carvex.exe /s \"C:\\a b\\c.txt\"", "/s \"C:\\a b\\c.txt\""},
      {L"\"C:\\Program Files\\Carvex\\carvex.exe\" /b \"D:\\x.001.cvx\"", "/b \"D:\\x.001.cvx\""},
      {L"\"C:\\Program Files\\Carvex\\carvex.exe\"/z *", "/z *"},
      {L"C:\\carvex.exe \t /s x", "/s x"},
      {L"\"C:\\\xe9t\xe9\\carvex.exe\" /s \"C:\\\xe9t\xe9.txt\"", "/s \"C:\\\xc3\xa9t\xc3\xa9.txt\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::CommandLineAfterProgramName(c.line), c.rest) << platform::Narrow(c.line);
}

}  // namespace
}  // namespace carvex
