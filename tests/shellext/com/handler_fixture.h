#pragma once

// What the tests that drive verbhook.dll's classes through COM share: the library registered as
// regsvr32 registers it, the real menu configuration and hand-off key of the Wine prefix, the
// classic menu read back item by item, the clipboard, and programs that a command starts.

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "drop_list.h"
#include "platform/wide.h"
#include "support/temp_dir.h"
#include "verbhook_com.h"

namespace carvex::test {

inline constexpr char kHandOffKey[] = "SOFTWARE\\Orvane Software\\Carvex\\Ravelin";

// A popup menu, destroyed with the object.
class Popup {
 public:
  Popup() : menu_(::CreatePopupMenu()) {}
  ~Popup() { ::DestroyMenu(menu_); }
  Popup(const Popup&) = delete;
  Popup& operator=(const Popup&) = delete;
  HMENU Get() const { return menu_; }

 private:
  HMENU menu_;
};

// One item of a menu as Win32 keeps it: its type, identifier, submenu and check-mark bitmaps,
// and its text as given to the menu, "&" marks included.
struct MenuItemSeen {
  MENUITEMINFOW info{};
  std::string text;
};

// Calls `visit` with each item of `menu`, a submenu's items after it, with how deep it lies.
template <typename Visit>
void WalkMenu(HMENU menu, Visit&& visit, int depth = 0) {
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    wchar_t text[1024] = {};
    MenuItemSeen item;
    item.info.cbSize = sizeof item.info;
    item.info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_CHECKMARKS;
    item.info.dwTypeData = text;
    item.info.cch = std::size(text);
    EXPECT_TRUE(::GetMenuItemInfoW(menu, position, TRUE, &item.info));
    item.text = platform::Narrow(text);
    visit(item, depth);
    if (item.info.hSubMenu) WalkMenu(item.info.hSubMenu, visit, depth + 1);
  }
}

// Each item of `menu`, one line: "+offset caption" for an identifier from `idCmdFirst` on,
// "#id caption" below it, "-- +offset" for a separator, "> caption" for a submenu (its items
// follow, indented), then " |" for a new column and " [bitmap]" for check-mark bitmaps.
inline std::vector<std::string> Describe(HMENU menu, UINT idCmdFirst) {
  std::vector<std::string> lines;
  WalkMenu(menu, [&](const MenuItemSeen& seen, int depth) {
    const MENUITEMINFOW& item = seen.info;
    const std::string id =
        item.wID >= idCmdFirst ? "+" + std::to_string(item.wID - idCmdFirst) : "#" + std::to_string(item.wID);
    std::string line(static_cast<std::size_t>(depth) * 2, ' ');
    if (item.fType & MFT_SEPARATOR)
      line += "-- " + id;
    else if (item.hSubMenu)
      line += "> " + seen.text;
    else
      line += id + " " + seen.text;
    if (item.fType & MFT_MENUBARBREAK) line += " |";
    EXPECT_EQ(item.hbmpChecked, item.hbmpUnchecked) << line;
    if (item.hbmpChecked) line += " [bitmap]";
    lines.push_back(line);
  });
  return lines;
}

