#include <windows.h>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/wide.h"

namespace carvex::platform {
namespace {

TEST(UserConfigFolder, IsBelowAppData) {
  wchar_t saved[32767];
  const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", saved, 32767);
  ::SetEnvironmentVariableW(L"APPDATA", L"Q:\\Roaming\\");
  EXPECT_EQ(UserConfigFolder(), "Q:\\Roaming\\Orvane Software\\Carvex");
  // Without the variable the shell still knows the folder.
  ::SetEnvironmentVariableW(L"APPDATA", nullptr);
  EXPECT_NE(UserConfigFolder().find(":\\"), std::string::npos) << UserConfigFolder();
  ::SetEnvironmentVariableW(L"APPDATA", n ? saved : nullptr);
}

TEST(AnsiCodePageWindows, Windows1252HasNoBestFit) {
  if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
  EXPECT_EQ(EncodeAnsi("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(DecodeAnsi("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  // U+0100 must not become a plain "A", nor Cyrillic a question mark.
  EXPECT_EQ(EncodeAnsi("\xC4\x80"), std::nullopt);
  EXPECT_EQ(EncodeAnsi("\xD0\xB4"), std::nullopt);
}

}  // namespace
}  // namespace carvex::platform

namespace carvex::platform {
namespace {

// Past 260 characters the file functions need the prefix that turns off the system's own
// tidying of the path, so the tidying is done first; shorter paths pass as they are.
TEST(WidePath, LongPathsGetThePrefixAndAreTidiedFirst) {
  const std::string name(100, 'n');
  const std::string longTail = name + "\\" + name + "\\" + name;
  const struct {
    std::string path;
    std::wstring expected;
  } cases[] = {
      {"C:\\short\\a.txt", L"C:\\short\\a.txt"},
      {"relative/short.txt", L"relative/short.txt"},
      {"C:\\" + longTail, L"\\\\?\\C:\\" + Widen(longTail)},
      {"C:/x/../" + name + "/./" + name + "/" + name, L"\\\\?\\C:\\" + Widen(longTail)},
      {"\\\\server\\share\\" + longTail, L"\\\\?\\UNC\\server\\share\\" + Widen(longTail)},
      {"\\\\?\\C:\\" + longTail, L"\\\\?\\C:\\" + Widen(longTail)},
  };
  for (const auto& c : cases) EXPECT_EQ(WidePath(c.path), c.expected) << c.path;
}

}  // namespace
}  // namespace carvex::platform
