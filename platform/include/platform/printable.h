#pragma once

#include <string>
#include <string_view>

namespace carvex::platform {

// `text` with every control character written as an escape, so that a file name or a menu
// caption shown on a terminal cannot move its cursor, set its title or fake a line: C0
// characters and DEL as "\n", "\t", "\r", "\x1b", "\x7f", and C1 characters (U+0080-U+009F,
// two bytes in UTF-8) as "\xc2\x9b". A backslash stays as it is. With `keepLineFeeds`, "\n"
// stays a line break, for a message whose own lines must show as lines.
std::string EscapeControlCharacters(std::string_view text, bool keepLineFeeds = false);

// Whether standard output (1) or standard error (2) is a terminal.
bool IsTerminal(int stream);

// `text` as it may go to `stream`: EscapeControlCharacters where the stream is a terminal,
// unchanged for a pipe or a file, whose reader gets the name's bytes.
std::string ForStream(int stream, std::string_view text, bool keepLineFeeds = false);

}  // namespace carvex::platform
