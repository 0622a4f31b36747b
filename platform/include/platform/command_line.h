#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Command lines as Windows programs read them. A Windows program receives one line of text and
// splits it itself (CommandLineToArgvW, the C runtime); a batch file is read by cmd.exe first,
// which expands %NAME% even between quotes. These functions are plain text work, the same on
// every system, so that both builds test them.
namespace carvex::platform {

// `argument` in double quotes, written so that CommandLineToArgvW and the C runtime read it
// back unchanged as one argument: a backslash is plain text except in a run that ends at a
// quote, where each is doubled, the closing quote included ("C:\" becomes "C:\\"), and a quote
// inside is escaped with a backslash.
std::string QuoteArgument(std::string_view argument);

// `text`, then each of `arguments` after a blank, quoted by QuoteArgument.
std::string JoinArguments(std::string_view text, const std::vector<std::string>& arguments);

// Whether `file` names a batch file, which Windows runs through cmd.exe: its extension is
// .bat or .cmd in any case, after the trailing dots and blanks that Windows drops.
bool IsBatchFileName(std::string_view file);

// The arguments of cmd.exe that run the batch file `script` with the text `text` as it stands
// (configured, so trusted to mean what it says), then `arguments`, each arriving in the batch
// file as exactly one quoted argument (%1, %2, ...) and nothing in it ever read as a command,
// an operator or a variable: delayed expansion and AutoRun are off, every argument is quoted,
// quotes inside are doubled and a "%" is written so that no expansion can consume it.
// nullopt when that cannot be done: a line break or NUL in an argument or in `text` (cmd.exe
// ends the command there), a quote in the script's name, or an odd number of quotes in
// `text`, which would leave the arguments outside quotes.
std::optional<std::string> BatchCommandArguments(std::string_view script, std::string_view text,
                                                 const std::vector<std::string>& arguments);

}  // namespace carvex::platform
