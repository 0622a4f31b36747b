// Arbitrary bytes as an archive that the application unpacks: written as a .zip into a fresh
// folder, then the zip component's Extract, as the main window runs it; then listed, and read
// as a self-extracting program reads its own settings. Extraction promises never to write
// outside the archive's folder, so besides what the sanitizers catch, every run checks that
// each file written and each file reported lies below that folder and that nothing appeared
// in the folders around it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/seam.h"
#include "zipkit/extract.h"
#include "zipkit/progress.h"
#include "zipkit/self_extractor.h"
#include "zipkit/zip_component.h"

namespace {

namespace fs = std::filesystem;
using carvex::fuzz::Broken;

// The password of the encrypted seeds, so that their data is decrypted and inflated too.
constexpr char kPassword[] = "fuzz";

// The archive's folder lies a few levels down in the scratch folder: a name that climbs out
// by up to that many ".." lands where the check below looks for it.
const fs::path& Sandbox() {
  static const fs::path sandbox = fs::path(carvex::fuzz::ScratchFolder()) / "up3" / "up2" / "up1";
  return sandbox;
}

const fs::path& Target() {
  static const fs::path target = Sandbox() / "target";
  return target;
}

bool IsBelowTarget(const std::string& path) {
  const fs::path normal = fs::path(path).lexically_normal();
  const fs::path relative = normal.lexically_relative(Target());
  return !relative.empty() && *relative.begin() != ".." && *relative.begin() != ".";
}

// Sees every write the component makes, before it happens.
class WriteGuard : public carvex::platform::Seam {
 public:
  void BeforeWrite(const std::string& path, std::size_t /*size*/) override {
    if (!IsBelowTarget(path)) Broken("extraction wrote to " + path + ", outside " + Target().string());
  }
};

// Nothing but the chain of folders down to the target may exist in the scratch folder, and
// nothing in the target may be a link that points elsewhere.
void CheckNothingOutsideTarget() {
  const fs::path scratch = carvex::fuzz::ScratchFolder();
  for (auto it = fs::recursive_directory_iterator(scratch); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    if (it->is_symlink()) Broken("extraction made the link " + path.string());
    if (path == Target()) {
      it.disable_recursion_pending();
      continue;
    }
    const bool onTheWay = Target().string().starts_with(path.string() + "/") && it->is_directory();
    if (!onTheWay) Broken("extraction left " + path.string() + " outside " + Target().string());
  }
  for (auto it = fs::recursive_directory_iterator(Target()); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_symlink()) Broken("extraction made the link " + it->path().string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fs::create_directories(Target());
  const fs::path archive = Target() / "input.zip";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Broken("cannot write " + archive.string());
  }

  carvex::zipkit::ZipComponent zip;
  zip.SetArchivePath(archive.string());
  zip.SetPassword(kPassword);
  zip.SetProgressHandler([](int kind, const std::string& text, std::int64_t) {
    if (kind == carvex::zipkit::kFileBegins && !IsBelowTarget(text))
      Broken("extraction announced " + text + ", outside " + Target().string());
  });
  WriteGuard guard;
  {
    const carvex::platform::ScopedSeam seam(guard);
    // A refusal is an answer; anything else the component throws is a finding.
    try {
      zip.Extract();
    } catch (const carvex::platform::RuntimeError&) {
    }
    try {
      (void)carvex::zipkit::ListArchive(archive.string());
      (void)carvex::zipkit::ReadSfxSettings(archive.string());
    } catch (const carvex::platform::RuntimeError&) {
    }
  }

  CheckNothingOutsideTarget();
  fs::remove_all(Target());
  return 0;
}
