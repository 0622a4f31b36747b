#include "explorer_command.h"

// After windows.h, which they need.
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com_server.h"
#include "commands.h"
#include "handoff.h"
#include "menu_config.h"
#include "menu_plan.h"
#include "platform/wide.h"
#include "summary.h"
#include "win_handles.h"

namespace carvex::com {

namespace {

using platform::Narrow;
using platform::Widen;

// The top-level command's title when the configuration is not one submenu.
constexpr wchar_t kProductTitle[] = L"Verbhook";

// A top level that is one submenu and nothing else, as the first menu is, becomes the command
// itself: the compact menu already opens the command's entries in a flyout of their own, and a
// second flyout inside it would only add a click.
bool IsOneSubmenu(const MenuLevel& top) { return top.submenus.size() == 1 && top.items.empty(); }

// The compact menu shows a title as it is: it has no access keys, and an "&" would show. A
// caption written for the classic menu loses its access-key marks, and "&&" there stands for
// one "&".
std::wstring WithoutAccessKeys(std::wstring_view caption) {
  std::wstring plain;
  plain.reserve(caption.size());
  for (std::size_t at = 0; at < caption.size(); ++at) {
    if (caption[at] == L'&' && ++at == caption.size()) break;
    plain += caption[at];
  }
  return plain;
}

HRESULT ReturnText(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return ::SHStrDupW(text.c_str(), out);
}

// The file-system paths of the items File Explorer passes, in its order, whole however long. An
// item without one (of a virtual folder) is nothing the commands could act on. The summary reads
// every item's attributes: it is made only where it is shown or recorded.
HeldSelection SelectionOf(IShellItemArray* items, bool summarized = true) {
  HeldSelection selection;
  DWORD count = 0;
  if (FAILED(items->GetCount(&count))) count = 0;
  for (DWORD index = 0; index < count; ++index) {
    IShellItem* raw = nullptr;
    if (FAILED(items->GetItemAt(index, &raw)) || !raw) continue;
    const ComRef<IShellItem> item(raw);
    wchar_t* name = nullptr;
    if (FAILED(item.Get()->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name) continue;
    const TaskText owned(name);
    selection.paths.push_back(Narrow(name));
  }
  if (summarized) selection.summary = SummarizePaths(selection.paths);
  return selection;
}

// The window of the host that the command sits in, which owns what a command shows and the
// clipboard: the site's own, or that of the browser it serves.
HWND WindowOfSite(IUnknown* site) {
  if (!site) return nullptr;
  HWND window = nullptr;
  if (SUCCEEDED(::IUnknown_GetWindow(site, &window)) && window) return window;
  IOleWindow* raw = nullptr;
  if (FAILED(::IUnknown_QueryService(site, SID_STopLevelBrowser, IID_IOleWindow,
                                     reinterpret_cast<void**>(&raw))) ||
      !raw)
    return nullptr;
  const ComRef<IOleWindow> browser(raw);
  return SUCCEEDED(browser.Get()->GetWindow(&window)) ? window : nullptr;
}

using CommandList = std::vector<ComRef<IExplorerCommand>>;

// The commands below one command. Clones share the list; each has its own place in it.
class TExplorerCommandList final : public IEnumExplorerCommand {
 public:
  explicit TExplorerCommandList(std::shared_ptr<const CommandList> commands, std::size_t next = 0) noexcept
      : commands_(std::move(commands)), next_(next) {
    ServerObjectCreated();
  }
  TExplorerCommandList(const TExplorerCommandList&) = delete;
  TExplorerCommandList& operator=(const TExplorerCommandList&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumExplorerCommand)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IEnumExplorerCommand*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) override {
    return Guarded([&]() -> HRESULT {
      if (!commands) return E_POINTER;
      if (count != 1 && !fetched) return E_INVALIDARG;
      ULONG given = 0;
      for (; given < count && next_ < commands_->size(); ++given, ++next_) {
        commands[given] = (*commands_)[next_].Get();
        commands[given]->AddRef();
      }
      if (fetched) *fetched = given;
      return given == count ? S_OK : S_FALSE;
    });
  }
  STDMETHODIMP Skip(ULONG count) override {
    const std::size_t left = commands_->size() - next_;
    next_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumExplorerCommand** copy) override {
    return Guarded([&]() -> HRESULT {
      if (!copy) return E_POINTER;
      *copy = new (std::nothrow) TExplorerCommandList(commands_, next_);
      return *copy ? S_OK : E_OUTOFMEMORY;
    });
  }

 private:
  ~TExplorerCommandList() { ServerObjectDestroyed(); }

  std::atomic<ULONG> references_{1};
  std::shared_ptr<const CommandList> commands_;
  // Called on the thread of the apartment that made the list, one call at a time.
  std::size_t next_;
};

// One command of the compact menu: the top-level one, which stands for the configured menu, or
// one entry below it, laid out as the classic handler lays out its menu, with the same item
// numbers. Its methods only translate between the shell's types and the core.
class TExplorerCommand final : public IExplorerCommand, public IObjectWithSite {
 public:
  // The top-level command.
  TExplorerCommand() noexcept { ServerObjectCreated(); }
  // An entry below it, in `site`. `seen` is the selection the top-level command was last asked
  // about, for a host that asks for a title without giving one.
  TExplorerCommand(PlannedEntry entry, ComRef<IUnknown> site,
                   std::shared_ptr<const HeldSelection> seen) noexcept
      : entry_(std::move(entry)), site_(std::move(site)), seen_(std::move(seen)) {
    ServerObjectCreated();
  }
  TExplorerCommand(const TExplorerCommand&) = delete;
  TExplorerCommand& operator=(const TExplorerCommand&) = delete;

