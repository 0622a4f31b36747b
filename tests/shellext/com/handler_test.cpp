// The context-menu handler of verbhook.dll as the file manager drives it: registered, created
// through COM by its class, initialised with a drop list, asked for its menu on a real popup
// menu, for help texts, and to run an item. It reads and writes the user's real hand-off key
// and menu configuration, in the test's own Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "drop_list.h"
#include "handler_fixture.h"
#include "platform/wide.h"
#include "support/temp_dir.h"
#include "ui/win32_backend.h"
#include "verbhook_com.h"

namespace carvex::test {
namespace {

using platform::Narrow;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::Widen;

// The shell's own object of `riid` for one file or folder, as the file manager gets it.
HRESULT ShellObjectOf(const std::string& path, REFIID riid, void** object) {
  PIDLIST_ABSOLUTE item = nullptr;
  HRESULT result = ::SHParseDisplayName(Widen(path).c_str(), nullptr, &item, 0, nullptr);
  if (FAILED(result)) return result;
  Com<IShellFolder> parent;
  PCUITEMID_CHILD child = nullptr;
  result = ::SHBindToParent(item, IID_IShellFolder, parent.Put(), &child);
  if (SUCCEEDED(result)) result = parent->GetUIObjectOf(nullptr, 1, &child, riid, nullptr, object);
  ::CoTaskMemFree(item);
  return result;
}

// The colours of a bitmap, 0xRRGGBB, row by row.
std::vector<std::uint32_t> PixelsOf(HBITMAP bitmap, int& width, int& height) {
  BITMAP info{};
  ::GetObjectW(bitmap, sizeof info, &info);
  width = info.bmWidth;
  height = info.bmHeight;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  HDC screen = ::GetDC(nullptr);
  ::GetDIBits(screen, bitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

HBITMAP CheckMarkOf(HMENU menu, UINT id) {
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_CHECKMARKS;
  ::GetMenuItemInfoW(menu, id, FALSE, &item);
  return item.hbmpChecked;
}

// An invocation record as a host fills it in: the plain one, or the extended one, whose
// Unicode strings count only with CMIC_MASK_UNICODE.
struct Invocation {
  bool extended = false;
  bool unicode = false;
  const char* verb = nullptr;
  const wchar_t* verbW = nullptr;
  HWND window = nullptr;
  const char* folder = nullptr;
  const wchar_t* folderW = nullptr;
  int show = SW_SHOWNORMAL;
};

HRESULT Invoke(IContextMenu* menu, const Invocation& how) {
  CMINVOKECOMMANDINFOEX record{};
  record.cbSize = how.extended ? sizeof record : sizeof(CMINVOKECOMMANDINFO);
  record.fMask = how.unicode ? CMIC_MASK_UNICODE : 0;
  record.hwnd = how.window;
  record.lpVerb = how.verb;
  record.lpDirectory = how.folder;
  record.nShow = how.show;
  if (how.extended) {
    record.lpVerbW = how.verbW;
    record.lpDirectoryW = how.folderW;
  }
  return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&record));
}

HRESULT Invoke(IContextMenu* menu, const char* verb) { return Invoke(menu, Invocation{.verb = verb}); }

// Answers every message box that the test's own process shows while the object lives, from a
// thread of its own (a box blocks the thread that shows it), and keeps what each one said.
class BoxWatcher {
 public:
  BoxWatcher()
      : thread_([this] {
          while (!stop_) {
            try {
              const win::ShownBox box =
                  win::AnswerMessageBox(::GetCurrentProcessId(), IDOK, std::chrono::milliseconds(100));
              const std::lock_guard<std::mutex> lock(mutex_);
              shown_.push_back(box.title + ": " + box.text);
            } catch (const std::runtime_error&) {
              // None in the last moment.
            }
          }
        }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  // The boxes answered since the last call.
  std::vector<std::string> Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(shown_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class VerbhookHandlerTest : public VerbhookComTest {};

TEST_F(VerbhookHandlerTest, InitializeRecordsOneItemFromTheShellsOwnDataObject) {
  files_.Write("one file.txt", "12345");
  Com<IDataObject> shellData;
  ASSERT_EQ(ShellObjectOf(files_.File("one file.txt"), IID_IDataObject, shellData.Put()), S_OK);
  Com<IShellExtInit> handler = CreateHandler();
  ASSERT_TRUE(handler);

  // The configuration key is made before the data object is even looked at.
  if (auto carvex = RegistryKey::Open(RegistryRoot::kCurrentUser, "SOFTWARE\\Orvane Software\\Carvex"))
    carvex->DeleteSubKeyTree("Ravelin");
  EXPECT_EQ(handler->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, kContentsKey));

  EXPECT_EQ(handler->Initialize(nullptr, shellData.Get(), nullptr), S_OK);
  EXPECT_EQ(HandOff("SFileName"), files_.File("one file.txt"));
  const std::string summary = HandOff("attribSt");
  EXPECT_TRUE(summary == "a--- 5 bytes" || summary == "---- 5 bytes") << summary;

  // A data object without a drop list: its own answer comes back, and nothing is recorded.
  DropList withoutDropList({files_.Path()}, false);
  EXPECT_EQ(handler->Initialize(nullptr, &withoutDropList, nullptr), DV_E_FORMATETC);
  EXPECT_EQ(HandOff("SFileName"), files_.File("one file.txt"));
}

TEST_F(VerbhookHandlerTest, InitializeRecordsSeveralItemsWholeAndInUnicode) {
  files_.MakeFolder("a folder");
  files_.Write(
      "\xC3\x9C"
      "ber \xD0\xB4\xD0\xB0 \xE2\x82\xAC.txt",
      "1234");
  // Past MAX_PATH: a folder of 200 characters and a name of 100.
  const std::string deep = std::string(200, 'd');
  files_.MakeFolder(deep);
  const std::string longName = deep + "\\" + std::string(100, 'n') + ".bin";
  files_.Write(longName, "123456");
  const std::vector<std::string> paths = {files_.File("a folder"),
                                          files_.File("\xC3\x9C"
                                                      "ber \xD0\xB4\xD0\xB0 \xE2\x82\xAC.txt"),
                                          files_.File(longName)};
  ASSERT_GT(paths[2].size(), 300u);

  Com<IShellExtInit> handler = CreateHandler();
  ASSERT_TRUE(handler);
  DropList selection(paths);
  EXPECT_EQ(handler->Initialize(nullptr, &selection, nullptr), S_OK);
  EXPECT_EQ(HandOff("SFileName"), "*");
  std::vector<std::string> listed = HandOffList();
  std::vector<std::string> expected = paths;
  if (!platform::RegistryValuesInCreationOrder()) {
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
  }
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(HandOff("attribSt"), "1+2, 10 bytes");
}

// Two submenu keys and three values, inserted between two items of the file manager's own.
TEST_F(VerbhookHandlerTest, QueryContextMenuPlacesSubmenusThenItemsWithinTheIdentifiersGranted) {
  RegistryKey::Create(RegistryRoot::kCurrentUser, std::string(kContentsKey) + "\\0002Two");
  RegistryKey::Create(RegistryRoot::kCurrentUser, std::string(kContentsKey) + "\\0001One");
  AddRecord("", "c", Item("C"));
  AddRecord("", "a", Item("A"));
  AddRecord("", "b", Item("B"));
  Com<IContextMenu> handler = HandlerFor({files_.Path()});
  ASSERT_TRUE(handler);
  const std::vector<std::string> all = {"#1 Open", "> One", "> Two", "+1 A", "+2 B", "+3 C", "#2 Properties"};
  struct Case {
    UINT flags;
    UINT idCmdLast;
    std::vector<std::string> expected;
    int used;
  };
  const Case cases[] = {
      {CMF_NORMAL, 200, all, 4},
      {CMF_EXPLORE, 200, all, 4},
      {CMF_CANRENAME, 200, all, 4},
      {CMF_DEFAULTONLY, 200, {"#1 Open", "#2 Properties"}, 0},
      {CMF_DEFAULTONLY | CMF_EXPLORE, 200, {"#1 Open", "#2 Properties"}, 0},
      {CMF_VERBSONLY, 200, {"#1 Open", "#2 Properties"}, 0},
      {CMF_NOVERBS, 200, {"#1 Open", "#2 Properties"}, 0},
      // Identifiers 100 to 102: offsets 1 and 2 fit, item 3 is left off.
      {CMF_NORMAL, 102, {"#1 Open", "> One", "> Two", "+1 A", "+2 B", "#2 Properties"}, 3},
      {CMF_NORMAL, 100, {"#1 Open", "#2 Properties"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", last " << c.idCmdLast);
    Popup menu;
    ::AppendMenuW(menu.Get(), MF_STRING, 1, L"Open");
    ::AppendMenuW(menu.Get(), MF_STRING, 2, L"Properties");
    const HRESULT result = handler->QueryContextMenu(menu.Get(), 1, 100, c.idCmdLast, c.flags);
    EXPECT_TRUE(SUCCEEDED(result));
    EXPECT_EQ(HRESULT_CODE(result), c.used);
    EXPECT_EQ(Describe(menu.Get(), 100), c.expected);
  }
}

// A double-click asks for the default verb alone, with the navigation pane shown or not: the
// menu is not built then, so a faulty record warns of nothing where the user only opens a file.
// Asked for the whole menu, the same record warns.
TEST_F(VerbhookHandlerTest, DoubleClickAddsNothingAndShowsNoWarning) {
  AddRecord("", "1", Item("A"));
  AddRecord("", "2", "<caption>No command</caption>");
  Com<IContextMenu> handler = HandlerFor({files_.Path()});
  ASSERT_TRUE(handler);
  BoxWatcher boxes;
  const struct {
    UINT flags;
    std::vector<std::string> expected;
    int used;
    bool warned;
  } cases[] = {
      {CMF_DEFAULTONLY, {}, 0, false},
      {CMF_DEFAULTONLY | CMF_EXPLORE, {}, 0, false},
      {CMF_NORMAL | CMF_EXPLORE, {"+1 A", "+2 No command"}, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags);
    Popup menu;
    const HRESULT result = handler->QueryContextMenu(menu.Get(), 0, 1, 100, c.flags);
    EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.used));
    EXPECT_EQ(Describe(menu.Get(), 1), c.expected);
    const std::vector<std::string> shown = boxes.Take();
    EXPECT_EQ(!shown.empty(), c.warned) << testing::PrintToString(shown);
    for (const std::string& box : shown) EXPECT_EQ(box, "Ravelin: Your menu has incorrect configuration.");
  }
}

// Separators, a column break, nested items and the captions and bitmaps of the built-ins.
TEST_F(VerbhookHandlerTest, QueryContextMenuShowsEachKindOfRecord) {
  const std::string program = win::ThisProgramFolder() + "\\carvex.exe";
  AddRecord("0001Tools", "1", Item("Deep", "<icon>" + program + ",0</icon>"));
  AddRecord("0001Tools", "2", "<command>[hseparator]</command>");
  AddRecord("", "a", "<command>[copypath]</command><icon>" + program + ",999</icon>");
  AddRecord("", "b", "<command>[vseparator]</command>");
  AddRecord("", "c", Item("Next", "<icon>no comma</icon>"));
  AddRecord("", "d", "<command>[hseparator]</command>");
  AddRecord("", "e", "<command>[props]</command>");
  // A path is shown as it is: its "&" is no access key.
  files_.Write("x & y.txt", "12");
  Com<IContextMenu> handler = HandlerFor({files_.File("x & y.txt")});
  ASSERT_TRUE(handler);
  Popup menu;
  EXPECT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL)), 8);
  EXPECT_EQ(Describe(menu.Get(), 1),
            (std::vector<std::string>{"> Tools", "  +1 Deep [bitmap]", "  -- +2",
                                      "+3 " + files_.File("x && y.txt") + " [bitmap]", "+5 Next |", "-- +6",
                                      "+7 " + HandOff("attribSt")}));

