#include "support/win_screens.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "support/temp_dir.h"

namespace carvex::test {
namespace {

constexpr int kLongLabel = 101, kFirst = 102, kSecond = 103, kGood = 104;

// A window built by hand: a label whose words fit but whose wrapped text takes several lines
// where one fits, two buttons lying over each other and one that is right.
class HandMadeWindow {
 public:
  HandMadeWindow() {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    type.lpszClassName = L"CarvexScreensTest";
    RegisterClassW(&type);
    window_ = CreateWindowExW(0, type.lpszClassName, L"Layout", WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                              nullptr, nullptr, type.hInstance, nullptr);
    Add(L"Static", L"one two three four five six seven eight", SS_LEFT, kLongLabel, 10, 10, 80, 16);
    Add(L"Button", L"&First", BS_PUSHBUTTON, kFirst, 10, 40, 75, 23);
    Add(L"Button", L"Second", BS_PUSHBUTTON, kSecond, 60, 50, 75, 23);
    Add(L"Button", L"OK", BS_PUSHBUTTON, kGood, 10, 100, 75, 23);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
  }
  ~HandMadeWindow() { DestroyWindow(window_); }

  HWND Handle() const { return window_; }

 private:
  void Add(const wchar_t* type, const wchar_t* text, LONG style, int id, int x, int y, int width,
           int height) {
    const HWND control =
        CreateWindowExW(0, type, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  }

  HWND window_ = nullptr;
};

std::string NameById(HWND control) {
  static const std::map<int, std::string> names = {
      {kLongLabel, "lblLong"}, {kFirst, "cmdFirst"}, {kSecond, "cmdSecond"}, {kGood, "cmdGood"}};
  return names.at(GetDlgCtrlID(control));
}

TEST(WinScreens, LayoutProblemsNameTheLabelThatIsTooSmallAndTheOverlappingButtons) {
  const HandMadeWindow window;
  const std::vector<std::string> problems = LayoutProblems(window.Handle(), NameById);
  ASSERT_EQ(problems.size(), 2u) << ::testing::PrintToString(problems);
  EXPECT_EQ(problems[0].rfind("lblLong: its wrapped text is ", 0), 0u) << problems[0];
  EXPECT_EQ(problems[1], "cmdFirst and cmdSecond overlap");
}

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

TEST(WinScreens, SaveWindowPngWritesTheWholeWindowAsItIsShown) {
  const HandMadeWindow window;
  std::filesystem::create_directories(CARVEX_SCREENSHOT_DIR);
  const std::string path = CARVEX_SCREENSHOT_DIR "/win_screens_test.png";
  ASSERT_TRUE(SaveWindowPng(window.Handle(), path));

  const std::string png = ReadFileBytes(path);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  RECT place;
  GetWindowRect(window.Handle(), &place);
  const std::uint32_t width = BigEndian32(png, 16), height = BigEndian32(png, 20);
  EXPECT_EQ(width, static_cast<std::uint32_t>(place.right - place.left));
  EXPECT_EQ(height, static_cast<std::uint32_t>(place.bottom - place.top));

  // A capture that missed the window comes out in one colour: the controls and the frame
  // give a real one many.
  const std::size_t idat = png.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  std::string pixels(static_cast<std::size_t>(height) * (1 + 3 * width), '\0');
  uLongf size = static_cast<uLongf>(pixels.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(pixels.data()), &size,
                       reinterpret_cast<const Bytef*>(png.data() + idat + 4), BigEndian32(png, idat - 4)),
            Z_OK);
  std::set<std::string> colours;
  for (std::size_t row = 0; row < height; ++row)
    for (std::size_t x = 0; x < width; ++x)
      colours.insert(pixels.substr(row * (1 + 3 * width) + 1 + 3 * x, 3));
  EXPECT_GE(colours.size(), 3u);
}

}  // namespace
}  // namespace carvex::test
