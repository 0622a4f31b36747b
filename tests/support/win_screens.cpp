#include "support/win_screens.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

#include "platform/wide.h"

namespace carvex::test {

namespace {

// ---- Screenshots -------------------------------------------------------------------------------

struct WindowDcDeleter {
  HWND window;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};
using WindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, WindowDcDeleter>;

struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

struct ObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ObjectDeleter>;

struct HandleDeleter {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
using File = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleDeleter>;

// Puts `object` into `dc` for the life of the scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A compositing desktop shows what a window painted on its next refresh, not at once. (Wine's
// screen reads the windows' own surfaces and is up to date as soon as they have painted.)
void LetScreenCatchUp() {
  GdiFlush();
  Sleep(50);
}

void PutBigEndian32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBigEndian32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.append(type, 4);
  png += data;
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(png.data() + start), static_cast<uInt>(4 + data.size()));
  PutBigEndian32(png, static_cast<std::uint32_t>(crc));
}

// An 8-bit RGB PNG of top-down blue-green-red-x rows; empty when compression fails.
std::string EncodePng(const std::uint8_t* bgrx, int width, int height) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');  // no filter
    const std::uint8_t* row = bgrx + static_cast<std::size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<char>(row[x * 4 + 2]));
      raw.push_back(static_cast<char>(row[x * 4 + 1]));
      raw.push_back(static_cast<char>(row[x * 4]));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    return {};
  packed.resize(packedSize);

  std::string header;
  PutBigEndian32(header, static_cast<std::uint32_t>(width));
  PutBigEndian32(header, static_cast<std::uint32_t>(height));
  header += std::string{8, 2, 0, 0, 0};  // 8 bits per channel, RGB, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  return png;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  const HANDLE opened = CreateFileW(platform::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const File file(opened);
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// ---- Layout ------------------------------------------------------------------------------------

// Null where this Windows lacks the function. (The detour through a plain function pointer
// tells the compiler that the cast between function types is meant.)
template <typename Function>
Function User32Function(const char* name) {
  const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// Windows before 10 lack the per-window DPI functions; their windows all have the system's.
UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (getDpiForWindow)
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  const WindowDc dc(GetDC(nullptr), {nullptr});
  return static_cast<UINT>(GetDeviceCaps(dc.get(), LOGPIXELSY));
}

