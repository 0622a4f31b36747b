#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "handoff.h"
#include "platform/codepage.h"
#include "platform/registry.h"

namespace carvex::fuzz {

namespace {

namespace fs = std::filesystem;

class Scratch {
 public:
  Scratch() {
    std::random_device random;
    for (int attempt = 0; path_.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("carvex-fuzz-" + std::to_string(random()));
      if (fs::create_directory(candidate)) path_ = candidate.string();
      if (attempt == 100) Broken("cannot make a scratch folder in " + fs::temp_directory_path().string());
    }
  }
  // Runs at exit, after the registry store (first used later than this folder was made) has
  // closed its database, so SQLite finds its files in place when it tidies them.
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

const std::string& ScratchFolder() {
  static const Scratch scratch;
  return scratch.Path();
}

void UseScratchRegistry() {
  static const bool pointed = [] {
    platform::SetRegistryDatabasePath(ScratchFolder() + "/registry.db");
    OverrideHandOffKeyPath("Software\\Carvex Fuzz\\Ravelin");
    return true;
  }();
  (void)pointed;
}

void Broken(const std::string& what) {
  std::fprintf(stderr, "\n==== broken promise: %s\n", what.c_str());
  std::abort();
}

std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

bool IsUtf8(std::string_view text) { return platform::EncodeAnsi(text).has_value(); }

}  // namespace carvex::fuzz
