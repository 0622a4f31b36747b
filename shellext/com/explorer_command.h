#pragma once

#include <windows.h>

namespace carvex::com {

// Makes the top-level command of File Explorer's compact context menu and asks it for `riid`:
// the configured menu as IExplorerCommand objects, for the class factory.
HRESULT CreateExplorerCommand(REFIID riid, void** object);

}  // namespace carvex::com