  // Check-mark sized; the icon drawn on white, or white alone where the file has no such icon.
  int width = 0, height = 0;
  const std::vector<std::uint32_t> icon = PixelsOf(CheckMarkOf(menu.Get(), 2), width, height);
  EXPECT_EQ(width, ::GetSystemMetrics(SM_CXMENUCHECK));
  EXPECT_EQ(height, ::GetSystemMetrics(SM_CYMENUCHECK));
  EXPECT_NE(std::count(icon.begin(), icon.end(), 0xFFFFFFu), static_cast<std::ptrdiff_t>(icon.size()));
  const std::vector<std::uint32_t> none = PixelsOf(CheckMarkOf(menu.Get(), 4), width, height);
  EXPECT_EQ(std::count(none.begin(), none.end(), 0xFFFFFFu), static_cast<std::ptrdiff_t>(none.size()));

  Com<IContextMenu> several = HandlerFor({files_.File("x & y.txt"), files_.Path()});
  ASSERT_TRUE(several);
  Popup other;
  several->QueryContextMenu(other.Get(), 0, 1, 100, CMF_NORMAL);
  EXPECT_EQ(Describe(other.Get(), 1).at(3), "+3 Several files selected [bitmap]");
}

// A column break at the end of one menu starts a new column in the next one the library builds.
TEST_F(VerbhookHandlerTest, ColumnBreakAtTheEndCarriesToTheNextMenu) {
  AddRecord("", "a", Item("A"));
  AddRecord("", "b", "<command>[vseparator]</command>");
  Com<IContextMenu> handler = HandlerFor({files_.Path()});
  ASSERT_TRUE(handler);
  Popup first, second;
  handler->QueryContextMenu(first.Get(), 0, 1, 100, CMF_NORMAL);
  HandlerFor({files_.Path()})->QueryContextMenu(second.Get(), 0, 1, 100, CMF_NORMAL);
  EXPECT_EQ(Describe(first.Get(), 1), std::vector<std::string>{"+1 A"});
  EXPECT_EQ(Describe(second.Get(), 1), std::vector<std::string>{"+1 A |"});
}

