// explorer_walk.exe: looks for Verbhook's handler as File Explorer does, for files ("*") and for
// folders ("Directory"), and prints one line for each handler it finds:
//   TYPE <tab> KEY <tab> CLASS <tab> SERVER <tab> the result of creating it, or "no class"
// Exits 0 only when it found and created Verbhook's class for both, 1 otherwise. A 64-bit
// program reads the 64-bit view of the registry, as 64-bit Explorer does.
#include <objbase.h>

#include <cstdio>
#include <string>

#include "explorer_walk.h"
#include "platform/process.h"
#include "platform/wide.h"

namespace {

constexpr wchar_t kVerbhookClass[] = L"{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}";

}  // namespace

int wmain() {
  carvex::platform::ExitOnCrash();
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int createdKinds = 0;
  for (const wchar_t* type : {L"*", L"Directory"}) {
    bool created = false;
    for (const carvex::test::FoundHandler& handler : carvex::test::WalkContextMenuHandlers(HKEY_CLASSES_ROOT, type)) {
      char result[16] = "no class";
      if (!handler.clsid.empty())
        std::snprintf(result, sizeof result, "0x%08lX", static_cast<unsigned long>(handler.created));
      std::printf("%s\t%s\t%s\t%s\t%s\n", carvex::platform::Narrow(type).c_str(),
                  carvex::platform::Narrow(handler.key).c_str(), carvex::platform::Narrow(handler.clsid).c_str(),
                  carvex::platform::Narrow(handler.server).c_str(), result);
      created = created || (handler.clsid == kVerbhookClass && SUCCEEDED(handler.created));
    }
    if (created) ++createdKinds;
  }
  ::CoUninitialize();
  std::printf(createdKinds == 2 ? "Verbhook's handler: found and created for files and folders\n"
                                : "Verbhook's handler: not found and created for both files and folders\n");
  return createdKinds == 2 ? 0 : 1;
}