  // IUnknown, through either interface.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IExplorerCommand)) {
      *object = static_cast<IExplorerCommand*>(this);
    } else if (IsEqualIID(riid, IID_IObjectWithSite)) {
      *object = static_cast<IObjectWithSite*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IExplorerCommand
  STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) override {
    return Guarded([&]() -> HRESULT {
      const CallServices services(nullptr);
      if (!entry_) {
        const MenuLevel tree = ReadMenuTree();
        if (items) seen_ = std::make_shared<const HeldSelection>(SelectionOf(items));
        return ReturnText(IsOneSubmenu(tree) ? WithoutAccessKeys(Widen(tree.submenus.front().caption))
                                             : std::wstring(kProductTitle),
                          title);
      }
      switch (entry_->kind) {
        case PlannedEntry::Kind::kSeparator:
          return E_NOTIMPL;
        case PlannedEntry::Kind::kSubmenu:
          return ReturnText(WithoutAccessKeys(Widen(entry_->caption)), title);
        case PlannedEntry::Kind::kText:
          break;
      }
      if (!entry_->literalCaption) return ReturnText(WithoutAccessKeys(Widen(entry_->caption)), title);
      // The path or the summary: of the items asked about, computed here and never recorded.
      if (!items) return ReturnText(Widen(entry_->caption), title);
      const std::string record = FindItemRecord(entry_->offset);
      const bool showsSummary = FindBuiltIn(FindElement(record, Element::kCommand).value_or("")) == BuiltIn::kProps;
      const HeldSelection selection = SelectionOf(items, showsSummary);
      return ReturnText(Widen(DescribeMenuEntry(record, &selection).caption), title);
    });
  }

  STDMETHODIMP GetIcon(IShellItemArray*, LPWSTR* icon) override {
    return Guarded([&]() -> HRESULT {
      if (icon) *icon = nullptr;
      if (!entry_ || entry_->kind != PlannedEntry::Kind::kText) return E_NOTIMPL;
      const std::optional<IconSource> source = ParseIconElement(entry_->icon);
      if (!source) return E_NOTIMPL;
      // The shell's icon locations read the index as the classic menu's icon extraction does:
      // from 0 a position in the file, below 0 a resource identifier.
      return ReturnText(Widen(source->file) + L"," + std::to_wstring(source->index), icon);
    });
  }

  STDMETHODIMP GetToolTip(IShellItemArray*, LPWSTR* tip) override {
    return Guarded([&]() -> HRESULT {
      if (tip) *tip = nullptr;
      if (!entry_ || entry_->kind != PlannedEntry::Kind::kText) return E_NOTIMPL;
      return ReturnText(Widen(ExtractElement(FindItemRecord(entry_->offset), Element::kDescription)), tip);
    });
  }

  STDMETHODIMP GetCanonicalName(GUID* name) override {
    if (!name) return E_POINTER;
    if (entry_) {
      *name = GUID_NULL;
      return E_NOTIMPL;
    }
    *name = kExplorerCommandClsid;
    return S_OK;
  }

