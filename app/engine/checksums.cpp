#include "checksums.h"

#include <map>

#include "platform/error.h"
#include "platform/files.h"

namespace carvex {

namespace {

// Far more than any set needs (a line per piece of at most a few hundred bytes); a larger file
// is not ours, and reading it whole could exhaust memory.
constexpr std::int64_t kMaxChecksumFileBytes = 64 << 20;
constexpr std::size_t kHashBlock = 1 << 20;

// sha256sum marks a line whose name holds a backslash or a line break with a leading
// backslash and writes those characters as escapes.
std::string LineFor(const Sha256Digest& digest, const std::string& name) {
  if (name.find_first_of("\\\n\r") == std::string::npos) return platform::ToHex(digest) + "  " + name + "\n";
  std::string escaped;
  for (const char c : name) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\n')
      escaped += "\\n";
    else if (c == '\r')
      escaped += "\\r";
    else
      escaped += c;
  }
  return "\\" + platform::ToHex(digest) + "  " + escaped + "\n";
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    if (text[i] == '\\')
      name += '\\';
    else if (text[i] == 'n')
      name += '\n';
    else if (text[i] == 'r')
      name += '\r';
    else
      return std::nullopt;
  }
  return name;
}

struct Line {
  Sha256Digest digest;
  std::string name;
};

