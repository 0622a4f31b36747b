// Shows one of the dialogs that the window driver answers, as the program under test shows
// it, and writes what the user chose to a file, one line each:
//   dialog_probe <result file> box <text>   a Yes/No/Cancel message box; writes the button
//   dialog_probe <result file> open         the Open dialog, several files allowed; writes the paths
//   dialog_probe <result file> folder       the folder picker; writes the folder
// A cancelled dialog writes nothing. The exit code is 0 unless the dialog could not be shown.
#include <windows.h>

#include <commdlg.h>
#include <shobjidl.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wide.h"

namespace {

using carvex::platform::Narrow;
using carvex::platform::Widen;

std::vector<std::string> ShowBox(const std::wstring& text) {
  switch (::MessageBoxW(nullptr, text.c_str(), L"Probe", MB_YESNOCANCEL)) {
    case IDYES:
      return {"yes"};
    case IDNO:
      return {"no"};
    case IDCANCEL:
      return {"cancel"};
  }
  return {};
}

// With several files chosen the buffer holds the folder, then each name, each ended by a
// zero; with one it holds the full path.
std::vector<std::string> ShowOpen() {
  std::wstring buffer(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFilter = L"All Files (*.*)\0*.*\0";
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!::GetOpenFileNameW(&ofn)) return {};
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.c_str(); *p; p += parts.back().size() + 1) parts.emplace_back(p);
  if (parts.size() == 1) return {Narrow(parts[0])};
  std::wstring folder = parts[0];
  if (folder.back() != L'\\') folder += L'\\';
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < parts.size(); ++i) paths.push_back(Narrow(folder + parts[i]));
  return paths;
}

std::vector<std::string> ShowFolderPicker() {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
    return {};
  std::vector<std::string> chosen;
  DWORD options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  IShellItem* item = nullptr;
  if (SUCCEEDED(dialog->Show(nullptr)) && SUCCEEDED(dialog->GetResult(&item))) {
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
      chosen.push_back(Narrow(path));
      ::CoTaskMemFree(path);
    }
    item->Release();
  }
  dialog->Release();
  return chosen;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring mode = argv[2];
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  std::vector<std::string> lines;
  if (mode == L"box" && argc > 3)
    lines = ShowBox(argv[3]);
  else if (mode == L"open")
    lines = ShowOpen();
  else if (mode == L"folder")
    lines = ShowFolderPicker();
  else
    return 2;
  ::CoUninitialize();
  std::ofstream out(std::filesystem::path(argv[1]), std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
  return out ? 0 : 4;
}