int MetricAtDpi(int metric, UINT dpi) {
  static const auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(metric, dpi) : GetSystemMetrics(metric);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

LONG StyleOf(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

bool IsGroupBox(HWND window) {
  return ClassOf(window) == L"Button" && (StyleOf(window) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window) {
  RECT place;
  GetWindowRect(window, &place);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

std::string SizeText(SIZE size) { return std::to_string(size.cx) + "x" + std::to_string(size.cy); }
std::string SizeText(const RECT& r) { return SizeText(SIZE{r.right - r.left, r.bottom - r.top}); }

// Measures text in a control's own font, the one it draws with (the system font when it was
// given none).
class Measure {
 public:
  explicit Measure(HWND control) : dc_(GetDC(control), {control}) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    select_.emplace(dc_.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    dpi_ = WindowDpi(control);
  }

  // `width` bounds the lines of DT_WORDBREAK; '&' marks the next letter unless DT_NOPREFIX.
  SIZE Text(const std::wstring& text, UINT flags, int width = 0) const {
    RECT r{0, 0, width, 0};
    DrawTextW(dc_.get(), text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
  }

  int WidestWord(const std::wstring& text, UINT flags) const {
    int widest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = std::min(text.find_first_of(L" \t\r\n", start), text.size());
      if (end > start)
        widest = std::max<int>(widest, Text(text.substr(start, end - start), flags | DT_SINGLELINE).cx);
      start = end + 1;
    }
    return widest;
  }

  int LineHeight() const {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_.get(), &metrics);
    return metrics.tmHeight;
  }

  // Pixels at the control's DPI for a length given at 96 dpi.
  int Scale(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }
  UINT Dpi() const { return dpi_; }

 private:
  WindowDc dc_;
  std::optional<Selection> select_;
  UINT dpi_ = 96;
};

class LayoutCheck {
 public:
  LayoutCheck(HWND form, const ControlNamer& name) : form_(form), name_(name) {}

  std::vector<std::string> Run() {
    EnumChildWindows(form_, Collect, reinterpret_cast<LPARAM>(this));
    for (HWND control : controls_) {
      CheckText(control);
      CheckInsideParent(control);
    }
    for (const auto& [parent, children] : byParent_) CheckOverlaps(children);
    return problems_;
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self) {
    auto& check = *reinterpret_cast<LayoutCheck*>(self);
    if (IsWindowVisible(window) && GetDlgCtrlID(window) != 0) {
      check.controls_.push_back(window);
      check.byParent_[GetAncestor(window, GA_PARENT)].push_back(window);
    }
    return TRUE;
  }

  std::string Name(HWND window) const {
    if (name_) return name_(window);
    return platform::Narrow(ClassOf(window)) + " #" + std::to_string(GetDlgCtrlID(window));
  }

  void Report(std::string problem) { problems_.push_back(std::move(problem)); }

  void CheckText(HWND control) {
    const std::wstring type = ClassOf(control);
    if (type == L"Static") CheckLabel(control);
    if (type == L"Button") CheckButton(control);
    if (type == L"Edit") CheckEdit(control);
  }

  void CheckLabel(HWND label) {
    const LONG style = StyleOf(label);
    const LONG kind = style & SS_TYPEMASK;
    if (kind != SS_LEFT && kind != SS_CENTER && kind != SS_RIGHT && kind != SS_LEFTNOWORDWRAP &&
        kind != SS_SIMPLE)
      return;                             // pictures, frames and lines
    if (style & SS_ELLIPSISMASK) return;  // shortened on purpose
    const std::wstring text = TextOf(label);
    if (text.empty()) return;
    RECT client;
    GetClientRect(label, &client);
    const Measure measure(label);
    const UINT flags = DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    // These draw one line, without breaking it.
    if (kind == SS_LEFTNOWORDWRAP || kind == SS_SIMPLE || (style & SS_CENTERIMAGE)) {
      const SIZE need = measure.Text(text, flags | DT_SINGLELINE);
      if (need.cx > client.right || need.cy > client.bottom)
        Report(Name(label) + ": its text needs " + SizeText(need) + " pixels and has " + SizeText(client));
      return;
    }
    const int widestWord = measure.WidestWord(text, flags);
    if (widestWord > client.right)
      Report(Name(label) + ": a word of its text is " + std::to_string(widestWord) +
             " pixels wide and the label " + std::to_string(client.right));
    const SIZE wrapped = measure.Text(text, flags | DT_WORDBREAK, client.right);
    if (wrapped.cy > client.bottom)
      Report(Name(label) + ": its wrapped text is " + std::to_string(wrapped.cy) +
             " pixels tall and the label " + std::to_string(client.bottom));
  }

  void CheckButton(HWND button) {
    const LONG style = StyleOf(button);
    const LONG kind = style & BS_TYPEMASK;
    if (kind == BS_GROUPBOX) return CheckGroupBox(button);
    if (style & (BS_BITMAP | BS_ICON)) return;
    const bool push = kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON || (style & BS_PUSHLIKE);
    const bool glyph = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
                       kind == BS_AUTO3STATE || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
    if (!push && !glyph) return;  // owner-drawn and the like draw what they please
    const std::wstring text = TextOf(button);
    if (text.empty()) return;
    RECT client;
    GetClientRect(button, &client);
    const Measure measure(button);
    // A push button's text stays inside its raised edge and focus rectangle; a check box's
    // or option button's follows the glyph and a gap, and leaves room for the focus rectangle.
    const int besideText =
        push ? 2 * measure.Scale(3)
             : MetricAtDpi(SM_CXMENUCHECK, measure.Dpi()) + measure.Scale(4) + measure.Scale(2);
    const int aboveAndBelow = push ? 2 * measure.Scale(2) : 0;
    const int width = client.right - besideText;
    const SIZE need =
        (style & BS_MULTILINE) ? measure.Text(text, DT_WORDBREAK, width) : measure.Text(text, DT_SINGLELINE);
    if (need.cx > width || need.cy > client.bottom - aboveAndBelow)
      Report(Name(button) + ": its text needs " + SizeText(need) + " pixels and has " +
             SizeText(SIZE{width, client.bottom - aboveAndBelow}));
  }

  // The caption sits on the box's top line: a control there hides it or is cut by it.
  void CheckGroupBox(HWND box) {
    const Measure measure(box);
    const std::wstring caption = TextOf(box);
    RECT client;
    GetClientRect(box, &client);
    if (!caption.empty()) {
      const int need = measure.Text(caption, DT_SINGLELINE).cx + 2 * measure.Scale(8);
      if (need > client.right)
        Report(Name(box) + ": its caption needs " + std::to_string(need) + " pixels and has " +
               std::to_string(client.right));
    }
    // Controls may lie beside the box in its parent, or inside it as its children.
    RECT line = PlaceOf(box);
    line.bottom = line.top + measure.LineHeight();
    for (HWND sibling : byParent_[GetAncestor(box, GA_PARENT)])
      if (sibling != box && Intersect(line, PlaceOf(sibling)))
        Report(Name(sibling) + " lies on the caption line of " + Name(box));
    const RECT ownLine{0, 0, client.right, measure.LineHeight()};
    for (HWND child : byParent_[box])
      if (Intersect(ownLine, PlaceOf(child)))
        Report(Name(child) + " lies on the caption line of " + Name(box));
  }

  void CheckEdit(HWND edit) {
    RECT client;
    GetClientRect(edit, &client);
    const int line = Measure(edit).LineHeight();
    if (line > client.bottom)
      Report(Name(edit) + ": a line of its font is " + std::to_string(line) +
             " pixels tall and the box inside " + std::to_string(client.bottom));
  }

  void CheckInsideParent(HWND control) {
    RECT area;
    GetClientRect(GetAncestor(control, GA_PARENT), &area);
    const RECT place = PlaceOf(control);
    if (place.left < 0 || place.top < 0 || place.right > area.right || place.bottom > area.bottom)
      Report(Name(control) + " reaches out of its parent: it lies at " + std::to_string(place.left) + "," +
             std::to_string(place.top) + " to " + std::to_string(place.right) + "," +
             std::to_string(place.bottom) + " in " + SizeText(area));
  }

  void CheckOverlaps(const std::vector<HWND>& siblings) {
    for (std::size_t i = 0; i < siblings.size(); ++i)
      for (std::size_t j = i + 1; j < siblings.size(); ++j)
        if (Overlap(siblings[i], siblings[j]))
          Report(Name(siblings[i]) + " and " + Name(siblings[j]) + " overlap");
  }

  static bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
  }

  static bool Overlap(HWND a, HWND b) {
    if (ClassOf(a) == L"SysTabControl32" || ClassOf(b) == L"SysTabControl32") return false;
    const RECT placeA = PlaceOf(a);
    const RECT placeB = PlaceOf(b);
    if (IsGroupBox(a) && Inside(placeB, placeA)) return false;
    if (IsGroupBox(b) && Inside(placeA, placeB)) return false;
    return Intersect(placeA, placeB);
  }

  static bool Intersect(const RECT& a, const RECT& b) {
    RECT common;
    return IntersectRect(&common, &a, &b) != FALSE;
  }

  HWND form_;
  const ControlNamer& name_;
  std::vector<HWND> controls_;
  std::map<HWND, std::vector<HWND>> byParent_;
  std::vector<std::string> problems_;
};

}  // namespace

BOOL CALLBACK InvalidateChild(HWND child, LPARAM) {
  InvalidateRect(child, nullptr, TRUE);
  return TRUE;
}

bool SaveWindowPng(HWND window, const std::string& path) {
  if (!IsWindow(window)) return false;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  // Wine leaves a child that lies under its siblings (a tab control under its pages) out of a
  // redraw of the whole window: each child is asked to paint on its own.
  EnumChildWindows(window, InvalidateChild, 0);
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  LetScreenCatchUp();

  RECT place;
  GetWindowRect(window, &place);
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  if (width <= 0 || height <= 0) return false;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows, as PNG stores them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const WindowDc screen(GetDC(nullptr), {nullptr});
  const MemoryDc memory(CreateCompatibleDC(screen.get()));
  void* bits = nullptr;
  const Bitmap dib(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen || !memory || !dib || !bits) return false;
  {
    const Selection select(memory.get(), dib.get());
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), place.left, place.top, SRCCOPY | CAPTUREBLT))
      return false;
    GdiFlush();
  }
  const std::string png = EncodePng(static_cast<const std::uint8_t*>(bits), width, height);
  return !png.empty() && WriteWholeFile(path, png);
}

std::vector<std::string> LayoutProblems(HWND form, const ControlNamer& name) {
  return LayoutCheck(form, name).Run();
}

}  // namespace carvex::test
