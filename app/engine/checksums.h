#pragma once

// The checksum file N.sha256 beside a split set: one line for each piece, then one for the
// whole file N, in the form that `sha256sum -c` reads, so that a set can be checked without
// Carvex.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mod_public.h"
#include "platform/sha256.h"

namespace carvex {

using platform::Sha256Digest;

// Raised when data does not match its checksum: the build that finds it stops and deletes
// what it wrote.
class ChecksumMismatch : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct SetChecksums {
  std::vector<Sha256Digest> pieces;  // piece k at index k - 1
  Sha256Digest whole{};
};

std::string ChecksumFileName(const std::string& name);
// `folder` ends with a separator, as the pieces' folder does.
std::string ChecksumFilePath(const std::string& folder, const std::string& name);

// The text of N.sha256: UTF-8, LF line ends.
std::string ChecksumFileText(const std::string& name, const SetChecksums& sums);
// Writes it into `folder` (ending with a separator).
void WriteChecksumFile(const std::string& folder, const std::string& name, const SetChecksums& sums);

// The checksums that `text` gives set `name` of `pieceCount` pieces (-1: of as many pieces as
// it lists). nullopt, with `problem` saying why in words for a message, when a line is not a
// checksum line or when the lines do not name exactly the set's pieces and the file N once each.
std::optional<SetChecksums> ParseChecksumText(std::string_view text, const std::string& name,
                                              std::int64_t pieceCount, std::string& problem);

// What a build finds beside the pieces of `name` in `folder` (ending with a separator).
struct ChecksumFileState {
  bool present = false;
  std::optional<SetChecksums> sums;  // when present and usable
  std::string problem;               // when present and not usable
};
ChecksumFileState ReadChecksumFile(const std::string& folder, const std::string& name, std::int64_t pieceCount);

// The digest of the whole file at `path`.
Sha256Digest HashFile(const std::string& path);

// One line of a check of a set against its checksum file.
struct PieceCheck {
  enum class State { kMatches, kDiffers, kMissing };
  std::string name;
  State state = State::kMatches;
};
// Checks every piece that N.sha256 beside them lists, without building. Throws a
// RuntimeError, in words for the user, when there is no usable checksum file.
std::vector<PieceCheck> VerifySet(const std::string& folder, const std::string& name);

}  // namespace carvex