inline std::string ClipboardText() {
  if (!::OpenClipboard(nullptr)) return "(clipboard busy)";
  std::string text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    text = platform::Narrow(static_cast<const wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

inline void SetClipboardText(const std::string& text) {
  const std::wstring wide = platform::Widen(text);
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
  std::memcpy(::GlobalLock(memory), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  ::SetClipboardData(CF_UNICODETEXT, memory);
  ::CloseClipboard();
}

// A window of the calling thread, as each window of the file manager is.
class Window {
 public:
  Window()
      : window_(::CreateWindowExW(0, L"Static", L"file manager", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, nullptr, nullptr)) {}
  ~Window() { ::DestroyWindow(window_); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  HWND Get() const { return window_; }

 private:
  HWND window_;
};

// A record of an external command with `caption`, and `more` elements.
inline std::string Item(const std::string& caption, const std::string& more = "") {
  return "<caption>" + caption + "</caption><command>run.exe</command>" + more;
}

// Ends every program started from `folder` when the test ends, however it ends: a program the
// shell started would otherwise outlive the test and hold its output open.
inline bool StartedFrom(DWORD processId, const std::wstring& folder) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  wchar_t image[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const bool inside = ::QueryFullProcessImageNameW(process, 0, image, &size) &&
                      ::CompareStringOrdinal(image, static_cast<int>(folder.size()), folder.c_str(),
                                             static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
  ::CloseHandle(process);
  return inside;
}

class EndProgramsFrom {
 public:
  explicit EndProgramsFrom(std::wstring folder) : folder_(std::move(folder)) {}
  ~EndProgramsFrom() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
      if (!StartedFrom(entry.th32ProcessID, folder_)) continue;
      if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
      }
    }
    ::CloseHandle(snapshot);
  }

 private:
  std::wstring folder_;
};

// A copy of the recording program (start_recorder) in a folder of its own, ended with the object
// if it still runs.
class Recorder {
 public:
  Recorder()
      : program_(folder_.File(CARVEX_START_RECORDER)),
        record_(folder_.File("start.txt")),
        ending_(platform::Widen(folder_.Path())) {
    copied_ = ::CopyFileW(platform::Widen(win::ThisProgramFolder() + "\\" + CARVEX_START_RECORDER).c_str(),
                          platform::Widen(program_).c_str(), FALSE);
  }
  bool Copied() const { return copied_; }
  const std::string& Program() const { return program_; }
  // Forgets the last start, so that the next one can be told from it.
  void Clear() const { ::DeleteFileW(platform::Widen(record_).c_str()); }
  // What the program recorded once it has started: its folder, show command and arguments, a
  // line each; nullopt when it did not start in time.
  std::optional<std::string> Record() const {
    if (!win::WaitUntil([&] {
          return ::GetFileAttributesW(platform::Widen(record_).c_str()) != INVALID_FILE_ATTRIBUTES;
        }))
      return std::nullopt;
    return ReadFileBytes(record_);
  }

 private:
  TempDir folder_;
  std::string program_;
  std::string record_;
  EndProgramsFrom ending_;
  bool copied_ = false;
};

// Registers the library and clears the menu configuration before each test, and clears it again
// after.
class VerbhookComTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    // Registered as regsvr32 would do it, without a process of its own: the registration
    // tests run regsvr32 itself.
    HMODULE library = ::LoadLibraryW(platform::Widen(LibraryFile()).c_str());
    ASSERT_NE(library, nullptr);
    const auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(library, "DllRegisterServer")));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    ::FreeLibrary(library);
    ClearMenu();
  }
  void TearDown() override {
    ClearMenu();
    ::CoUninitialize();
  }

  static void ClearMenu() {
    if (auto handOff = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, kHandOffKey))
      handOff->DeleteSubKeyTree("Contents");
  }
  static void AddRecord(const std::string& subKey, const std::string& name, const std::string& record) {
    platform::RegistryKey::Create(platform::RegistryRoot::kCurrentUser,
                                  std::string(kContentsKey) + (subKey.empty() ? "" : "\\" + subKey))
        .SetString(name, record);
  }
  // The paths of the hand-off's list, in the registry's order.
  static std::vector<std::string> HandOffList() {
    std::vector<std::string> listed;
    if (auto list = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser,
                                                std::string(kHandOffKey) + "\\fileNames"))
      for (const auto& [name, value] : list->Values()) listed.push_back(name);
    return listed;
  }
  static std::string HandOff(const char* value) {
    return ReadString(platform::RegistryRoot::kCurrentUser, kHandOffKey, value).value_or("(missing)");
  }

  static Com<IShellExtInit> CreateHandler() {
    Com<IShellExtInit> handler;
    EXPECT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, handler.Put()),
              S_OK);
    return handler;
  }
  // A handler initialised for `paths`, asked for its menu interface.
  static Com<IContextMenu> HandlerFor(const std::vector<std::string>& paths) {
    Com<IShellExtInit> handler = CreateHandler();
    Com<IContextMenu> menu;
    if (!handler) return menu;
    DropList selection(paths);
    EXPECT_EQ(handler->Initialize(nullptr, &selection, nullptr), S_OK);
    EXPECT_EQ(handler->QueryInterface(IID_IContextMenu, menu.Put()), S_OK);
    return menu;
  }

  TempDir files_;
};

}  // namespace carvex::test
