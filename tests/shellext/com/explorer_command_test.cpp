// The commands of File Explorer's compact menu in verbhook.dll, driven as File Explorer drives
// them: created by their class after registration, asked about an item array that the shell
// made, walked through EnumSubCommands, and compared item by item with the classic menu that the
// context-menu handler builds for the same configuration and selection.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "handler_fixture.h"
#include "support/system_fixtures.h"

namespace carvex::test {
namespace {

using platform::Narrow;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::Widen;

// An object of one interface on the heap, freed with its last reference.
template <typename Interface>
class Counted : public Interface {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface)) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Counted() = default;

 private:
  std::atomic<ULONG> references_{1};
};

// Wine's shell makes no item of a path past MAX_PATH, which Windows' shell does: in its place
// under Wine, an item that names its path as Windows' items do.
class PathItem final : public Counted<IShellItem> {
 public:
  explicit PathItem(std::wstring path) : path_(std::move(path)) {}
  STDMETHODIMP GetDisplayName(SIGDN form, LPWSTR* name) override {
    if (form != SIGDN_FILESYSPATH && form != SIGDN_DESKTOPABSOLUTEPARSING) return E_NOTIMPL;
    return ::SHStrDupW(path_.c_str(), name);
  }
  STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetParent(IShellItem**) override { return E_NOTIMPL; }
  STDMETHODIMP GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
  STDMETHODIMP Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

 private:
  std::wstring path_;
};

// An item array over items of the shell and PathItems, for a selection the shell cannot hold.
class ItemArray final : public Counted<IShellItemArray> {
 public:
  explicit ItemArray(std::vector<Com<IShellItem>> items) : items_(std::move(items)) {}
  STDMETHODIMP GetCount(DWORD* count) override {
    *count = static_cast<DWORD>(items_.size());
    return S_OK;
  }
  STDMETHODIMP GetItemAt(DWORD index, IShellItem** item) override {
    if (index >= items_.size()) return E_INVALIDARG;
    *item = items_[index].Get();
    (*item)->AddRef();
    return S_OK;
  }
  STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumItems(IEnumShellItems**) override { return E_NOTIMPL; }

 private:
  std::vector<Com<IShellItem>> items_;
};

// The shell's own item array of `paths`, as File Explorer hands over a selection.
Com<IShellItemArray> ShellItemsOf(const std::vector<std::string>& paths) {
  std::vector<PIDLIST_ABSOLUTE> lists;
  std::vector<Com<IShellItem>> items;
  for (const std::string& path : paths) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(::SHParseDisplayName(Widen(path).c_str(), nullptr, &list, 0, nullptr))) {
      lists.push_back(list);
      EXPECT_EQ(::SHCreateItemFromIDList(list, IID_IShellItem, items.emplace_back().Put()), S_OK) << path;
    } else {
      EXPECT_TRUE(RunningUnderWine() && path.size() > MAX_PATH) << path;
      *items.emplace_back().Put() = new PathItem(Widen(path));
    }
  }
  Com<IShellItemArray> array;
  if (lists.size() == paths.size())
    EXPECT_EQ(::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                  const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()),
                                                  reinterpret_cast<IShellItemArray**>(array.Put())),
              S_OK);
  else
    *array.Put() = new ItemArray(std::move(items));
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  return array;
}

// A string a method allocated, or "" for a method that gave none.
template <typename Method>
std::string TakeText(Method&& method) {
  wchar_t* text = nullptr;
  if (FAILED(method(&text)) || !text) return {};
  std::string narrow = Narrow(text);
  ::CoTaskMemFree(text);
  return narrow;
}

// The text Win32 shows for a menu caption: "&" marks the next character as the access key,
// and "&&" shows one "&".
std::string Displayed(const std::string& caption) {
  std::string shown;
  for (std::size_t at = 0; at < caption.size(); ++at)
    if (caption[at] != '&' || ++at < caption.size()) shown += caption[at];
  return shown;
}

