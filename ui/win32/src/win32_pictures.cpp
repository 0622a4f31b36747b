// The pictures of the model: a file's own icon from the shell, and the program's own images,
// which are icon resources of the program.
#include <windows.h>
#include <shellapi.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "resource_ids.h"
#include "win32_view.h"

namespace carvex::ui {

namespace {

// Shared by every backend of the process, and a shell extension makes one backend per call,
// on whichever thread the host calls it: each use holds the lock.
struct IconCache {
  ~IconCache() { Clear(); }
  void Clear() {
    const std::lock_guard<std::mutex> lock(mutex);
    for (auto& [key, icon] : icons)
      if (icon) DestroyIcon(icon);
    icons.clear();
  }
  std::mutex mutex;
  std::map<std::pair<std::string, int>, HICON> icons;
};

IconCache& Cache() {
  static IconCache cache;
  return cache;
}

int ResourceId(const std::string& name) {
  static const std::map<std::string, int> ids = {
      {"carvex", CARVEX_ICON_PROGRAM}, {"split", CARVEX_ICON_SPLIT}, {"build", CARVEX_ICON_BUILD},
      {"piece", CARVEX_ICON_PIECE},    {"zip", CARVEX_ICON_ZIP},     {"finished", CARVEX_ICON_FINISHED},
  };
  const auto it = ids.find(name);
  return it == ids.end() ? 0 : it->second;
}

HICON LoadPicture(const Picture& picture, int side) {
  if (picture.source == Picture::Source::kResource) {
    const int id = ResourceId(picture.name);
    if (id == 0) return nullptr;
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
  }
  SHFILEINFOW info{};
  const UINT size = side > GetSystemMetrics(SM_CXSMICON) ? SHGFI_LARGEICON : SHGFI_SMALLICON;
  if (!SHGetFileInfoW(W(picture.name).c_str(), 0, &info, sizeof info, SHGFI_ICON | size)) return nullptr;
  return info.hIcon;
}

}  // namespace

HICON PictureIcon(const Picture& picture, int side) {
  if (picture.source == Picture::Source::kNone || side <= 0) return nullptr;
  const char tag = picture.source == Picture::Source::kResource ? 'r' : 'f';
  IconCache& cache = Cache();
  const std::lock_guard<std::mutex> lock(cache.mutex);
  auto& icons = cache.icons;
  const auto key = std::make_pair(tag + picture.name, side);
  if (const auto it = icons.find(key); it != icons.end()) return it->second;
  HICON icon = LoadPicture(picture, side);
  icons.emplace(key, icon);
  return icon;
}

HIMAGELIST SystemSmallImages() {
  SHFILEINFOW info{};
  // The list is the shell's, shared by the process; it is never destroyed here.
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

int SystemIconIndex(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, int> indexes;
  const std::lock_guard<std::mutex> lock(mutex);
  if (const auto it = indexes.find(path); it != indexes.end()) return it->second;
  SHFILEINFOW info{};
  int index = -1;
  if (SHGetFileInfoW(W(path).c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
    index = info.iIcon;
  indexes.emplace(path, index);
  return index;
}

void ReleasePictures() { Cache().Clear(); }

}  // namespace carvex::ui
