#pragma once

// The settings store: the modPublic settings and the file "Settings.Dat" that keeps them
// between runs, fixed records of 128 bytes. The first eight are the original file; the later
// ones were added behind them, so that a file of either age reads with the other's rules.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mod_public.h"

namespace carvex {

inline constexpr char kSettingsFileName[] = "Settings.Dat";
inline constexpr std::size_t kSettingsRecordLength = 128;
inline constexpr std::size_t kSettingsRecordCount = 10;
inline constexpr std::size_t kSettingsFileLength = kSettingsRecordLength * kSettingsRecordCount;
// The record less the 2-byte length in front of the text.
inline constexpr std::size_t kMaxOutDestinationBytes = kSettingsRecordLength - 2;

// The settings as one value, the form the file is read into and written from. The settings
// the program runs on are the modPublic variables of the same names.
struct SettingsRecord {
  std::int16_t ClearList = kFalse;
  std::int16_t DeleteBuildFiles = kFalse;
  std::int16_t DelExists = kFalse;
  std::int16_t UseOutput = kFalse;
  std::string OutDestination = {};  // UTF-8
  std::int16_t ShowFinish = kFalse;
  std::int16_t Compression = 0;
  std::int16_t BuildAutoUnzip = kFalse;
  std::int16_t WriteChecksums = kTrue;
  std::int16_t WriteJoinScript = kFalse;

  bool operator==(const SettingsRecord&) const = default;
};

// The bytes record 5 holds for `folder` (without its length); nullopt when the record cannot
// hold it: longer than kMaxOutDestinationBytes, or with characters the ANSI code page lacks.
std::optional<std::string> EncodeOutDestination(std::string_view folder);

// The records as the file holds them, kSettingsFileLength bytes.
std::string EncodeSettings(const SettingsRecord& settings);
// The settings held by the first bytes of a file of any length.
SettingsRecord DecodeSettings(std::string_view image);

// The folder that holds "Settings.Dat": the application folder when a file can be created
// there, else the per-user folder, which is created when missing.
std::string SettingsFolder();
std::string SettingsPath();

// Set before the first LoadSettings by a front end that promises to leave the settings file
// alone: the file is then read when it exists and never created or written.
inline bool SettingsReadOnly = false;

// Reads the file into the modPublic settings, creating an empty file on the first start.
void LoadSettings();
// Writes the modPublic settings over the first kSettingsFileLength bytes of the file.
void SaveSettings();

}  // namespace carvex
