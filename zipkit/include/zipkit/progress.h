#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace carvex::zipkit {

// The progress event of every zip, convert and extract call. Kinds:
inline constexpr int kFileBegins = 0;  // text is the path of the file that begins
inline constexpr int kBytesDone = 1;   // size more uncompressed bytes are done since the last report
inline constexpr int kBatchEnded = 2;  // the call's work is over, done or failed

using ProgressHandler = std::function<void(int kind, const std::string& text, std::int64_t size)>;

// Asked after each progress report; true stops the call with ZipError::kCancelled, which undoes
// what it wrote as any failure does.
using CancelCheck = std::function<bool()>;

}  // namespace carvex::zipkit