TEST_F(VerbhookHandlerTest, GetCommandStringGivesHelpTextsWithinTheBufferAndValidatesIdentifiers) {
  AddRecord("", "1", Item("A", "<description>Split it now</description>"));
  AddRecord("", "2", Item("B"));
  AddRecord("", "3", "<command>[vseparator]</command>");
  AddRecord("", "4",
            Item("C", "<description>Zerteilt \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80!</description>"));
  Com<IContextMenu> handler = HandlerFor({files_.Path()});
  ASSERT_TRUE(handler);
  Popup menu;
  // Identifiers 1 to 4: item 4 would need 5.
  handler->QueryContextMenu(menu.Get(), 0, 1, 4, CMF_NORMAL);

  struct Case {
    UINT_PTR id;
    UINT type;
    UINT size;
    HRESULT result;
    std::string text;
  };
  const Case cases[] = {
      {1, GCS_HELPTEXTA, 64, S_OK, "Split it now"},
      {1, GCS_HELPTEXTA, 6, S_OK, "Split"},
      {1, GCS_HELPTEXTW, 64, S_OK, "Split it now"},
      {1, GCS_HELPTEXTW, 4, S_OK, "Spl"},
      {2, GCS_HELPTEXTW, 64, S_OK, "CRavelin"},
      {4, GCS_HELPTEXTW, 64, S_OK, "Zerteilt \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80!"},
      // Both halves of the last character would not fit with the terminator.
      {4, GCS_HELPTEXTW, 15, S_OK, "Zerteilt \xC3\xBC \xE2\x82\xAC "},
      {9, GCS_HELPTEXTA, 64, S_OK, "CRavelin"},
      {1, GCS_VERBA, 64, E_NOTIMPL, "untouched"},
      {1, GCS_VERBW, 64, E_NOTIMPL, "untouched"},
      {1, GCS_VALIDATEA, 0, S_OK, "untouched"},
      {2, GCS_VALIDATEW, 0, S_OK, "untouched"},
      // Not in the menu: a column break, an item past the identifiers granted, no item.
      {3, GCS_VALIDATEW, 0, S_FALSE, "untouched"},
      {4, GCS_VALIDATEA, 0, S_FALSE, "untouched"},
      {0, GCS_VALIDATEA, 0, S_FALSE, "untouched"},
  };
  constexpr std::size_t kBuffer = 80;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "item " << c.id << ", type " << c.type << ", size " << c.size);
    const bool wide = (c.type & GCS_UNICODE) != 0;
    // Filled beyond the size given, so that a write past it shows.
    std::string narrow(kBuffer, '~');
    std::wstring unicode(kBuffer, L'~');
    const std::size_t kept = std::max<std::size_t>(c.size, 10);
    narrow.replace(0, 10, std::string("untouched", 10));
    unicode.replace(0, 10, std::wstring(L"untouched", 10));
    CHAR* buffer = wide ? reinterpret_cast<CHAR*>(unicode.data()) : narrow.data();
    EXPECT_EQ(handler->GetCommandString(c.id, c.type, nullptr, buffer, c.size), c.result);
    EXPECT_EQ(wide ? Narrow(unicode.c_str()) : std::string(narrow.c_str()), c.text);
    if (wide)
      EXPECT_EQ(unicode.substr(kept), std::wstring(kBuffer - kept, L'~'));
    else
      EXPECT_EQ(narrow.substr(kept), std::string(kBuffer - kept, '~'));
  }
}

