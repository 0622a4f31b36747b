#include "context_menu.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

#include "com_server.h"
#include "commands.h"
#include "handoff.h"
#include "menu_config.h"
#include "menu_plan.h"
#include "platform/registry.h"
#include "platform/wide.h"
#include "summary.h"

namespace carvex::com {

namespace {

using platform::Narrow;
using platform::Widen;

// Set by a "[vseparator]" and taken by the next text item of any menu this library builds in
// the process, whichever thread builds it. A menu takes it for the time it is planned, so
// that two menus built at once do not both start a new column with it.
std::atomic<bool> pendingColumnBreak{false};

// The paths of a CF_HDROP drop list, whole and in Unicode whatever their length. The list is
// read in one pass: DragQueryFile walks it from the start for every index, so that reading ten
// thousand paths through it takes seconds.
std::vector<std::string> DropListPaths(HDROP drop) {
  std::vector<std::string> paths;
  const SIZE_T size = ::GlobalSize(drop);
  const auto* header = static_cast<const DROPFILES*>(::GlobalLock(drop));
  if (!header) return paths;
  const char* const base = reinterpret_cast<const char*>(header);
  if (size >= sizeof(DROPFILES) && header->pFiles < size) {
    if (header->fWide) {
      const auto* at = reinterpret_cast<const wchar_t*>(base + header->pFiles);
      const wchar_t* const end = at + (size - header->pFiles) / sizeof(wchar_t);
      while (at < end && *at) {
        const wchar_t* const stop = std::find(at, end, L'\0');
        paths.push_back(Narrow(std::wstring_view(at, static_cast<std::size_t>(stop - at))));
        at = stop + 1;
      }
    } else {
      // An ANSI list, from an older program: its text is in the ANSI code page.
      const char* at = base + header->pFiles;
      const char* const end = base + size;
      while (at < end && *at) {
        const char* const stop = std::find(at, end, '\0');
        const int length = static_cast<int>(stop - at);
        std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, at, length, nullptr, 0)),
                          L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, at, length, wide.data(), static_cast<int>(wide.size()));
        paths.push_back(Narrow(wide));
        at = stop + 1;
      }
    }
  }
  ::GlobalUnlock(drop);
  return paths;
}

