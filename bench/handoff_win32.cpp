// Right-clicks selections of 1,000 and 10,000 files the way Explorer does: verbhook.dll is
// registered, the handler comes from CoCreateInstance, gets the selection as a CF_HDROP data
// object (Initialize: the hand-off and the summary) and fills a popup menu
// (QueryContextMenu). Beside it, the shared core alone (the hand-off and the summary of the
// same paths, as Initialize records them), and two peers from the same run: GetFileAttributesExW
// of every selected file, the least a summary must ask the file system, and RegSetValueExW of
// one empty value per file, the least the hand-off must ask the registry. Each is timed best of
// five. The last line is how the times grow from 1,000 to 10,000 files (10 for work that grows
// with the selection, 100 for work that grows with its square).
// Usage: bench_handoff [work folder]
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "best_of.h"
#include "drop_list.h"
#include "handoff.h"
#include "platform/registry.h"
#include "platform/wide.h"
#include "summary.h"

namespace {

using carvex::platform::Widen;
using carvex::test::DropList;

constexpr CLSID kClsid = {0x5B0C3F2E, 0x7A41, 0x4D9B, {0x9E, 0x62, 0xC1, 0xD8, 0xA4, 0xF7, 0x0B, 0x35}};
constexpr char kContentsKey[] = "SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents";
constexpr wchar_t kPeerKey[] = L"Software\\Carvex Bench\\values";

// One right-click: a new handler, Initialize, QueryContextMenu; false on any failure.
bool RightClick(const std::vector<std::wstring>& paths) {
  IShellExtInit* init = nullptr;
  if (FAILED(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                reinterpret_cast<void**>(&init))))
    return false;
  DropList selection(paths);
  bool ok = SUCCEEDED(init->Initialize(nullptr, &selection, nullptr));
  IContextMenu* menu = nullptr;
  if (ok) ok = SUCCEEDED(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
  if (ok) {
    HMENU popup = ::CreatePopupMenu();
    ok = SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL)) && ::GetMenuItemCount(popup) > 0;
    ::DestroyMenu(popup);
    menu->Release();
  }
  init->Release();
  return ok;
}

std::uint64_t AttributesPeer(const std::vector<std::wstring>& paths) {
  std::uint64_t total = 0;
  for (const std::wstring& path : paths) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) total += data.nFileSizeLow;
  }
  return total;
}

bool RegistryPeer(const std::vector<std::wstring>& paths) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kPeerKey);
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kPeerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
    return false;
  bool ok = true;
  for (const std::wstring& path : paths)
    ok = ok && ::RegSetValueExW(key, path.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2) == 0;
  ::RegCloseKey(key);
  return ok;
}

bool CorePeer(const std::vector<std::string>& paths) {
  carvex::WriteHandOffSelection(paths);
  carvex::WriteSelectionSummary(carvex::SummarizePaths(paths));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring work = argc > 1 ? Widen(argv[1]) : std::wstring(temp) + L"carvex-bench-handoff";
  ::CreateDirectoryW(work.c_str(), nullptr);

  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  // Registered in this process, as regsvr32 would do it: verbhook.dll lies beside the bench.
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring library = self;
  library = library.substr(0, library.find_last_of(L'\\') + 1) + L"verbhook.dll";
  HMODULE module = ::LoadLibraryW(library.c_str());
  const auto registerServer = module ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(
                                           ::GetProcAddress(module, "DllRegisterServer")))
                                     : nullptr;
  if (!registerServer || FAILED(registerServer())) {
    std::fprintf(stderr, "cannot register verbhook.dll\n");
    return 1;
  }
  // A menu like a user's: the built-ins that show the hand-off, and a program to start.
  using carvex::platform::RegistryKey;
  using carvex::platform::RegistryRoot;
  if (auto handOff =
          RegistryKey::Open(RegistryRoot::kCurrentUser, "SOFTWARE\\Orvane Software\\Carvex\\Ravelin"))
    handOff->DeleteSubKeyTree("Contents");
  RegistryKey contents = RegistryKey::Create(RegistryRoot::kCurrentUser, kContentsKey);
  contents.SetString("1", "<caption>Copy path</caption><command>[copypath]</command>");
  contents.SetString("2", "<caption>Properties</caption><command>[props]</command>");
  contents.SetString(
      "3", "<caption>Split</caption><command>carvex.exe</command><commandline>/s</commandline><sendfile>");

  std::printf("%8s %10s %10s %10s %10s %9s %9s\n", "files", "handler s", "core s", "attribs s", "registry s",
              "vs attr", "vs reg");
  double at1000[4] = {};
  for (int count : {1000, 10000}) {
    std::vector<std::wstring> paths;
    std::vector<std::string> utf8;
    for (int i = 0; i < count; ++i) {
      wchar_t name[32];
      std::swprintf(name, 32, L"\\file%05d.dat", i);
      paths.push_back(work + name);
      utf8.push_back(carvex::platform::Narrow(paths.back()));
      HANDLE file = ::CreateFileW(paths.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      ::WriteFile(file, "0123456789", static_cast<DWORD>(i % 10), &written, nullptr);
      ::CloseHandle(file);
    }
    const double times[4] = {
        carvex::bench::BestOf(5, [&] { return RightClick(paths); }),
        carvex::bench::BestOf(5, [&] { return CorePeer(utf8); }),
        carvex::bench::BestOf(5, [&] { return AttributesPeer(paths) > 0; }),
        carvex::bench::BestOf(5, [&] { return RegistryPeer(paths); }),
    };
    if (times[0] < 0 || times[3] < 0) {
      std::fprintf(stderr, "a right-click or a registry write failed at %d files\n", count);
      return 1;
    }
    std::printf("%8d %10.4f %10.4f %10.4f %10.4f %8.1fx %8.1fx\n", count, times[0], times[1], times[2],
                times[3], times[0] / times[2], times[0] / times[3]);
    if (count == 1000) {
      std::copy(std::begin(times), std::end(times), at1000);
    } else {
      std::printf(
          "10,000 / 1,000 files: handler %.2fx, core %.2fx, attributes %.2fx, registry %.2fx the time\n",
          times[0] / at1000[0], times[1] / at1000[1], times[2] / at1000[2], times[3] / at1000[3]);
    }
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Carvex Bench");
  if (auto handOff =
          RegistryKey::Open(RegistryRoot::kCurrentUser, "SOFTWARE\\Orvane Software\\Carvex\\Ravelin"))
    handOff->DeleteSubKeyTree("fileNames");
  for (int i = 0; i < 10000; ++i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"\\file%05d.dat", i);
    ::DeleteFileW((work + name).c_str());
  }
  ::RemoveDirectoryW(work.c_str());
  ::CoUninitialize();
  return 0;
}
