#include "builder_file.h"

#include "mod_public.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace carvex {

namespace {

constexpr const char* kCrLf = "\r\n";

// Characters that no Windows file name holds but that would end a line or a quoted name in
// the script; a name from a POSIX file system may still carry them.
bool IsForbiddenInScript(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '"'; }

std::string Sanitized(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (IsForbiddenInScript(c)) c = '_';
  return out;
}

// Inside double quotes only "%" is still special to cmd.exe.
std::string QuotedForScript(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

// An ECHO line is not quoted, so the command separators must be escaped too, or a name
// like "a&b" would run "b" as a command.
std::string EchoedForScript(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '%')
      out += '%';
    else if (c == '^' || c == '&' || c == '|' || c == '<' || c == '>')
      out += '^';
    out += c;
  }
  return out;
}

}  // namespace

bool BuilderFileCanSpell(const std::string& name) {
  for (const char c : name)
    if (IsForbiddenInScript(c)) return false;
  return true;
}

std::string BuilderFilePath(const std::string& folder, const std::string& name) {
  return folder + platform::kPathSeparator + name + ".Bat";
}

std::string BuilderFileText(const std::string& name, std::int64_t fullPieces) {
  const std::string clean = Sanitized(name);
  const std::string quoted = QuotedForScript(clean);
  const std::string echoed = EchoedForScript(clean);

  std::string body;
  auto line = [&body](const std::string& text) { body += text + kCrLf; };
  line("REM Carvex Generated Builder File");
  line("ECHO Carvex for Windows");
  line("ECHO -----------------------");
  line("ECHO Now " + echoed + " will be recreated.");
  line("PAUSE");
  line("COPY /B \"" + PieceFileName(quoted, 1) + "\" carvex.tmp");
  for (std::int64_t k = 2; k <= fullPieces + 1; ++k)
    line("COPY /B carvex.tmp+\"" + PieceFileName(quoted, k) + "\" carvex.tmp");
  line("REN carvex.tmp \"" + quoted + "\"");
  line("ECHO The file " + echoed + " has been created in the current folder.");
  line("PAUSE");

  // cmd.exe decodes a batch file in the console's code page, which is the OEM one. When the
  // name has no OEM form, the script switches the console to UTF-8 before the first line
  // that names the file.
  const std::string head = std::string("ECHO OFF") + kCrLf;
  if (auto oem = platform::EncodeOem(head + body)) return *oem;
  return head + "CHCP 65001 >NUL" + kCrLf + body;
}

void WriteBuilderFile(const std::string& folder) {
  platform::WriteWholeFile(BuilderFilePath(folder, SplitFileName), BuilderFileText(SplitFileName, SplitFullPieces));
}

}  // namespace carvex