  STDMETHODIMP GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) override {
    return Guarded([&]() -> HRESULT {
      if (!state) return E_POINTER;
      *state = ECS_ENABLED;
      if (entry_) return S_OK;
      const CallServices services(nullptr);
      const MenuLevel tree = ReadMenuTree();
      const MenuLevel& shown = IsOneSubmenu(tree) ? tree.submenus.front() : tree;
      if (shown.submenus.empty() && shown.items.empty()) *state = ECS_HIDDEN;
      return S_OK;
    });
  }

  STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx*) override {
    return Guarded([&]() -> HRESULT {
      if (!entry_ || entry_->kind != PlannedEntry::Kind::kText) return E_NOTIMPL;
      if (!items) return E_INVALIDARG;
      HeldSelection selection = SelectionOf(items);
      if (selection.paths.empty()) return E_INVALIDARG;
      // Recorded only now that an item is chosen: the application and the commands read the
      // selection from there as they read the classic menu's.
      WriteHandOff(selection.paths, selection.summary);
      const HWND owner = WindowOfSite(site_.Get());
      const CallServices services(owner);
      CommandContext context;
      context.selection = std::move(selection);
      context.owner = reinterpret_cast<platform::WindowHandle>(owner);
      RunItem(FindItemRecord(entry_->offset), context);
      return S_OK;
    });
  }

  STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override {
    if (!flags) return E_POINTER;
    *flags = ECF_DEFAULT;
    if (!entry_ || entry_->kind == PlannedEntry::Kind::kSubmenu)
      *flags = ECF_HASSUBCOMMANDS;
    else if (entry_->kind == PlannedEntry::Kind::kSeparator)
      *flags = ECF_ISSEPARATOR;
    return S_OK;
  }

  STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** list) override {
    return Guarded([&]() -> HRESULT {
      if (!list) return E_POINTER;
      *list = nullptr;
      if (entry_ && entry_->kind != PlannedEntry::Kind::kSubmenu) return E_NOTIMPL;
      std::vector<PlannedEntry> entries = entry_ ? entry_->entries : PlanTopLevel();
      auto commands = std::make_shared<CommandList>();
      commands->reserve(entries.size());
      for (PlannedEntry& entry : entries) {
        auto* command = new (std::nothrow) TExplorerCommand(std::move(entry), ShareRef(site_.Get()), seen_);
        if (!command) return E_OUTOFMEMORY;
        commands->emplace_back(command);
      }
      *list = new (std::nothrow) TExplorerCommandList(std::move(commands));
      return *list ? S_OK : E_OUTOFMEMORY;
    });
  }

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) override {
    site_ = ShareRef(site);
    return S_OK;
  }
  STDMETHODIMP GetSite(REFIID riid, void** site) override {
    if (!site) return E_POINTER;
    *site = nullptr;
    return site_ ? site_.Get()->QueryInterface(riid, site) : E_FAIL;
  }

 private:
  ~TExplorerCommand() { ServerObjectDestroyed(); }

  // The entries below the top-level command, numbered as the classic menu numbers them. The
  // compact menu has no columns: a "[vseparator]" shows nothing there, and no column break is
  // carried over to the next menu either, so the classic menu's own is left alone.
  std::vector<PlannedEntry> PlanTopLevel() const {
    const CallServices services(nullptr);
    const MenuLevel tree = ReadMenuTree();
    bool columnBreak = false;
    const HeldSelection none;
    MenuPlan plan = PlanContextMenu(tree, 0, 0, std::numeric_limits<std::uint32_t>::max(), columnBreak,
                                    seen_ ? seen_.get() : &none);
    if (IsOneSubmenu(tree) && !plan.entries.empty()) return std::move(plan.entries.front().entries);
    return std::move(plan.entries);
  }

  std::atomic<ULONG> references_{1};
  // Empty for the top-level command.
  std::optional<PlannedEntry> entry_;
  ComRef<IUnknown> site_;
  std::shared_ptr<const HeldSelection> seen_;
};

}  // namespace

HRESULT CreateExplorerCommand(REFIID riid, void** object) {
  return HandOverNew(static_cast<IExplorerCommand*>(new (std::nothrow) TExplorerCommand()), riid, object);
}

}  // namespace carvex::com
