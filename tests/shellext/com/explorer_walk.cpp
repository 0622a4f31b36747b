#include "explorer_walk.h"

#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <iterator>
#include <optional>

namespace carvex::test {
namespace {

// A key opened for reading, closed with the object.
class ReadKey {
 public:
  ReadKey(HKEY parent, const std::wstring& path) {
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~ReadKey() {
    if (key_) ::RegCloseKey(key_);
  }
  ReadKey(const ReadKey&) = delete;
  ReadKey& operator=(const ReadKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::optional<std::wstring> DefaultValue(HKEY parent, const std::wstring& path) {
  DWORD bytes = 0;
  // Text, an expandable one expanded, as COM reads InprocServer32.
  constexpr DWORD kText = RRF_RT_REG_SZ;
  if (::RegGetValueW(parent, path.c_str(), nullptr, kText, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(parent, path.c_str(), nullptr, kText, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  text.resize(::wcsnlen(text.c_str(), text.size()));
  return text;
}

// A class in the registry's spelling, "{8-4-4-4-12}"; a name such as a ProgID is none.
std::optional<CLSID> ClassOf(const std::wstring& text) {
  CLSID clsid{};
  if (text.size() != 38 || text.front() != L'{' || FAILED(::IIDFromString(text.c_str(), &clsid)))
    return std::nullopt;
  return clsid;
}

std::wstring Spelled(const CLSID& clsid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(clsid, text, static_cast<int>(std::size(text)));
  return text;
}

HRESULT Create(const CLSID& clsid) {
  IShellExtInit* init = nullptr;
  HRESULT result = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                      reinterpret_cast<void**>(&init));
  if (FAILED(result)) return result;
  IContextMenu* menu = nullptr;
  result = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
  if (menu) menu->Release();
  init->Release();
  return result;
}

}  // namespace

std::vector<FoundHandler> WalkContextMenuHandlers(HKEY classes, const std::wstring& type) {
  std::vector<FoundHandler> found;
  const ReadKey handlers(classes, type + L"\\shellex\\ContextMenuHandlers");
  if (!handlers.Get()) return found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256] = {};
    DWORD length = static_cast<DWORD>(std::size(name));
    const LSTATUS status = ::RegEnumKeyExW(handlers.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    FoundHandler handler;
    handler.key = name;
    std::optional<CLSID> clsid = ClassOf(handler.key);
    if (!clsid)
      if (const std::optional<std::wstring> value = DefaultValue(handlers.Get(), handler.key)) clsid = ClassOf(*value);
    if (clsid) {
      handler.clsid = Spelled(*clsid);
      handler.server = DefaultValue(classes, L"CLSID\\" + handler.clsid + L"\\InprocServer32").value_or(L"");
      handler.created = Create(*clsid);
    }
    found.push_back(std::move(handler));
  }
  return found;
}

}  // namespace carvex::test
