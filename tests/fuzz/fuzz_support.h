#pragma once

// What the fuzz harnesses share: a private scratch folder that goes when the process ends,
// and the way a harness reports a broken promise of the code under test.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace carvex::fuzz {

// A folder of this process's own under the system's temporary folder, made on the first call
// and removed with everything in it when the process exits normally. The registry store, if
// a harness pointed it there, is closed first.
const std::string& ScratchFolder();

// Points the registry at a throwaway database in the scratch folder and the hand-off key
// below a throwaway key, so no run touches the user's own; once per process, however often
// it is called.
void UseScratchRegistry();

// Stops the run as a finding: libFuzzer keeps the input that got here.
[[noreturn]] void Broken(const std::string& what);

std::string_view AsText(const std::uint8_t* data, std::size_t size);

// Whether `text` is well-formed UTF-8 (on these systems the ANSI code page is UTF-8).
bool IsUtf8(std::string_view text);

}  // namespace carvex::fuzz