// One line per entry, the same for both menus: "> title" for a submenu (its entries follow,
// indented), "--" for a separator, "title | help text" for an item, with " [icon]" when it has one.
std::string Line(int depth, bool submenu, bool separator, const std::string& title, const std::string& tip,
                 bool icon) {
  std::string line(static_cast<std::size_t>(depth) * 2, ' ');
  if (separator) return line + "--";
  if (submenu) return line + "> " + title;
  return line + title + " | " + tip + (icon ? " [icon]" : "");
}

struct CompactMenu {
  EXPCMDSTATE state = ECS_DISABLED;
  std::vector<std::string> lines;
  std::vector<std::string> icons;
};

void Walk(IExplorerCommand* command, IShellItemArray* items, int depth, CompactMenu& menu) {
  EXPCMDFLAGS flags = 0;
  EXPECT_EQ(command->GetFlags(&flags), S_OK);
  const std::string icon = TakeText([&](LPWSTR* text) { return command->GetIcon(items, text); });
  if (!icon.empty()) menu.icons.push_back(icon);
  menu.lines.push_back(Line(depth, (flags & ECF_HASSUBCOMMANDS) != 0, (flags & ECF_ISSEPARATOR) != 0,
                            TakeText([&](LPWSTR* text) { return command->GetTitle(items, text); }),
                            TakeText([&](LPWSTR* text) { return command->GetToolTip(items, text); }),
                            !icon.empty()));
  if (!(flags & ECF_HASSUBCOMMANDS)) return;
  Com<IEnumExplorerCommand> list;
  ASSERT_EQ(command->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(list.Put())), S_OK);
  for (;;) {
    Com<IExplorerCommand> next;
    if (list->Next(1, reinterpret_cast<IExplorerCommand**>(next.Put()), nullptr) != S_OK) break;
    Walk(next.Get(), items, depth + 1, menu);
  }
}

// A site that File Explorer gives a command: it tells the window the command was chosen in.
class WindowSite final : public IOleWindow {
 public:
  explicit WindowSite(HWND window) : window_(window) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  // Lives on the test's stack, longer than the commands that hold it.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  HWND window_;
};

class VerbhookExplorerCommandTest : public VerbhookComTest {
 protected:
  void SetUp() override {
    VerbhookComTest::SetUp();
    files_.Write("x & y.txt", "12345");
    files_.MakeFolder("a folder");
    files_.Write(kUnicodeName, "1234");
    // Past MAX_PATH: a folder of 200 characters and a name of 100.
    files_.MakeFolder(std::string(200, 'd'));
    files_.Write(longName_, "123456");
  }

  // Hand-off values that only a recorded selection would replace.
  static void MarkHandOff() {
    RegistryKey key = RegistryKey::Create(RegistryRoot::kCurrentUser, kHandOffKey);
    key.SetString("SFileName", "marked");
    key.SetString("attribSt", "marked");
  }

  static Com<IExplorerCommand> CreateCommand() {
    Com<IExplorerCommand> command;
    EXPECT_EQ(
        ::CoCreateInstance(kCommandClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand, command.Put()),
        S_OK);
    return command;
  }

  // The sub-command at `index` below the top-level command, asked about `items` first.
  static Com<IExplorerCommand> SubCommand(IExplorerCommand* top, IShellItemArray* items, ULONG index) {
    TakeText([&](LPWSTR* text) { return top->GetTitle(items, text); });
    Com<IEnumExplorerCommand> list;
    Com<IExplorerCommand> command;
    if (top->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(list.Put())) == S_OK &&
        list->Skip(index) == S_OK) {
      EXPECT_EQ(list->Next(1, reinterpret_cast<IExplorerCommand**>(command.Put()), nullptr), S_OK);
    }
    return command;
  }

  static constexpr char kUnicodeName[] =
      "\xC3\x9C"
      "ber \xD0\xB4\xD0\xB0 \xE2\x82\xAC.txt";
  const std::string longName_ = std::string(200, 'd') + "\\" + std::string(100, 'n') + ".bin";
  const std::vector<std::string> one_ = {files_.File("x & y.txt")};
  const std::vector<std::string> three_ = {files_.File("a folder"), files_.File(kUnicodeName),
                                           files_.File(longName_)};
};

