#pragma once

#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "menu_config.h"
#include "win_handles.h"

namespace carvex::com {

// The context-menu handler that the file manager creates for each right-click: it records the
// selection in the hand-off key, adds the configured items to the menu, gives their help texts
// and runs the one chosen. Its methods only translate between the shell's types and the core.
class TContextMenu final : public IShellExtInit, public IContextMenu {
 public:
  TContextMenu() noexcept;
  TContextMenu(const TContextMenu&) = delete;
  TContextMenu& operator=(const TContextMenu&) = delete;

  // IUnknown, through either interface.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IShellExtInit
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY programKey) override;

  // IContextMenu
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* invocation) override;
  STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT size) override;

 private:
  ~TContextMenu();

  std::atomic<ULONG> references_{1};
  // The selection recorded by Initialize, which the menu shows and its commands act on: the
  // hand-off key holds whatever selection any window recorded last.
  std::optional<HeldSelection> selection_;
  // The item bitmaps of the menus built, which must last while a menu is on screen; the menus
  // do not own them.
  std::vector<UniqueBitmap> bitmaps_;
  // The identifier offsets of the items and separators placed in the menu.
  std::vector<std::uint32_t> offsets_;
};

}  // namespace carvex::com