TEST_F(VerbhookHandlerTest, InvokeCommandRunsTheNumberedItemAndRefusesAVerbGivenAsText) {
  AddRecord("", "1", Item("A"));
  AddRecord("", "2", "<command>[copypath]</command>");
  files_.Write("chosen file.txt", "x");
  Com<IContextMenu> handler = HandlerFor({files_.File("chosen file.txt")});
  ASSERT_TRUE(handler);
  Popup menu;
  handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
  SetClipboardText("before");
  EXPECT_EQ(Invoke(handler.Get(), MAKEINTRESOURCEA(2)), S_OK);
  EXPECT_EQ(ClipboardText(), files_.File("chosen file.txt"));
  SetClipboardText("before");
  EXPECT_EQ(Invoke(handler.Get(), "copypath"), E_FAIL);
  EXPECT_EQ(ClipboardText(), "before");
}

// The file manager hands over the window the item was chosen in: it owns the clipboard, without
// which the system would not keep the text. A host that sets CMIC_MASK_UNICODE gives the
// item in the Unicode verb; the ANSI one may then be anything.
TEST_F(VerbhookHandlerTest, InvokeCommandPutsTheTextOnTheClipboardAsTheWindowItWasChosenIn) {
  AddRecord("", "1", "<command>[copypath]</command>");
  AddRecord("", "2", "<command>[props]</command>");
  const std::string name =
      "ch\xC3\xB6"
      "sen file.txt";
  files_.Write(name, "12345");
  Com<IContextMenu> handler = HandlerFor({files_.File(name)});
  ASSERT_TRUE(handler);
  Popup menu;
  handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
  const Window window;
  ASSERT_NE(window.Get(), nullptr);
  const struct {
    const char* label;
    Invocation how;
    HRESULT result;
    std::string text;
  } cases[] = {
      {"plain record", {.verb = MAKEINTRESOURCEA(1), .window = window.Get()}, S_OK, files_.File(name)},
      {"extended record, ANSI verb",
       {.extended = true, .verb = MAKEINTRESOURCEA(2), .verbW = L"props", .window = window.Get()},
       S_OK,
       HandOff("attribSt")},
      {"Unicode verb",
       {.extended = true,
        .unicode = true,
        .verb = "copypath",
        .verbW = MAKEINTRESOURCEW(1),
        .window = window.Get()},
       S_OK,
       files_.File(name)},
      {"Unicode verb given as text",
       {.extended = true,
        .unicode = true,
        .verb = MAKEINTRESOURCEA(1),
        .verbW = L"copypath",
        .window = window.Get()},
       E_FAIL,
       "before"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SetClipboardText("before");
    EXPECT_EQ(Invoke(handler.Get(), c.how), c.result);
    EXPECT_EQ(ClipboardText(), c.text);
    if (c.result == S_OK) {
      EXPECT_EQ(::GetClipboardOwner(), window.Get());
    }
  }
}

// The file manager unloads the library when it says it may: not while an object lives, nor
// while anyone holds its class object or a lock.
TEST_F(VerbhookHandlerTest, DllCanUnloadNowOnlyWhenNothingHoldsTheLibrary) {
  Com<IShellExtInit> handler = CreateHandler();
  ASSERT_TRUE(handler);
  const std::wstring name = Widen(CARVEX_VERBHOOK_DLL);
  HMODULE library = ::GetModuleHandleW(name.c_str());
  ASSERT_NE(library, nullptr);
  const auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(::GetProcAddress(library, "DllCanUnloadNow")));
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  handler.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);

  Com<IClassFactory> factory;
  ASSERT_EQ(::CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.Put()),
            S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  Com<IClassFactory> again;
  ASSERT_EQ(factory->QueryInterface(IID_IClassFactory, again.Put()), S_OK);
  factory.Reset();
  again.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  ASSERT_EQ(::CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.Put()),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);

  ::CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(::GetModuleHandleW(name.c_str()), nullptr);
}

