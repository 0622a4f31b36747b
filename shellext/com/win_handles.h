#pragma once

// Owners of the Windows handles the COM server makes: each is released by its destructor on
// every path, the error paths included, unless Release hands it to a new owner.

#include <objidl.h>
#include <windows.h>

#include <utility>

namespace carvex::com {

template <typename Handle, auto Free>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Gives the handle up to whoever owns it from now on.
  Handle Release() { return std::exchange(handle_, nullptr); }
  void Reset() {
    if (handle_) Free(handle_);
    handle_ = nullptr;
  }

 private:
  Handle handle_ = nullptr;
};

inline void DeleteBitmap(HBITMAP bitmap) { ::DeleteObject(bitmap); }
inline void ReleaseScreenDc(HDC dc) { ::ReleaseDC(nullptr, dc); }

using UniqueMenu = UniqueHandle<HMENU, &::DestroyMenu>;
using UniqueBitmap = UniqueHandle<HBITMAP, &DeleteBitmap>;
using UniqueIcon = UniqueHandle<HICON, &::DestroyIcon>;
// A device context made with CreateCompatibleDC.
using MemoryDc = UniqueHandle<HDC, &::DeleteDC>;
// The screen's device context, from GetDC(nullptr).
using ScreenDc = UniqueHandle<HDC, &ReleaseScreenDc>;

template <typename Interface>
void ReleaseInterface(Interface* object) {
  object->Release();
}
// A COM interface pointer that holds one reference.
template <typename Interface>
using ComRef = UniqueHandle<Interface*, &ReleaseInterface<Interface>>;
// A further reference to `object` (nullptr gives an empty one).
template <typename Interface>
ComRef<Interface> ShareRef(Interface* object) {
  if (object) object->AddRef();
  return ComRef<Interface>(object);
}

inline void FreeTaskMemory(wchar_t* text) { ::CoTaskMemFree(text); }
// A string that a COM call allocated for its caller.
using TaskText = UniqueHandle<wchar_t*, &FreeTaskMemory>;

// An object selected into a device context for the owner's lifetime; the one it replaced goes
// back in, so that the object can be used (or deleted) elsewhere afterwards.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (previous_) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Storage that a data object handed out, released with ReleaseStgMedium.
class StorageMedium {
 public:
  StorageMedium() = default;
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;
  ~StorageMedium() {
    if (medium_.tymed != TYMED_NULL) ::ReleaseStgMedium(&medium_);
  }

  STGMEDIUM* Put() { return &medium_; }
  const STGMEDIUM& Get() const { return medium_; }

 private:
  STGMEDIUM medium_{};
};

}  // namespace carvex::com