// The icon drawn on white at the system's icon size, then scaled to a menu check mark. A file
// that holds no such icon gives a white bitmap; an element that names none gives no bitmap.
UniqueBitmap MakeItemBitmap(const std::string& iconElement) {
  const std::optional<IconSource> source = ParseIconElement(iconElement);
  if (!source) return {};
  HICON extracted = nullptr;
  ::ExtractIconExW(Widen(source->file).c_str(), source->index, &extracted, nullptr, 1);
  const UniqueIcon icon(extracted);

  const int iconWidth = ::GetSystemMetrics(SM_CXICON);
  const int iconHeight = ::GetSystemMetrics(SM_CYICON);
  const int checkWidth = ::GetSystemMetrics(SM_CXMENUCHECK);
  const int checkHeight = ::GetSystemMetrics(SM_CYMENUCHECK);
  const ScreenDc screen(::GetDC(nullptr));
  if (!screen) return {};
  const MemoryDc drawing(::CreateCompatibleDC(screen.Get()));
  const MemoryDc scaling(::CreateCompatibleDC(screen.Get()));
  const UniqueBitmap full(::CreateCompatibleBitmap(screen.Get(), iconWidth, iconHeight));
  UniqueBitmap check(::CreateCompatibleBitmap(screen.Get(), checkWidth, checkHeight));
  if (!drawing || !scaling || !full || !check) return {};
  {
    const Selection drawn(drawing.Get(), full.Get());
    const RECT all{0, 0, iconWidth, iconHeight};
    ::FillRect(drawing.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (icon) ::DrawIcon(drawing.Get(), 0, 0, icon.Get());
    const Selection scaled(scaling.Get(), check.Get());
    ::SetStretchBltMode(scaling.Get(), HALFTONE);
    ::SetBrushOrgEx(scaling.Get(), 0, 0, nullptr);
    ::StretchBlt(scaling.Get(), 0, 0, checkWidth, checkHeight, drawing.Get(), 0, 0, iconWidth, iconHeight,
                 SRCCOPY);
  }
  return check;
}

// Turns the planned entries into menu items. An entry the menu refuses is left out; the rest
// still go in.
void InsertEntries(HMENU menu, const std::vector<PlannedEntry>& entries, UINT idCmdFirst,
                   std::vector<UniqueBitmap>& bitmaps) {
  for (const PlannedEntry& entry : entries) {
    std::wstring caption = Widen(entry.caption);
    // A path such as "C:\Tom & Jerry" would show an underlined blank instead of its "&".
    if (entry.literalCaption)
      for (std::size_t at = caption.find(L'&'); at != std::wstring::npos; at = caption.find(L'&', at + 2))
        caption.insert(at, 1, L'&');
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    switch (entry.kind) {
      case PlannedEntry::Kind::kSubmenu: {
        UniqueMenu submenu(::CreatePopupMenu());
        if (!submenu) continue;
        InsertEntries(submenu.Get(), entry.entries, idCmdFirst, bitmaps);
        item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
        item.fType = MFT_STRING;
        item.dwTypeData = caption.data();
        item.hSubMenu = submenu.Get();
        // From here on the parent menu destroys it.
        if (::InsertMenuItemW(menu, entry.position, TRUE, &item)) submenu.Release();
        break;
      }
      case PlannedEntry::Kind::kSeparator:
        item.fMask = MIIM_FTYPE | MIIM_ID;
        item.fType = MFT_SEPARATOR;
        item.wID = idCmdFirst + entry.offset;
        ::InsertMenuItemW(menu, entry.position, TRUE, &item);
        break;
      case PlannedEntry::Kind::kText: {
        UniqueBitmap bitmap = MakeItemBitmap(entry.icon);
        // The bitmaps go in with the item: set afterwards by position, they could land on
        // another item, since a position past the end appends.
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
        item.fType = MFT_STRING | (entry.columnBreak ? MFT_MENUBARBREAK : 0);
        item.wID = idCmdFirst + entry.offset;
        item.dwTypeData = caption.data();
        item.hbmpChecked = bitmap.Get();
        item.hbmpUnchecked = bitmap.Get();
        if (::InsertMenuItemW(menu, entry.position, TRUE, &item) && bitmap)
          bitmaps.push_back(std::move(bitmap));
        break;
      }
    }
  }
}

// `text` into a buffer of `size` units with its terminator, cut where it must be, never
// between the two halves of a character.
void CopyWide(const std::wstring& text, wchar_t* buffer, UINT size) {
  std::size_t length = std::min<std::size_t>(text.size(), size - 1);
  if (length > 0 && length < text.size() && IS_HIGH_SURROGATE(text[length - 1])) --length;
  std::copy_n(text.begin(), length, buffer);
  buffer[length] = L'\0';
}

// The same in the ANSI code page, where a character may take more than one byte.
void CopyAnsi(const std::wstring& text, char* buffer, UINT size) {
  std::size_t units = 0;
  int bytes = 0;
  while (units < text.size()) {
    const std::size_t width = IS_HIGH_SURROGATE(text[units]) && units + 1 < text.size() ? 2 : 1;
    const int more = ::WideCharToMultiByte(CP_ACP, 0, text.data() + units, static_cast<int>(width), nullptr,
                                           0, nullptr, nullptr);
    if (bytes + more > static_cast<int>(size) - 1) break;
    bytes += more;
    units += width;
  }
  if (units > 0)
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(units), buffer, bytes, nullptr, nullptr);
  buffer[bytes] = '\0';
}

// What a command takes from the file manager's invocation record besides the item.
struct Invocation {
  // The item chosen; nullopt for a verb given as text, which no item has.
  std::optional<std::uint32_t> item;
  std::string folder;
};

// A record as large as CMINVOKECOMMANDINFOEX up to its Unicode strings (older hosts leave out
// the point that follows them) carries its verb and folder in Unicode as well, which a folder
// outside the ANSI code page needs.
Invocation ReadInvocation(const CMINVOKECOMMANDINFO& record) {
  const auto& extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(record);
  const bool unicode =
      record.cbSize >= offsetof(CMINVOKECOMMANDINFOEX, ptInvoke) && (record.fMask & CMIC_MASK_UNICODE) != 0;
  Invocation invocation;
  // An item is chosen by its number, in the low 16 bits; a verb given as text is a pointer.
  const auto verb = unicode && extended.lpVerbW ? reinterpret_cast<ULONG_PTR>(extended.lpVerbW)
                                                : reinterpret_cast<ULONG_PTR>(record.lpVerb);
  if ((verb >> 16) == 0) invocation.item = static_cast<std::uint32_t>(verb);
  if (unicode && extended.lpDirectoryW && *extended.lpDirectoryW) {
    invocation.folder = Narrow(extended.lpDirectoryW);
  } else if (record.lpDirectory && *record.lpDirectory) {
    std::wstring folder(::MultiByteToWideChar(CP_ACP, 0, record.lpDirectory, -1, nullptr, 0), L'\0');
    folder.resize(::MultiByteToWideChar(CP_ACP, 0, record.lpDirectory, -1, folder.data(),
                                        static_cast<int>(folder.size())));
    if (!folder.empty()) folder.pop_back();
    invocation.folder = Narrow(folder);
  }
  return invocation;
}