// The classic menu shows "&" marks as access keys; the compact one has none, so its titles are
// the text the classic menu shows. A path is no caption: its "&" stays in both. A "[vseparator]"
// starts a new column in the classic menu; the compact menu has no columns and shows nothing for
// it. A top level of one submenu is the command itself; any other is under "Verbhook".
TEST_F(VerbhookExplorerCommandTest, CompactMenuMatchesTheClassicMenuItemByItem) {
  const std::string program = win::ThisProgramFolder() + "\\carvex.exe";
  struct Record {
    std::string key, name, record;
  };
  const struct {
    const char* label;
    std::vector<Record> records;
    const std::vector<std::string>& selection;
    std::vector<std::string> expected;  // "{summary}" is the summary of the selection
    std::vector<std::string> icons;
  } rows[] = {
      {"one submenu, one file",
       {{"0001C&arvex", "1",
         Item("&Split with Carvex", "<icon>" + program + ",0</icon><description>Splits it</description>")},
        {"0001C&arvex", "2", "<command>[hseparator]</command>"},
        {"0001C&arvex", "3", "<command>[copypath]</command><description>Copies the path</description>"},
        {"0001C&arvex", "4", "<command>[props]</command>"}},
       one_,
       {"> Carvex", "  Split with Carvex | Splits it [icon]", "  --", "  " + one_[0] + " | Copies the path",
        "  {summary} | CRavelin"},
       {program + ",0"}},
      {"nested submenus and top-level items, three items",
       {{"0001Tools\\0001Deep", "1", Item("Deep")},
        {"0001Tools", "1", "<command>[hseparator]</command>"},
        {"0002Empty", "", ""},
        {"", "a", Item("Fish && &Chips", "<icon>" + program + ",-1</icon><description>Fries</description>")},
        {"", "b", "<command>[vseparator]</command>"},
        {"", "c", "<command>[copypath]</command><icon>no comma</icon>"},
        {"", "d", "<command>[props]</command><icon>EMPTY</icon>"}},
       three_,
       {"> Verbhook", "  > Tools", "    > Deep", "      Deep | CRavelin", "    --", "  > Empty",
        "  Fish & Chips | Fries [icon]", "  Several files selected | CRavelin", "  {summary} | CRavelin"},
       {program + ",-1"}},
      {"empty configuration", {}, one_, {}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    ClearMenu();
    for (const Record& record : row.records) {
      RegistryKey key =
          RegistryKey::Create(RegistryRoot::kCurrentUser,
                              std::string(kContentsKey) + (record.key.empty() ? "" : "\\" + record.key));
      if (!record.name.empty()) key.SetString(record.name, record.record);
    }
    MarkHandOff();
    Com<IShellItemArray> items = ShellItemsOf(row.selection);
    ASSERT_TRUE(items);
    CompactMenu compact;
    {
      Com<IExplorerCommand> command = CreateCommand();
      ASSERT_TRUE(command);
      EXPECT_EQ(command->GetState(items.Get(), TRUE, &compact.state), S_OK);
      Walk(command.Get(), items.Get(), 0, compact);
    }
    EXPECT_EQ(HandOff("SFileName"), "marked");
    EXPECT_EQ(HandOff("attribSt"), "marked");

    Com<IContextMenu> handler = HandlerFor(row.selection);
    ASSERT_TRUE(handler);
    Popup popup;
    handler->QueryContextMenu(popup.Get(), 0, 1, 1000, CMF_NORMAL);
    std::vector<std::string> classic;
    WalkMenu(popup.Get(), [&](const MenuItemSeen& seen, int depth) {
      wchar_t tip[256] = {};
      handler->GetCommandString(seen.info.wID - 1, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(tip), 256);
      classic.push_back(Line(depth, seen.info.hSubMenu != nullptr, (seen.info.fType & MFT_SEPARATOR) != 0,
                             Displayed(seen.text), Narrow(tip), seen.info.hbmpChecked != nullptr));
    });
    std::vector<std::string> expected = row.expected;
    for (std::string& line : expected)
      if (const std::size_t at = line.find("{summary}"); at != std::string::npos)
        line.replace(at, 9, HandOff("attribSt"));

    EXPECT_EQ(compact.state, expected.empty() ? ECS_HIDDEN : ECS_ENABLED);
    if (expected.empty()) {
      EXPECT_TRUE(classic.empty()) << testing::PrintToString(classic);
      continue;
    }
    // The classic menu under the compact menu's top-level command.
    if (expected.front() == "> Verbhook") {
      for (std::string& line : classic) line.insert(0, "  ");
      classic.insert(classic.begin(), "> Verbhook");
    }
    EXPECT_EQ(compact.lines, expected);
    EXPECT_EQ(compact.icons, row.icons);
    EXPECT_EQ(compact.lines, classic);
  }
}

// Choosing an item records the selection as the classic menu does and runs it as the classic
// menu runs it: the copied text is the classic menu's, owned by the window of the command's site,
// and an external program gets the same arguments.
TEST_F(VerbhookExplorerCommandTest, InvokeRecordsTheSelectionAndRunsTheItemAsTheClassicMenuDoes) {
  const Recorder recorder;
  ASSERT_TRUE(recorder.Copied());
  AddRecord("", "1", "<command>[copypath]</command>");
  AddRecord("", "2", "<command>" + recorder.Program() + "</command><commandline>/s</commandline><sendfile>");
  const Window window;
  WindowSite site(window.Get());
  const struct {
    const char* label;
    const std::vector<std::string>& selection;
    std::string fileName;
  } cases[] = {
      {"one item", {three_[1]}, three_[1]},
      {"three items", three_, "*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Com<IShellItemArray> items = ShellItemsOf(c.selection);
    Com<IExplorerCommand> top = CreateCommand();
    ASSERT_TRUE(items && top);
    Com<IObjectWithSite> withSite;
    ASSERT_EQ(top->QueryInterface(IID_IObjectWithSite, withSite.Put()), S_OK);
    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    MarkHandOff();
    SetClipboardText("before");
    Com<IExplorerCommand> copy = SubCommand(top.Get(), items.Get(), 0);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Invoke(items.Get(), nullptr), S_OK);
    const std::string copied = ClipboardText();
    EXPECT_EQ(::GetClipboardOwner(), window.Get());
    EXPECT_EQ(HandOff("SFileName"), c.fileName);
    std::vector<std::string> listed = c.selection.size() > 1 ? HandOffList() : std::vector<std::string>{};
    std::vector<std::string> expected = c.selection.size() > 1 ? c.selection : std::vector<std::string>{};
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    const std::string summary = HandOff("attribSt");

    recorder.Clear();
    EXPECT_EQ(SubCommand(top.Get(), items.Get(), 1)->Invoke(items.Get(), nullptr), S_OK);
    const std::optional<std::string> started = recorder.Record();

    // The classic menu, for the same selection.
    Com<IContextMenu> handler = HandlerFor(c.selection);
    ASSERT_TRUE(handler);
    EXPECT_EQ(HandOff("attribSt"), summary);
    Popup popup;
    handler->QueryContextMenu(popup.Get(), 0, 1, 100, CMF_NORMAL);
    SetClipboardText("before");
    CMINVOKECOMMANDINFO record{};
    record.cbSize = sizeof record;
    record.hwnd = window.Get();
    record.lpVerb = MAKEINTRESOURCEA(1);
    EXPECT_EQ(handler->InvokeCommand(&record), S_OK);
    EXPECT_EQ(copied, ClipboardText());
    for (const std::string& path : c.selection) EXPECT_NE(copied.find(path), std::string::npos) << path;
    EXPECT_EQ(started, files_.Path() + "\n" + std::to_string(SW_SHOWNORMAL) + "\n/s\n" + c.fileName + "\n");
  }
  // Every command and list made is gone again.
  const auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(Widen(CARVEX_VERBHOOK_DLL).c_str()), "DllCanUnloadNow")));
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace carvex::test
