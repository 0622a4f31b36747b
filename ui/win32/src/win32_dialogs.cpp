// Message boxes, the Open dialog, the folder picker, the shell and the clipboard.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ui/app.h"
#include "win32_view.h"

namespace carvex::ui {

namespace {

UINT ButtonsOf(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::kOkOnly:
      return MB_OK;
    case MsgBoxButtons::kOkCancel:
      return MB_OKCANCEL;
    case MsgBoxButtons::kAbortRetryIgnore:
      return MB_ABORTRETRYIGNORE;
    case MsgBoxButtons::kYesNoCancel:
      return MB_YESNOCANCEL;
    case MsgBoxButtons::kYesNo:
      return MB_YESNO;
    case MsgBoxButtons::kRetryCancel:
      return MB_RETRYCANCEL;
  }
  return MB_OK;
}

UINT IconOf(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::kCritical:
      return MB_ICONERROR;
    case MsgBoxIcon::kQuestion:
      return MB_ICONQUESTION;
    case MsgBoxIcon::kExclamation:
      return MB_ICONWARNING;
    case MsgBoxIcon::kInformation:
      return MB_ICONINFORMATION;
    case MsgBoxIcon::kNone:
      break;
  }
  return 0;
}

MsgBoxResult ResultOf(int pressed) {
  switch (pressed) {
    case IDOK:
      return MsgBoxResult::kOk;
    case IDABORT:
      return MsgBoxResult::kAbort;
    case IDRETRY:
      return MsgBoxResult::kRetry;
    case IDIGNORE:
      return MsgBoxResult::kIgnore;
    case IDYES:
      return MsgBoxResult::kYes;
    case IDNO:
      return MsgBoxResult::kNo;
    default:
      return MsgBoxResult::kCancel;
  }
}

// The program's texts break lines with "\n\r" (and the system's with "\r\n"): the box breaks
// a line at each of them once.
std::wstring DisplayText(const std::string& prompt) {
  std::string text;
  for (std::size_t i = 0; i < prompt.size(); ++i) {
    const char c = prompt[i];
    if (c == '\n' || c == '\r') {
      const char next = i + 1 < prompt.size() ? prompt[i + 1] : '\0';
      if ((next == '\n' || next == '\r') && next != c) ++i;
      text += "\r\n";
    } else {
      text += c;
    }
  }
  return W(text);
}

// "Text|*.txt|All|*.*" as the dialog wants it: the same pairs, NUL-separated, twice NUL-ended.
std::wstring FilterOf(const std::string& filter) {
  std::wstring out = W(filter);
  std::replace(out.begin(), out.end(), L'|', L'\0');
  if (out.empty() || out.back() != L'\0') out += L'\0';
  out += L'\0';
  return out;
}

template <class T>
struct ComRelease {
  void operator()(T* p) const {
    if (p) p->Release();
  }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease<T>>;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string PickFolderClassic(HWND owner, const std::wstring& title) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return {};
  wchar_t path[MAX_PATH * 4] = {};
  const bool ok = SHGetPathFromIDListEx(chosen, path, static_cast<DWORD>(std::size(path)), GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  return ok ? U(path) : std::string();
}

}  // namespace

MsgBoxResult Win32Backend::ShowMsgBox(const MsgBoxRequest& request) {
  Flush();
  const std::wstring text = DisplayText(request.prompt);
  const std::wstring title = W(request.title);
  HWND owner = OwnerWindow(nullptr);
  const int pressed = MessageBoxW(owner, text.c_str(), title.c_str(),
                                  ButtonsOf(request.buttons) | IconOf(request.icon) | MB_DEFBUTTON1 |
                                      (owner ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND);
  return ResultOf(pressed);
}

bool Win32Backend::ShowOpen(CommonDialog& dialog) {
  Flush();
  const bool many = (dialog.Flags & CommonDialog::kAllowMultiSelect) != 0;
  // Several names come back in one buffer; a user picks far more than the dialog's old size.
  std::vector<wchar_t> buffer(static_cast<std::size_t>(std::max(dialog.MaxFileSize, many ? 65536 : 32768)), L'\0');
  const bool oneName = !dialog.FileName.empty() && dialog.FileName.find('\0') == std::string::npos;
  std::wstring folder;
  if (oneName) {
    const std::string name = dialog.FileName.substr(dialog.FileName.find_last_of("\\/") + 1);
    const std::wstring wide = W(name);
    std::copy_n(wide.begin(), std::min(wide.size(), buffer.size() - 1), buffer.begin());
    folder = W(FolderOf(dialog.FileName));
  }
  if (folder.empty() && !lastFolder_.empty()) folder = W(lastFolder_);
  const std::wstring filter = FilterOf(dialog.Filter);
  const std::wstring title = W(dialog.DialogTitle);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = OwnerWindow(&dialog.Parent());
  ofn.lpstrFilter = dialog.Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(std::max(1, dialog.FilterIndex));
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = static_cast<DWORD>(dialog.Flags) | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return false;

  // One name: the path. Several: the folder, then each name, NUL-separated, as the model keeps it.
  std::string chosen;
  const wchar_t* at = buffer.data();
  std::vector<std::string> parts;
  while (*at) {
    const std::wstring part(at);
    parts.push_back(U(part));
    at += part.size() + 1;
  }
  if (parts.empty()) return false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) chosen += '\0';
    chosen += parts[i];
  }
  lastFolder_ = parts.size() == 1 ? FolderOf(parts.front()) : parts.front();
  dialog.FileName = chosen;
  dialog.FilterIndex = static_cast<int>(ofn.nFilterIndex);
  return true;
}

std::string Win32Backend::BrowseForFolder(Form* owner, const std::string& title) {
  Flush();
  HWND parent = OwnerWindow(owner);
  const std::wstring caption = W(title);
  IFileOpenDialog* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&raw))))
    return PickFolderClassic(parent, caption);
  const ComPtr<IFileOpenDialog> picker(raw);
  FILEOPENDIALOGOPTIONS options = 0;
  picker->GetOptions(&options);
  picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  if (!caption.empty()) picker->SetTitle(caption.c_str());
  if (!lastFolder_.empty()) {
    IShellItem* start = nullptr;
    if (SUCCEEDED(SHCreateItemFromParsingName(W(lastFolder_).c_str(), nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(&start)))) {
      picker->SetFolder(start);
      start->Release();
    }
  }
  if (FAILED(picker->Show(parent))) return {};
  IShellItem* item = nullptr;
  if (FAILED(picker->GetResult(&item))) return {};
  const ComPtr<IShellItem> result(item);
  PWSTR path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return {};
  std::string folder = U(path);
  CoTaskMemFree(path);
  // "C:\" keeps its backslash; "C:\Data\" does not.
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  lastFolder_ = folder;
  return folder;
}

bool Win32Backend::ShellOpen(const std::string& path, Form* owner) {
  const std::wstring target = W(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = OwnerWindow(owner);
  info.lpVerb = nullptr;
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != FALSE;
}

void Win32Backend::SetClipboardText(const std::string& text) {
  const std::wstring wide = W(text);
  if (!OpenClipboard(OwnerWindow(nullptr))) return;
  EmptyClipboard();
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* data = GlobalLock(memory)) {
      std::memcpy(data, wide.c_str(), bytes);
      GlobalUnlock(memory);
      // The clipboard owns the memory once it took it.
      if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

}  // namespace carvex::ui