// A line as sha256sum writes it, in text ("  ") or binary (" *") form; a line end of CR LF
// is a file that went through a Windows editor.
std::optional<Line> ParseLine(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const bool escaped = !text.empty() && text.front() == '\\';
  if (escaped) text.remove_prefix(1);
  if (text.size() < 67 || text[64] != ' ' || (text[65] != ' ' && text[65] != '*')) return std::nullopt;
  const std::optional<Sha256Digest> digest = platform::DigestFromHex(text.substr(0, 64));
  if (!digest) return std::nullopt;
  const std::string_view rawName = text.substr(66);
  std::optional<std::string> name = escaped ? Unescaped(rawName) : std::string(rawName);
  if (!name) return std::nullopt;
  return Line{*digest, std::move(*name)};
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

// Whether `file` is the name of a piece of set `name`, of any number.
bool IsPieceName(const std::string& file, const std::string& name) {
  const std::string prefix = LowerCase(name) + ".";
  const std::string lowered = LowerCase(file);
  if (lowered.size() < prefix.size() + 7 || !lowered.starts_with(prefix) || !lowered.ends_with(".cvx")) return false;
  const std::string digits = lowered.substr(prefix.size(), lowered.size() - prefix.size() - 4);
  return digits.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string ChecksumFileName(const std::string& name) { return name + ".sha256"; }

std::string ChecksumFilePath(const std::string& folder, const std::string& name) {
  return folder + ChecksumFileName(name);
}

std::string ChecksumFileText(const std::string& name, const SetChecksums& sums) {
  std::string text;
  for (std::size_t k = 0; k < sums.pieces.size(); ++k)
    text += LineFor(sums.pieces[k], PieceFileName(name, static_cast<std::int64_t>(k + 1)));
  return text + LineFor(sums.whole, name);
}

void WriteChecksumFile(const std::string& folder, const std::string& name, const SetChecksums& sums) {
  platform::WriteWholeFile(ChecksumFilePath(folder, name), ChecksumFileText(name, sums));
}

std::optional<SetChecksums> ParseChecksumText(std::string_view text, const std::string& name,
                                              std::int64_t pieceCount, std::string& problem) {
  std::vector<Line> lines;
  for (std::size_t number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (raw.empty() || raw == "\r") continue;
    std::optional<Line> line = ParseLine(raw);
    if (!line) {
      problem = "line " + std::to_string(number) + " is not a checksum line";
      return std::nullopt;
    }
    lines.push_back(std::move(*line));
  }
  if (lines.empty()) {
    problem = "it holds no checksum lines";
    return std::nullopt;
  }
  if (pieceCount < 0) pieceCount = static_cast<std::int64_t>(lines.size()) - 1;
  // Each name this set may list, and where its checksum goes: 0 for the file, k for piece k.
  std::map<std::string, std::int64_t> wanted;
  for (std::int64_t k = 1; k <= pieceCount; ++k) wanted[LowerCase(PieceFileName(name, k))] = k;
  wanted[LowerCase(name)] = 0;
  SetChecksums sums;
  sums.pieces.resize(static_cast<std::size_t>(std::max<std::int64_t>(pieceCount, 0)));
  std::vector<bool> seen(sums.pieces.size() + 1, false);
  for (const Line& line : lines) {
    const auto it = wanted.find(LowerCase(line.name));
    if (it == wanted.end()) {
      problem = "it lists " + Quoted(line.name) +
                (IsPieceName(line.name, name) ? ", which is not among the pieces found"
                                              : ", which is not a file of this set");
      return std::nullopt;
    }
    if (seen[static_cast<std::size_t>(it->second)]) {
      problem = "it lists " + Quoted(line.name) + " more than once";
      return std::nullopt;
    }
    seen[static_cast<std::size_t>(it->second)] = true;
    (it->second == 0 ? sums.whole : sums.pieces[static_cast<std::size_t>(it->second - 1)]) = line.digest;
  }
  for (std::int64_t k = 0; k <= pieceCount; ++k) {
    if (seen[static_cast<std::size_t>(k)]) continue;
    problem = "it has no line for " + Quoted(k == 0 ? name : PieceFileName(name, k));
    return std::nullopt;
  }
  return sums;
}

ChecksumFileState ReadChecksumFile(const std::string& folder, const std::string& name, std::int64_t pieceCount) {
  ChecksumFileState state;
  const std::string path = ChecksumFilePath(folder, name);
  if (!platform::PathExists(path)) return state;
  state.present = true;
  try {
    if (!platform::IsRegularFile(path)) throw platform::RuntimeError(0, "it is not a regular file");
    const std::int64_t length = platform::FileLength(path);
    if (length > kMaxChecksumFileBytes) throw platform::RuntimeError(0, "it is too large to be a checksum file");
    std::string text(static_cast<std::size_t>(length), '\0');
    platform::File file(path, platform::File::Mode::kRead);
    text.resize(file.Read(text.data(), text.size()));
    file.Close();
    state.sums = ParseChecksumText(text, name, pieceCount, state.problem);
  } catch (const std::exception& e) {
    state.problem = e.what();
  }
  return state;
}

Sha256Digest HashFile(const std::string& path) {
  platform::File file(path, platform::File::Mode::kRead);
  platform::Sha256 hash;
  std::vector<char> block(kHashBlock);
  for (;;) {
    const std::size_t got = file.Read(block.data(), block.size());
    hash.Update(block.data(), got);
    if (got < block.size()) break;
  }
  file.Close();
  return hash.Finish();
}

std::vector<PieceCheck> VerifySet(const std::string& folder, const std::string& name) {
  const ChecksumFileState state = ReadChecksumFile(folder, name, -1);
  const std::string file = ChecksumFileName(name);
  if (!state.present)
    throw platform::RuntimeError(0, "There is no checksum file " + Quoted(file) + " beside the pieces.");
  if (!state.sums)
    throw platform::RuntimeError(0, "The checksum file " + Quoted(file) + " cannot be used: " + state.problem + ".");
  std::vector<PieceCheck> checks;
  for (std::size_t k = 0; k < state.sums->pieces.size(); ++k) {
    PieceCheck check{PieceFileName(name, static_cast<std::int64_t>(k + 1))};
    const std::string path = folder + check.name;
    if (!platform::IsRegularFile(path))
      check.state = PieceCheck::State::kMissing;
    else if (HashFile(path) != state.sums->pieces[k])
      check.state = PieceCheck::State::kDiffers;
    checks.push_back(std::move(check));
  }
  return checks;
}

}  // namespace carvex
