#pragma once

#include <string>

#include "platform/error.h"

namespace carvex::zipkit {

// Numbers of the failures zipkit finds itself; a failure of the OS keeps the OS's number. They
// sit above the ranges of errno and Win32 error codes, so the two kinds never meet.
enum class ZipError : long {
  kInvalidSetting = 31001,  // the job cannot start as configured
  kNotAnArchive,            // no end-of-central-directory record, or one that points nowhere
  kCorrupt,                 // sizes, CRC-32 or compressed data do not hold together
  kNoPassword,              // an encrypted entry and no password to open it
  kWrongPassword,
  kUnsafeEntry,         // an entry would be written outside the target folder
  kUnsupported,         // a compression method or encryption this component does not read
  kSourceChanged,       // a source file grew past what its header allowed while it was read
  kOverlappingEntries,  // entries share bytes of the file, as a zip bomb's do
  kNotEnoughSpace,      // the entries' sizes add up to more than the target volume has free
  kCancelled,           // the caller's cancel check said to stop
};

[[noreturn]] inline void Fail(ZipError number, const std::string& description) {
  throw platform::RuntimeError(static_cast<long>(number), description);
}

}  // namespace carvex::zipkit