// An identifier offset as an item number; one that no item can have finds no record.
std::uint32_t ItemNumber(UINT_PTR offset) {
  return offset <= 0xFFFFFFFF ? static_cast<std::uint32_t>(offset) : 0;
}

}  // namespace

TContextMenu::TContextMenu() noexcept { ServerObjectCreated(); }

TContextMenu::~TContextMenu() { ServerObjectDestroyed(); }

STDMETHODIMP TContextMenu::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit)) {
    *object = static_cast<IShellExtInit*>(this);
  } else if (IsEqualIID(riid, IID_IContextMenu)) {
    *object = static_cast<IContextMenu*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TContextMenu::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) TContextMenu::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP TContextMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return Guarded([&]() -> HRESULT {
    selection_.reset();
    platform::RegistryKey::Create(platform::RegistryRoot::kCurrentUser, MenuConfigKeyPath());
    if (!data) return E_INVALIDARG;
    HeldSelection selection;
    {
      FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      StorageMedium medium;
      const HRESULT got = data->GetData(&format, medium.Put());
      if (FAILED(got)) return got;
      if (medium.Get().tymed != TYMED_HGLOBAL || !medium.Get().hGlobal) return DV_E_TYMED;
      selection.paths = DropListPaths(static_cast<HDROP>(medium.Get().hGlobal));
    }
    // Summarised from the paths themselves: read back from the hand-off key, they could be
    // those of another window that recorded its selection in between.
    selection.summary = SummarizePaths(selection.paths);
    WriteHandOff(selection.paths, selection.summary);
    selection_ = std::move(selection);
    return S_OK;
  });
}

STDMETHODIMP TContextMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                            UINT flags) {
  return Guarded([&]() -> HRESULT {
    // A double-click asks for the default verb alone, with the navigation pane shown too
    // (CMF_EXPLORE): no item is a default verb, and building the menu could show a warning
    // where the user only opened a file.
    if ((flags & CMF_DEFAULTONLY) != 0) return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    // Asked for verbs only: the items are no verbs.
    if ((flags & (CMF_VERBSONLY | CMF_EXPLORE | CMF_NOVERBS)) != 0 && (flags & CMF_EXPLORE) == 0)
      return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    const CallServices services(nullptr);
    const MenuLevel tree = ReadMenuTree();
    bool pending = pendingColumnBreak.exchange(false);
    const MenuPlan plan =
        PlanContextMenu(tree, indexMenu, idCmdFirst, idCmdLast, pending, selection_ ? &*selection_ : nullptr);
    if (pending) pendingColumnBreak.store(true);
    InsertEntries(menu, plan.entries, idCmdFirst, bitmaps_);
    offsets_.insert(offsets_.end(), plan.offsets.begin(), plan.offsets.end());
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, plan.identifiersUsed);
  });
}

STDMETHODIMP TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* invocation) {
  return Guarded([&]() -> HRESULT {
    if (!invocation) return E_INVALIDARG;
    const Invocation chosen = ReadInvocation(*invocation);
    if (!chosen.item) return E_FAIL;
    // The window the user chose the item in owns what the command shows, and the clipboard:
    // with no owner the system refuses the data put there once the clipboard is emptied.
    const CallServices services(invocation->hwnd);
    CommandContext context;
    context.selection = selection_;
    context.owner = reinterpret_cast<platform::WindowHandle>(invocation->hwnd);
    context.workingFolder = chosen.folder;
    context.showCommand = invocation->nShow;
    RunItem(FindItemRecord(*chosen.item), context);
    return S_OK;
  });
}

STDMETHODIMP TContextMenu::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT size) {
  return Guarded([&]() -> HRESULT {
    switch (type) {
      case GCS_HELPTEXTA:
      case GCS_HELPTEXTW: {
        const std::wstring description =
            Widen(ExtractElement(FindItemRecord(ItemNumber(idCmd)), Element::kDescription));
        if (size == 0) return S_OK;
        if (!name) return E_POINTER;
        if (type == GCS_HELPTEXTW)
          CopyWide(description, reinterpret_cast<wchar_t*>(name), size);
        else
          CopyAnsi(description, name, size);
        return S_OK;
      }
      case GCS_VALIDATEA:
      case GCS_VALIDATEW: {
        const std::uint32_t number = ItemNumber(idCmd);
        return number != 0 && std::find(offsets_.begin(), offsets_.end(), number) != offsets_.end() ? S_OK
                                                                                                    : S_FALSE;
      }
      default:
        // The items have no canonical verbs, and no other string to give.
        return E_NOTIMPL;
    }
  });
}

}  // namespace carvex::com
