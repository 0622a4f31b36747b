#include <windows.h>

#include <gtest/gtest.h>

#include "long_file_names.h"
#include "support/temp_dir.h"

namespace carvex::modLongFileNames {
namespace {

std::string ShortPathOf(const std::string& path) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
  wchar_t buffer[MAX_PATH];
  const DWORD len = ::GetShortPathNameW(wide.c_str(), buffer, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return {};
  char out[MAX_PATH * 3];
  ::WideCharToMultiByte(CP_UTF8, 0, buffer, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

TEST(GetLongFileNameWindows, ShortElementsBecomeLongOnes) {
  test::TempDir dir;
  dir.MakeFolder("Program Files Of Mine");
  dir.Write("Program Files Of Mine\\Rather Long Document Name.text", "x");
  const std::string longPath = dir.File("Program Files Of Mine\\Rather Long Document Name.text");
  const std::string shortPath = ShortPathOf(longPath);
  ASSERT_FALSE(shortPath.empty());
  ASSERT_NE(shortPath, longPath);
  EXPECT_EQ(GetLongFileName(shortPath), GetLongFileName(longPath));
  EXPECT_NE(GetLongFileName(shortPath).find("\\Program Files Of Mine\\Rather Long Document Name.text"),
            std::string::npos);
}

TEST(GetLongFileNameWindows, KeepsTheDriveAsGiven) {
  test::TempDir dir;
  const std::string result = GetLongFileName(dir.Path());
  ASSERT_GE(result.size(), 3u);
  EXPECT_EQ(result.substr(0, 2), dir.Path().substr(0, 2));
  EXPECT_EQ(result[2], '\\');
}

}  // namespace
}  // namespace carvex::modLongFileNames
