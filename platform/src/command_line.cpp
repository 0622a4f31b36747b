#include "platform/command_line.h"

#include <algorithm>

namespace carvex::platform {

namespace {

// What cmd.exe writes for "%" in an argument: "%" then an expansion of nothing, the empty
// substring of the always-defined variable CD. Expanding it takes up the "%" that follows, so
// no "%NAME%" of the argument is ever read as a variable, while the "%" itself stays.
constexpr std::string_view kPercentForCmd = "%%cd:~,";

std::optional<std::string> QuoteForBatch(std::string_view argument) {
  // cmd.exe ends a command at a line break; a NUL cannot be passed at all.
  if (argument.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return std::nullopt;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '"') {
      // Doubled, the quote keeps cmd.exe's count of quotes even, so nothing after it falls
      // outside them; the program that the batch file passes it on to reads one quote.
      quoted.append(backslashes, '\\');
      quoted.push_back('"');
    } else if (c == '%') {
      quoted += kPercentForCmd;
    }
    backslashes = c == '\\' ? backslashes + 1 : 0;
    quoted.push_back(c);
  }
  // A batch file mostly passes %1 on to a program, which must not take the closing quote
  // for an escaped one.
  quoted.append(backslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.begin(), ending.end(), text.end() - static_cast<std::ptrdiff_t>(ending.size()),
                    [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

}  // namespace

std::string QuoteArgument(std::string_view argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    // The run of backslashes before a quote is doubled, and one more escapes the quote.
    if (c == '"') quoted.append(backslashes + 1, '\\');
    backslashes = c == '\\' ? backslashes + 1 : 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string JoinArguments(std::string_view text, const std::vector<std::string>& arguments) {
  std::string line(text);
  for (const std::string& argument : arguments) line += " " + QuoteArgument(argument);
  return line;
}

bool IsBatchFileName(std::string_view file) {
  const std::size_t end = file.find_last_not_of(". ");
  if (end == std::string_view::npos) return false;
  file = file.substr(0, end + 1);
  return EndsWithIgnoringCase(file, ".bat") || EndsWithIgnoringCase(file, ".cmd");
}

// /d leaves out the AutoRun commands of the registry, /v:OFF the delayed expansion of !NAME!
// (which a user may have switched on for every cmd.exe), and /e:ON keeps the extensions that
// the substring of kPercentForCmd needs. After /c, cmd.exe drops the first and the last quote
// of the line and runs the rest: the quoted script, then its arguments.
std::optional<std::string> BatchCommandArguments(std::string_view script, std::string_view text,
                                                 const std::vector<std::string>& arguments) {
  if (script.find('"') != std::string_view::npos || text.find_first_of("\r\n") != std::string_view::npos ||
      std::count(text.begin(), text.end(), '"') % 2 != 0)
    return std::nullopt;
  const std::optional<std::string> quotedScript = QuoteForBatch(script);
  if (!quotedScript) return std::nullopt;
  std::string line = "/e:ON /v:OFF /d /c \"" + *quotedScript;
  if (!text.empty()) line += " " + std::string(text);
  for (const std::string& argument : arguments) {
    const std::optional<std::string> quoted = QuoteForBatch(argument);
    if (!quoted) return std::nullopt;
    line += " " + *quoted;
  }
  line += "\"";
  return line;
}

}  // namespace carvex::platform
