#pragma once

// The plain arithmetic and texts behind the split and build requests, kept apart from the
// window so that tests reach them directly.

#include <string>
#include <string_view>

#include "mod_public.h"

namespace carvex {

enum class SizeChoice { kDisk, kMb, kKb, kBytes, kPieces, kPredefined };

// "Disk Size (1.44 Mb)": 1.38 x 1024 x 1024, rounded.
inline constexpr Bytes kDiskPieceSize = 1447035;

// The leading number of a text box: blanks skipped, "." as decimal separator whatever the
// locale, 0 when the text does not start with a number.
double LeadingNumber(std::string_view text);

// A size in bytes from a double: rounded to the nearest whole number, halves to the even
// neighbour. Raises an overflow error beyond what a size field holds.
Bytes ToByteCount(double value);

// The piece size for `choice` with the text of its box (or of the predefined list). Raises
// for a size beyond the size fields and for a piece count of 0.
Bytes PieceSizeFor(SizeChoice choice, std::string_view text, Bytes fileSize);

// The summaries that the user confirms before a job starts.
std::string SplitConfirmation(const std::string& fileName, const std::string& sourcePath, Bytes fileSize,
                              Bytes pieceSize, const std::string& destination);
std::string BuildConfirmation(const std::string& fileName, Bytes setSize, bool deletePieces);

}  // namespace carvex
