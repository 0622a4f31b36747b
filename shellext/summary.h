#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace carvex {

// `value` in decimal with a "." before every group of three digits from the right, whatever
// the user's locale: 1234567 gives "1.234.567".
std::string FormatThousands(std::uint64_t value);

// The one-line description of the selection recorded in the hand-off key: attribute marks and
// size of a single file, or the numbers of items (or of folders and files) and their total
// size. `count` is the number of items of a multiple selection, 0 for a single item. Sizes
// are shown in full, above 4 GiB too.
std::string SummarizeSelection(std::size_t count);
// The same for a selection given by its paths: one path is a single item, any other number a
// multiple selection.
std::string SummarizePaths(const std::vector<std::string>& paths);

// Stores SummarizeSelection(count) as attribSt. Throws RuntimeError when the hand-off key
// cannot be read or written.
void UpdateSummary(std::size_t count);

}  // namespace carvex