// The top-level window of class `windowClass` of a program started from `folder`: other tests
// run the same program beside this one.
HWND WindowOfProgramFrom(const std::wstring& windowClass, const std::wstring& folder) {
  for (HWND window = ::FindWindowExW(nullptr, nullptr, windowClass.c_str(), nullptr); window;
       window = ::FindWindowExW(nullptr, window, windowClass.c_str(), nullptr)) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (StartedFrom(process, folder)) return window;
  }
  return nullptr;
}

// The whole way from a right-click to the application: the chosen entry starts carvex.exe with
// "/s" and a quoted "*", and the program lists what the hand-off key holds.
TEST_F(VerbhookHandlerTest, ChosenEntryStartsCarvexOnTheHandedOverItems) {
  TempDir app;
  for (const char* name : {"carvex.exe", "ZipSFX.bin", "Contents.htm", "License.txt"})
    ASSERT_TRUE(::CopyFileW(Widen(win::ThisProgramFolder() + "\\" + name).c_str(),
                            Widen(app.File(name)).c_str(), FALSE));
  app.MakeFolder("temp");
  const EndProgramsFrom ending(Widen(app.Path()));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) files_.Write(name, name);
  AddRecord("", "split",
            "<caption>Split</caption><command>" + app.File("carvex.exe") +
                "</command><commandline>/s</commandline><sendfile>");
  Com<IContextMenu> handler = HandlerFor({files_.File("c.txt"), files_.File("a.txt"), files_.File("b.txt")});
  ASSERT_TRUE(handler);
  Popup menu;
  handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
  EXPECT_EQ(Invoke(handler.Get(), MAKEINTRESOURCEA(1)), S_OK);

  const std::wstring mainClass = ui::Win32FormClass("frmCarvex");
  HWND main = nullptr;
  HWND list = nullptr;
  // The window exists a moment before it holds its controls and shows.
  ASSERT_TRUE(win::WaitUntil([&] {
    main = WindowOfProgramFrom(mainClass, Widen(app.Path()));
    list = main ? win::FindControl(main, ui::Win32ControlId("lvwSplitFileNames")) : nullptr;
    return list && ::IsWindowVisible(main);
  })) << "carvex.exe did not show its window";
  DWORD process = 0;
  ::GetWindowThreadProcessId(main, &process);
  HANDLE running = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process);
  std::vector<std::string> expected = {"c.txt", "a.txt", "b.txt"};
  if (!platform::RegistryValuesInCreationOrder()) std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(win::WaitUntil([&] { return win::ListViewColumn(list) == expected; }))
      << testing::PrintToString(win::ListViewColumn(list));
  win::Click(win::Control(main, ui::Win32ControlId("cmdExit")));
  EXPECT_EQ(::WaitForSingleObject(running, static_cast<DWORD>(win::kWaitLimit.count())), WAIT_OBJECT_0);
  ::TerminateProcess(running, 1);
  ::CloseHandle(running);
}

