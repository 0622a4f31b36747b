#pragma once

// Job state and the small helpers that the whole application shares. Sizes, byte counts and
// piece numbers are 64-bit: files over 4 GiB are an everyday case.

#include <cstdint>
#include <string>

namespace carvex {

using Bytes = std::int64_t;

// Split job: filled by the split request and the action dispatch, then by the engine.
inline bool SplitInProgress = false;
inline Bytes SplitPieceSize = 0;
inline Bytes SplitFileSize = 0;
inline std::string SplitSourcePath;
inline std::string SplitFileName;
inline std::string SplitDestination;
inline std::int64_t SplitPieceNumber = 0;
inline Bytes SplitBytesDone = 0;
inline std::int64_t SplitFullPieces = 0;
// What the end of the last split has to tell besides its success; "" when nothing.
inline std::string SplitNotice;

// Build job: filled by the build request, then by the engine.
inline bool BuildInProgress = false;
inline std::string BuildDestination;
inline std::string BuildFileName;
inline std::string BuildSourceFolder;
inline std::int64_t BuildPieceCount = 0;
inline std::int64_t BuildPieceNumber = 0;
inline Bytes BuildBytesDone = 0;
// Set by a build that checked every piece and the whole file against N.sha256.
inline bool BuildVerified = false;
// Set by a build whose file is complete but whose automatic unzip failed.
inline bool BuildUnzipFailed = false;

// Shared state that other parts of the window own.
inline int CurrentMode = 0;  // 1 = split tab, 2 = build tab
inline std::int64_t SplitFileCount = 0;
inline bool ZipChecked = false;
inline std::string ZipStatusPrefix;

// SettingsRecord: the user's options, read from "Settings.Dat" at start-up and written back
// on the way out. Booleans are 16-bit, True = -1, and keep the value the file held: dialogs
// take only kTrue as ticked, the engines take any non-zero value as on.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;
inline std::int16_t ClearList = kFalse;
inline std::int16_t DeleteBuildFiles = kFalse;
inline std::int16_t DelExists = kFalse;
inline std::int16_t UseOutput = kFalse;
inline std::string OutDestination;  // UTF-8
inline std::int16_t ShowFinish = kFalse;
inline std::int16_t Compression = 0;  // zip level, the zip dialog's slider
inline std::int16_t BuildAutoUnzip = kFalse;
// Written after the eight above; a file from before them gives these defaults.
inline std::int16_t WriteChecksums = kTrue;
inline std::int16_t WriteJoinScript = kFalse;

// Zip job: set by the zip options dialog, kept in memory for the rest of the run.
inline std::string ZipName;
inline std::int16_t ZipUsePassword = 0;
inline std::string ZipPassword;
inline std::int16_t ZipMakeSFX = 0;

// Line feed before carriage return, in that order: message texts have always broken lines
// this way.
inline const std::string LineBreak = "\n\r";

// A number as text with a sign position: a blank before a non-negative number.
std::string SignedText(std::int64_t n);

// Piece naming. Piece k of N is N + "." + k + ".cvx", k with at least three digits.
std::string PieceNumberText(std::int64_t k);
std::string PieceFileName(const std::string& name, std::int64_t k);
std::string PiecePath(const std::string& folder, const std::string& name, std::int64_t k);
// The name of the file a set rebuilds: the first piece's file name less ".001.cvx".
std::string BuildNameFromPiece(const std::string& firstPieceFileName);

std::string FormatSize(Bytes n);
std::string GetExtension(const std::string& path);
// ASCII letters lowered, the way file names and extensions are compared here.
std::string LowerCase(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string GetFolderPart(const std::string& path);
std::string GetFileNamePart(const std::string& path);
std::string GetParentFolderName(const std::string& path);
Bytes GetBuildSetSize(const std::string& firstPiecePath);

// Where the program keeps files of its own (settings, scratch copies, the temporary folder):
// the application folder when a file can be created there, else the per-user folder, which
// is created when missing. No trailing separator.
std::string AppDataFolder();
// Where archives are made, with a trailing separator: "temp" in the application folder when a
// file can be created there, else "temp" in the per-user folder, created when missing.
std::string ZipTempFolder();

// For tests: folders that stand in for the application folder and the per-user folder, so
// that no test touches the real ones. Empty strings bring the real folders back.
void OverrideAppFolders(const std::string& appFolder, const std::string& userFolder);

}  // namespace carvex
