#include <stdlib.h>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/folders.h"

namespace carvex::platform {
namespace {

TEST(UserConfigFolder, FollowsTheXdgRules) {
  const std::string savedHome = ::getenv("HOME") ? ::getenv("HOME") : "";
  const struct {
    const char* xdg;
    const char* expected;
  } cases[] = {
      {"/cfg/", "/cfg/carvex"}, {"", "/home/u/.config/carvex"}, {"relative", "/home/u/.config/carvex"}};
  for (const auto& c : cases) {
    ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
    ::setenv("HOME", "/home/u/", 1);
    EXPECT_EQ(UserConfigFolder(), c.expected);
  }
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", savedHome.c_str(), 1);
}

// The POSIX code page is UTF-8. A stray byte becomes U+FFFD on its own, without
// swallowing what follows it.
TEST(AnsiCodePagePosix, IsUtf8) {
  const std::string text = "\xD0\xB4 \xE6\x96\x87 \xF0\x9F\x98\x80";
  EXPECT_EQ(EncodeAnsi(text), text);
  EXPECT_EQ(DecodeAnsi(text), text);
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(DecodeAnsi("a\xFF-\xE6\x96-z"), "a" + r + "-" + r + r + "-z");
}

}  // namespace
}  // namespace carvex::platform
