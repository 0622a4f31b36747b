#include "mod_public.h"

#include <cstdlib>

#include "platform/files.h"
#include "platform/folders.h"

namespace carvex {

namespace {

constexpr char kSep = platform::kPathSeparator;
constexpr std::size_t kFirstPieceSuffixLength = 8;  // ".001.cvx"

// CARVEX_DATA_FOLDER puts the program's own files (settings, scratch) in one folder of the
// caller's choosing: a portable install, or a test run that must leave the real ones alone.
const char* DataFolderFromEnvironment() {
  const char* folder = std::getenv("CARVEX_DATA_FOLDER");
  return folder && *folder ? folder : "";
}

std::string appFolderOverride = DataFolderFromEnvironment();
std::string userFolderOverride = DataFolderFromEnvironment();

struct SizeUnit {
  Bytes bytes;
  const char* suffix;
};

// Largest first: the biggest unit that fits wins.
constexpr SizeUnit kSizeUnits[] = {
    {Bytes{1} << 30, "Gb"},
    {Bytes{1} << 20, "Mb"},
    {Bytes{1} << 10, "Kb"},
};

}  // namespace

std::string SignedText(std::int64_t n) { return n < 0 ? std::to_string(n) : " " + std::to_string(n); }

std::string PieceNumberText(std::int64_t k) {
  std::string digits = std::to_string(k);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return digits;
}

std::string PieceFileName(const std::string& name, std::int64_t k) {
  return name + "." + PieceNumberText(k) + ".cvx";
}

std::string PiecePath(const std::string& folder, const std::string& name, std::int64_t k) {
  return folder + PieceFileName(name, k);
}

std::string BuildNameFromPiece(const std::string& firstPieceFileName) {
  if (firstPieceFileName.size() <= kFirstPieceSuffixLength) return {};
  return firstPieceFileName.substr(0, firstPieceFileName.size() - kFirstPieceSuffixLength);
}

std::string FormatSize(Bytes n) {
  if (n < 1024) return SignedText(n) + "b";
  for (const SizeUnit& unit : kSizeUnits) {
    if (n < unit.bytes) continue;
    // n / unit rounded to two decimals, halves up, in integers so that no size is off by
    // a binary fraction.
    const Bytes whole = n / unit.bytes;
    const Bytes rest = n % unit.bytes;
    const Bytes hundredths = whole * 100 + (rest * 200 + unit.bytes) / (2 * unit.bytes);
    std::string text = SignedText(hundredths / 100);
    const int fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
      text += '.';
      text += static_cast<char>('0' + fraction / 10);
      if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text + unit.suffix;
  }
  return SignedText(n) + "b";
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

std::string GetExtension(const std::string& path) {
  const auto dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string GetFolderPart(const std::string& path) {
  const auto sep = path.rfind(kSep);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string GetFileNamePart(const std::string& path) {
  const auto sep = path.rfind(kSep);
  return sep == std::string::npos ? std::string() : path.substr(sep + 1);
}

std::string GetParentFolderName(const std::string& path) {
  const auto last = path.rfind(kSep);
  if (last == std::string::npos || last == 0) return {};
  const auto before = path.rfind(kSep, last - 1);
  if (before == std::string::npos) return {};
  return path.substr(before + 1, last - before - 1);
}

Bytes GetBuildSetSize(const std::string& firstPiecePath) {
  const std::string folder = GetFolderPart(firstPiecePath);
  const std::string name = BuildNameFromPiece(GetFileNamePart(firstPiecePath));
  Bytes total = 0;
  for (std::int64_t k = 1;; ++k) {
    const std::string piece = PiecePath(folder, name, k);
    if (!platform::IsRegularFile(piece)) break;
    total += platform::FileLength(piece);
  }
  return total;
}

std::string AppDataFolder() {
  const std::string app = appFolderOverride.empty() ? platform::AppPath() : appFolderOverride;
  if (platform::IsFolderWritable(app)) return app;
  const std::string user = userFolderOverride.empty() ? platform::UserConfigFolder() : userFolderOverride;
  platform::CreateFolders(user);
  return user;
}

std::string ZipTempFolder() {
  const std::string app = appFolderOverride.empty() ? platform::AppPath() : appFolderOverride;
  const std::string shipped = app + kSep + "temp";
  if (platform::IsFolderWritable(shipped)) return shipped + kSep;
  const std::string user = (userFolderOverride.empty() ? platform::UserConfigFolder() : userFolderOverride) + kSep + "temp";
  platform::CreateFolders(user);
  return user + kSep;
}

void OverrideAppFolders(const std::string& appFolder, const std::string& userFolder) {
  appFolderOverride = appFolder;
  userFolderOverride = userFolder;
}

}  // namespace carvex
