#include "settings_store.h"

#include <optional>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace carvex {

namespace {

// The 16-bit records: their number in the file, their field, their modPublic variable.
struct NumberSetting {
  std::size_t record;
  std::int16_t SettingsRecord::*field;
  std::int16_t* variable;
};

constexpr NumberSetting kNumberSettings[] = {
    {1, &SettingsRecord::ClearList, &ClearList},
    {2, &SettingsRecord::DeleteBuildFiles, &DeleteBuildFiles},
    {3, &SettingsRecord::DelExists, &DelExists},
    {4, &SettingsRecord::UseOutput, &UseOutput},
    {6, &SettingsRecord::ShowFinish, &ShowFinish},
    {7, &SettingsRecord::Compression, &Compression},
    {8, &SettingsRecord::BuildAutoUnzip, &BuildAutoUnzip},
    {9, &SettingsRecord::WriteChecksums, &WriteChecksums},
    {10, &SettingsRecord::WriteJoinScript, &WriteJoinScript},
};
constexpr std::size_t kOutDestinationRecord = 5;

constexpr std::size_t RecordOffset(std::size_t record) { return (record - 1) * kSettingsRecordLength; }

// Little-endian, whatever the machine: the file moves between systems.
std::optional<std::uint16_t> ReadWord(std::string_view image, std::size_t at) {
  if (image.size() < at + 2) return std::nullopt;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(image[at]) |
                                    static_cast<unsigned char>(image[at + 1]) << 8);
}

void WriteWord(std::string& image, std::size_t at, std::uint16_t value) {
  image[at] = static_cast<char>(value & 0xFF);
  image[at + 1] = static_cast<char>(value >> 8);
}

SettingsRecord CurrentSettings() {
  SettingsRecord settings;
  for (const NumberSetting& n : kNumberSettings) settings.*n.field = *n.variable;
  settings.OutDestination = OutDestination;
  return settings;
}

void ApplySettings(const SettingsRecord& settings) {
  for (const NumberSetting& n : kNumberSettings) *n.variable = settings.*n.field;
  OutDestination = settings.OutDestination;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == platform::kPathSeparator || folder.back() == '/'))
    return folder + name;
  return folder + platform::kPathSeparator + name;
}

}  // namespace

std::optional<std::string> EncodeOutDestination(std::string_view folder) {
  std::optional<std::string> text = platform::EncodeAnsi(folder);
  if (text && text->size() > kMaxOutDestinationBytes) return std::nullopt;
  return text;
}

std::string EncodeSettings(const SettingsRecord& settings) {
  std::string image(kSettingsFileLength, '\0');
  for (const NumberSetting& n : kNumberSettings)
    WriteWord(image, RecordOffset(n.record), static_cast<std::uint16_t>(settings.*n.field));
  // A folder that the record cannot hold is the one setting dropped: written in full it
  // would run over the records after it. The options dialog has told the user so.
  if (const std::optional<std::string> text = EncodeOutDestination(settings.OutDestination)) {
    const std::size_t at = RecordOffset(kOutDestinationRecord);
    WriteWord(image, at, static_cast<std::uint16_t>(text->size()));
    image.replace(at + 2, text->size(), *text);
  }
  return image;
}

SettingsRecord DecodeSettings(std::string_view image) {
  // Records the bytes do not reach in full keep their defaults: a new, empty file and a
  // short one are normal, not damage.
  SettingsRecord settings;
  for (const NumberSetting& n : kNumberSettings) {
    if (const auto word = ReadWord(image, RecordOffset(n.record)))
      settings.*n.field = static_cast<std::int16_t>(*word);
  }
  // A length the record cannot hold, or one that runs past the bytes read, means the text is
  // not there; taking bytes from the next records would be reading another setting as text.
  const std::size_t at = RecordOffset(kOutDestinationRecord);
  const auto length = ReadWord(image, at);
  if (length && *length <= kMaxOutDestinationBytes && at + 2 + *length <= image.size())
    settings.OutDestination = platform::DecodeAnsi(image.substr(at + 2, *length));
  return settings;
}

std::string SettingsFolder() { return AppDataFolder(); }

std::string SettingsPath() { return Join(SettingsFolder(), kSettingsFileName); }

void LoadSettings() {
  const std::string path = SettingsPath();
  // Read-only, a missing file is a first start that leaves nothing behind.
  if (SettingsReadOnly && !platform::PathExists(path)) {
    ApplySettings({});
    return;
  }
  platform::File file;
  try {
    file =
        platform::File(path, SettingsReadOnly ? platform::File::Mode::kRead : platform::File::Mode::kUpdate);
  } catch (const platform::RuntimeError&) {
    // A file that may not be written (read-only, held by another program) still holds the
    // user's options; only saving them has to fail.
    if (!platform::PathExists(path)) throw;
    file = platform::File(path, platform::File::Mode::kRead);
  }
  std::string image(kSettingsFileLength, '\0');
  image.resize(file.Read(image.data(), image.size()));
  file.Close();
  ApplySettings(DecodeSettings(image));
}

void SaveSettings() {
  if (SettingsReadOnly) return;
  const std::string image = EncodeSettings(CurrentSettings());
  platform::File file(SettingsPath(), platform::File::Mode::kUpdate);
  file.Write(image);
  file.Close();
}

}  // namespace carvex
