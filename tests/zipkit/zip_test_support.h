#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace carvex::zipkit::test {

// What a program printed (standard output and error together) and how it ended.
struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

// Runs `program` with `arguments`, feeding `input` to its standard input and closing it; waits
// for the end. One implementation per system.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input = {});

struct RawEntry {
  std::string name;
  std::string data;
};

// An archive of stored entries with exactly the names given, assembled byte by byte: the kind
// no well-behaved writer produces (absolute names, "..", drive letters).
std::string AssembleStoredArchive(const std::vector<RawEntry>& entries);

// The events of one call, as the progress handler saw them.
struct ProgressEvent {
  int kind;
  std::string text;
  std::int64_t size;
};

// The error a call raises, with number 0 when it raises none.
struct Raised {
  long number = 0;
  std::string description;
};
Raised RaisedBy(const std::function<void()>& call);

// Names in `folder`, sorted; empty when it does not exist.
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace carvex::zipkit::test
