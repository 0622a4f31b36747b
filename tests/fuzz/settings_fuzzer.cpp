// Arbitrary bytes as "Settings.Dat": decoded as the store reads them, and loaded from a file
// of those bytes as the program does at start-up. Whatever a damaged file holds, the settings
// read from it must survive being saved and read again, and the file on disk must give what
// its bytes give.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mod_public.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "settings_store.h"

namespace {

using carvex::SettingsRecord;
using carvex::fuzz::Broken;

// The settings as the modPublic variables hold them after LoadSettings.
SettingsRecord Loaded() {
  return {carvex::ClearList,      carvex::DeleteBuildFiles, carvex::DelExists,      carvex::UseOutput,
          carvex::OutDestination, carvex::ShowFinish,       carvex::Compression,    carvex::BuildAutoUnzip,
          carvex::WriteChecksums, carvex::WriteJoinScript};
}

// A folder is saved only when its ANSI form fits its record; otherwise it alone is dropped.
bool FolderFitsItsRecord(const std::string& folder) {
  const auto ansi = carvex::platform::EncodeAnsi(folder);
  return ansi && ansi->size() <= carvex::kMaxOutDestinationBytes;
}

void CheckSavedAndReadAgain(const SettingsRecord& settings) {
  const std::string image = carvex::EncodeSettings(settings);
  if (image.size() != carvex::kSettingsFileLength)
    Broken("the settings were saved as a file of another length");
  SettingsRecord expected = settings;
  if (!FolderFitsItsRecord(settings.OutDestination)) expected.OutDestination.clear();
  if (carvex::DecodeSettings(image) != expected)
    Broken("settings read from a file did not read back once saved");
}

void CheckLoadedFromFile(std::string_view bytes, const SettingsRecord& decoded) {
  static const bool folders = [] {
    carvex::OverrideAppFolders(carvex::fuzz::ScratchFolder(), carvex::fuzz::ScratchFolder());
    return true;
  }();
  (void)folders;
  {
    std::ofstream out(carvex::SettingsPath(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Broken("cannot write " + carvex::SettingsPath());
  }
  try {
    carvex::LoadSettings();
  } catch (const carvex::platform::RuntimeError& error) {
    Broken("loading a settings file failed: " + error.Description());
  }
  if (Loaded() != decoded) Broken("the settings loaded from the file differ from those its bytes hold");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = carvex::fuzz::AsText(data, size);
  const SettingsRecord decoded = carvex::DecodeSettings(bytes);
  // Only the records count: what follows them is no setting.
  if (carvex::DecodeSettings(bytes.substr(0, carvex::kSettingsFileLength)) != decoded)
    Broken("bytes past the last record changed the settings");
  CheckSavedAndReadAgain(decoded);
  CheckLoadedFromFile(bytes, decoded);
  return 0;
}
