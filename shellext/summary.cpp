#include "summary.h"

#include <optional>

#include "handoff.h"
#include "platform/file_info.h"
#include "platform/registry.h"

namespace carvex {

namespace {

constexpr char kSeveralItems[] = "*";

struct AttributeMark {
  std::uint32_t attribute;
  const char* set;
  const char* clear;
};

// The last mark carries the blank that separates the marks from the size.
constexpr AttributeMark kAttributeMarks[] = {
    {platform::kAttributeArchive, "a", "-"},
    {platform::kAttributeReadOnly, "w", "-"},
    {platform::kAttributeHidden, "h", "-"},
    {platform::kAttributeSystem, "s ", "- "},
};

std::string AttributeMarks(std::uint32_t attributes) {
  std::string marks;
  for (const AttributeMark& mark : kAttributeMarks)
    marks += (attributes & mark.attribute) ? mark.set : mark.clear;
  return marks;
}

// Whether a status already read is a folder's. A path that cannot be read is no folder: it
// may be a file whose name this system cannot open, and calling it a folder would be false.
bool IsFolder(const std::optional<platform::FileStatus>& status) {
  return status && (status->attributes & platform::kAttributeDirectory) != 0;
}

// Each path is asked of the file system once, and no file is opened: the menu of a selection
// on a share would otherwise wait for every file to be fetched and scanned.
std::string SummarizeSingle(const std::string& path) {
  const std::optional<platform::FileStatus> status = platform::ReadFileStatus(path);
  if (IsFolder(status)) return "This is a directory";
  if (!status || !status->size) return "Can not read info on file";
  return AttributeMarks(status->attributes) + FormatThousands(static_cast<std::uint64_t>(*status->size)) +
         " bytes";
}

std::string SummarizeSeveral(std::size_t count, const std::vector<std::string>& paths) {
  std::size_t folders = 0;
  std::uint64_t total = 0;
  for (const std::string& path : paths) {
    const std::optional<platform::FileStatus> status = platform::ReadFileStatus(path);
    if (IsFolder(status))
      ++folders;
    else if (status && status->size)
      total += static_cast<std::uint64_t>(*status->size);
  }
  const std::string bytes = FormatThousands(total) + " bytes";
  if (folders == 0) return std::to_string(count) + " files, " + bytes;
  // Another window may have replaced the list since `count` was taken; a negative number
  // of files would describe nothing.
  const std::size_t files = count > folders ? count - folders : 0;
  return std::to_string(folders) + "+" + std::to_string(files) + ", " + bytes;
}

}  // namespace

std::string FormatThousands(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back('.');
    out.push_back(digits[i]);
  }
  return out;
}

std::string SummarizeSelection(std::size_t count) {
  std::vector<std::string> paths;
  std::string fileName;
  {
    // The name and the list of one selection, not of two windows' selections in turn.
    platform::RegistryTransaction snapshot(platform::RegistryTransaction::Kind::kRead);
    fileName = ReadHandOffFileName();
    if (fileName == kSeveralItems) paths = ReadHandOffList();
  }
  return fileName == kSeveralItems ? SummarizeSeveral(count, paths) : SummarizeSingle(fileName);
}

std::string SummarizePaths(const std::vector<std::string>& paths) {
  return paths.size() == 1 ? SummarizeSingle(paths.front()) : SummarizeSeveral(paths.size(), paths);
}

void UpdateSummary(std::size_t count) { WriteSelectionSummary(SummarizeSelection(count)); }

}  // namespace carvex
