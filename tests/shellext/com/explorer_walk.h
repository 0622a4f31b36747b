#pragma once

// How File Explorer finds the context-menu handlers of a kind of item, after Microsoft's
// "Registering Shell Extension Handlers": it enumerates the direct subkeys of the kind's
// shellex\ContextMenuHandlers key, takes each one's class from the subkey's name or else from
// its default value, and creates that class in process. Written against the raw registry and
// COM calls, so that it shares nothing with the registration it checks.

#include <windows.h>

#include <string>
#include <vector>

namespace carvex::test {

struct FoundHandler {
  // The subkey of ContextMenuHandlers.
  std::wstring key;
  // "{...}" in capitals, from the key's name or its default value; empty when neither is one.
  std::wstring clsid;
  // The default value of the class's InprocServer32 key; empty when there is none.
  std::wstring server;
  // CoCreateInstance for IShellExtInit, then the object's IContextMenu; not tried without a
  // class.
  HRESULT created = E_FAIL;
};

// Every direct subkey of `classes`\`type`\shellex\ContextMenuHandlers, in the order the registry
// gives them. `classes` is HKEY_CLASSES_ROOT, or a user's own classes key; the classes are
// looked up below the same key. COM must be initialised on the calling thread.
std::vector<FoundHandler> WalkContextMenuHandlers(HKEY classes, const std::wstring& type);

}  // namespace carvex::test
