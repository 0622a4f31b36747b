// The self-extracting program on a real small volume: an honest archive that the volume cannot
// hold is refused before anything is written. Linux only, and only where this process may
// loop-mount a file system image (as root); skipped elsewhere.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/zip_component.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::ListFolder;
using test::RunProgram;

// A 2 MiB ext2 file system mounted from an image in `dir`, unmounted before `dir` goes.
class SmallVolume {
 public:
  explicit SmallVolume(const TempDir& dir) : image_(dir.File("small.img")), mountPoint_(dir.File("mnt")) {
    dir.MakeSparse("small.img", 2 << 20);
    dir.MakeFolder("mnt");
    if (RunProgram("mke2fs", {"-q", "-F", "-t", "ext2", image_}).exitCode != 0) return;
    mounted_ = RunProgram("mount", {"-o", "loop", image_, mountPoint_}).exitCode == 0;
  }
  ~SmallVolume() {
    if (mounted_) RunProgram("umount", {mountPoint_});
  }
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return mountPoint_; }

 private:
  std::string image_;
  std::string mountPoint_;
  bool mounted_ = false;
};

TEST(SelfExtractorOnASmallVolume, RefusesAnArchiveTheVolumeCannotHold) {
  TempDir dir;
  const SmallVolume volume(dir);
  if (!volume.Mounted()) GTEST_SKIP() << "no file system image can be loop-mounted here";
  // A small file first, which an extraction that only failed at the full disk would leave.
  dir.Write("a.txt", "first");
  dir.Write("zeros.bin", std::string(8 << 20, '\0'));
  ZipComponent zip;
  zip.StartAddJob();
  zip.SetArchivePath(dir.File("big.zip"));
  zip.SourceFiles().AddItem(dir.File("a.txt"));
  zip.SourceFiles().AddItem(dir.File("zeros.bin"));
  zip.Add();
  zip.SetSfxStubPath(JoinPath(platform::AppPath(), "ZipSFX.bin"));
  zip.Convert();
  const std::vector<std::string> before = ListFolder(volume.Path());

  const test::ProgramRun run = RunProgram(dir.File("big.exe"), {"-d", JoinPath(volume.Path(), "out")});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_NE(run.output.find("bytes free"), std::string::npos) << run.output;
  EXPECT_EQ(ListFolder(volume.Path()), before);
  // The same program unpacks where there is room.
  const test::ProgramRun roomy = RunProgram(dir.File("big.exe"), {"-d", dir.File("roomy")});
  EXPECT_EQ(roomy.exitCode, 0) << roomy.output;
  EXPECT_EQ(ListFolder(dir.File("roomy")), (std::vector<std::string>{"a.txt", "zeros.bin"}));
}

}  // namespace
}  // namespace carvex::zipkit