// An external program starts in the folder the user is in, which the file manager passes in
// the invocation record (in Unicode when it says so), else in the folder that holds the
// selected item; and it shows its window as the record asks.
TEST_F(VerbhookHandlerTest, ExternalProgramStartsInTheUsersFolderAndShowsAsAsked) {
  const Recorder recorder;
  ASSERT_TRUE(recorder.Copied());
  AddRecord("", "1", "<command>" + recorder.Program() + "</command>");
  files_.MakeFolder("data");
  files_.Write("data\\item.txt", "x");
  const std::string unicodeFolder = files_.File(
      "w\xC3\xB6"
      "rk \xE2\x82\xAC");
  files_.MakeFolder(
      "w\xC3\xB6"
      "rk \xE2\x82\xAC");
  files_.MakeFolder("ansi folder");
  const std::wstring unicodeFolderW = Widen(unicodeFolder);
  const std::string ansiFolder = files_.File("ansi folder");
  const struct {
    const char* label;
    std::string selected;
    Invocation how;
    std::string folder;
    std::string show;
  } cases[] = {
      {"Unicode folder",
       files_.File("data\\item.txt"),
       {.extended = true,
        .unicode = true,
        .verb = MAKEINTRESOURCEA(1),
        .verbW = MAKEINTRESOURCEW(1),
        .folder = ansiFolder.c_str(),
        .folderW = unicodeFolderW.c_str(),
        .show = SW_SHOWMINNOACTIVE},
       unicodeFolder,
       std::to_string(SW_SHOWMINNOACTIVE)},
      {"ANSI folder",
       files_.File("data\\item.txt"),
       {.verb = MAKEINTRESOURCEA(1), .folder = ansiFolder.c_str(), .show = SW_SHOWNORMAL},
       ansiFolder,
       std::to_string(SW_SHOWNORMAL)},
      {"no folder: the selected item's",
       files_.File("data\\item.txt"),
       {.verb = MAKEINTRESOURCEA(1), .show = SW_SHOWMAXIMIZED},
       files_.File("data"),
       std::to_string(SW_SHOWMAXIMIZED)},
      {"no folder, an item at the top of a drive",
       "C:\\windows",
       {.verb = MAKEINTRESOURCEA(1)},
       "C:\\",
       std::to_string(SW_SHOWNORMAL)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Com<IContextMenu> handler = HandlerFor({c.selected});
    ASSERT_TRUE(handler);
    Popup menu;
    handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
    recorder.Clear();
    EXPECT_EQ(Invoke(handler.Get(), c.how), S_OK);
    EXPECT_EQ(recorder.Record(), c.folder + "\n" + c.show + "\n");
  }
}

// Delivers what other threads sent to this thread's windows, as a window's message loop does.
void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

// File Explorer calls each window's handlers on that window's thread. Two such threads, each
// with its own apartment, window and selection, go through the whole right-click at once, time
// after time: every menu, help text and copy is the one of its own thread's selection, the
// same as when one thread alone asked. (The hand-off key is shared by design: the last
// selection recorded wins there.)
TEST_F(VerbhookHandlerTest, WindowsOnTwoThreadsEachGetTheirOwnMenuHelpAndCopy) {
  AddRecord("", "1", "<command>[copypath]</command><description>Copies the path</description>");
  AddRecord("", "2", "<command>[props]</command><description>Copies the summary</description>");
  AddRecord("", "3", Item("Last", "<description>Runs the last one</description>"));
  files_.Write("left.txt", "12345");
  files_.Write("right side.txt", "1234567");
  struct Side {
    Side(std::string selected, UINT item, std::string text)
        : path(std::move(selected)), helpItem(item), help(std::move(text)) {}
    std::string path;
    UINT helpItem;
    std::string help;
    std::vector<std::string> menu;
    HWND window = nullptr;
    int rounds = 0;
    int ownCopies = 0;
    std::vector<std::string> problems;
  };
  Side sides[2] = {{files_.File("left.txt"), 1, "Copies the path"},
                   {files_.File("right side.txt"), 3, "Runs the last one"}};
  // What one thread alone gets: the menu to expect.
  for (Side& side : sides) {
    Com<IContextMenu> handler = HandlerFor({side.path});
    ASSERT_TRUE(handler);
    Popup menu;
    handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
    side.menu = Describe(menu.Get(), 1);
  }
  ASSERT_NE(sides[0].menu, sides[1].menu);
  SetClipboardText("before");

  constexpr int kRounds = 300;
  std::atomic<int> ready{0};
  std::atomic<int> finished{0};
  const auto run = [&](Side& side, const Side& other) {
    const auto problem = [&side](const std::string& what) {
      if (side.problems.size() < 5)
        side.problems.push_back("round " + std::to_string(side.rounds) + ": " + what);
    };
    // A destroyed owner takes its name off the clipboard's text: each window goes only when
    // both threads are done, however they end.
    struct WaitForBoth {
      std::atomic<int>& finished;
      ~WaitForBoth() {
        ++finished;
        while (finished < 2) {
          PumpMessages();
          std::this_thread::yield();
        }
      }
    };
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
      const WaitForBoth waitForBoth{finished};
      return problem("no apartment");
    }
    {
      const Window window;
      const WaitForBoth waitForBoth{finished};
      side.window = window.Get();
      // Both windows exist before either thread begins, so that each can tell the other's.
      ++ready;
      while (ready < 2) std::this_thread::yield();
      for (; side.rounds < kRounds; ++side.rounds) {
        Com<IShellExtInit> init;
        if (::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.Put()) != S_OK)
          return problem("not created");
        DropList selection({side.path});
        Com<IContextMenu> handler;
        if (init->Initialize(nullptr, &selection, nullptr) != S_OK ||
            init->QueryInterface(IID_IContextMenu, handler.Put()) != S_OK)
          return problem("not initialised");
        Popup menu;
        handler->QueryContextMenu(menu.Get(), 0, 1, 100, CMF_NORMAL);
        if (const std::vector<std::string> shown = Describe(menu.Get(), 1); shown != side.menu)
          problem("menu " + testing::PrintToString(shown));
        wchar_t help[64] = {};
        handler->GetCommandString(side.helpItem, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help),
                                  static_cast<UINT>(std::size(help)));
        if (Narrow(help) != side.help) problem("help text " + Narrow(help));
        if (Invoke(handler.Get(), Invocation{.verb = MAKEINTRESOURCEA(1), .window = window.Get()}) != S_OK)
          problem("not invoked");
        // The text and its owner, read together: a copy of either thread comes with that
        // thread's window. The other thread may have copied since, or held the clipboard
        // when this one tried.
        while (!::OpenClipboard(window.Get())) {
          PumpMessages();
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::string text;
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
          text = Narrow(static_cast<const wchar_t*>(::GlobalLock(data)));
          ::GlobalUnlock(data);
        }
        const HWND owner = ::GetClipboardOwner();
        ::CloseClipboard();
        if (text == side.path && owner == side.window)
          ++side.ownCopies;
        else if (!(text == other.path && owner == other.window) && text != "before")
          problem("clipboard \"" + text + "\"");
        PumpMessages();
      }
    }
    ::CoUninitialize();
  };
  const auto started = std::chrono::steady_clock::now();
  std::thread left([&] { run(sides[0], sides[1]); });
  std::thread right([&] { run(sides[1], sides[0]); });
  left.join();
  right.join();
  for (const Side& side : sides) {
    SCOPED_TRACE(side.path);
    EXPECT_EQ(side.rounds, kRounds);
    EXPECT_TRUE(side.problems.empty()) << testing::PrintToString(side.problems);
    // Mostly the other thread leaves a copy alone long enough to be read back.
    EXPECT_GT(side.ownCopies, kRounds / 2);
  }
  std::printf("%d rounds on each of two threads in %lld ms\n", kRounds,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - started)
                                         .count()));
}

}  // namespace
}  // namespace carvex::test
