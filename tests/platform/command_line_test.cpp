#include "platform/command_line.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/wide.h"
#endif

namespace carvex::platform {
namespace {

#ifdef _WIN32
// The system's own parser as the oracle: what a program started with `line` receives after
// its name.
std::vector<std::string> ParsedBySystem(const std::string& line) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(Widen("program.exe " + line).c_str(), &count);
  std::vector<std::string> parsed;
  for (int i = 1; i < count; ++i) parsed.push_back(Narrow(arguments[i]));
  ::LocalFree(arguments);
  return parsed;
}
#endif

TEST(QuoteArgument, BackslashesAreDoubledOnlyBeforeAQuote) {
  const std::pair<std::string, std::string> cases[] = {
      {"", R"("")"},
      {"C:\\My Files\\a b.txt", R"("C:\My Files\a b.txt")"},
      {"C:\\", R"("C:\\")"},
      {"\\\\server\\share\\", R"("\\server\share\\")"},
      {"ends in two\\\\", R"("ends in two\\\\")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"back\\\"slash", R"("back\\\"slash")"},
      {"%PATH% ^ & ! \t", "\"%PATH% ^ & ! \t\""},
  };
  for (const auto& [argument, quoted] : cases) {
    EXPECT_EQ(QuoteArgument(argument), quoted) << argument;
#ifdef _WIN32
    EXPECT_EQ(ParsedBySystem(QuoteArgument(argument)), std::vector<std::string>{argument}) << argument;
#endif
  }
  EXPECT_EQ(JoinArguments("", {"C:\\"}), R"( "C:\\")");
  EXPECT_EQ(JoinArguments("/s", {"*", "C:\\a"}), R"(/s "*" "C:\a")");
}

TEST(IsBatchFileName, ByExtensionInAnyCaseAfterTrailingDotsAndBlanks) {
  const std::pair<std::string, bool> cases[] = {
      {"run.bat", true},       {"C:\\x\\RUN.Cmd", true}, {"run.bat. .", true}, {"run.bat.exe", false},
      {"run.batch", false},    {"bat", false},           {"", false},          {"...", false},
      {"C:\\a.bat\\b", false}, {"a.bAt ", true},
  };
  for (const auto& [file, batch] : cases) EXPECT_EQ(IsBatchFileName(file), batch) << file;
}

TEST(BatchCommandArguments, EveryArgumentQuotedWithoutAnExpandablePercent) {
  EXPECT_EQ(
      BatchCommandArguments("C:\\b\\run.bat", "/s", {"C:\\50% off %USERPROFILE%.txt", "C:\\"}),
      R"(/e:ON /v:OFF /d /c ""C:\b\run.bat" /s "C:\50%%cd:~,% off %%cd:~,%USERPROFILE%%cd:~,%.txt" "C:\\"")");
  EXPECT_EQ(BatchCommandArguments("run.cmd", "", {"a \"q\" & ^b!"}),
            R"(/e:ON /v:OFF /d /c ""run.cmd" "a ""q"" & ^b!"")");

  const std::tuple<std::string, std::string, std::vector<std::string>> refused[] = {
      {"run.bat", "", {"line\nbreak"}},
      {"run.bat", "", {"carriage\rreturn"}},
      {"run.bat", "", {std::string("nul\0", 4)}},
      {"run.bat", "\"unbalanced", {"a"}},
      {"run.bat", "two\nlines", {}},
      {"r\"un.bat", "", {}},
  };
  for (const auto& [script, text, arguments] : refused)
    EXPECT_EQ(BatchCommandArguments(script, text, arguments), std::nullopt) << script << text;
}

}  // namespace
}  // namespace carvex::platform
