// Convert with a stub signed with Authenticode: the program carries the stub without its
// signature, which would no longer match once the archive follows it. Any other stub, a
// malformed PE among them, goes in whole.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/extract.h"
#include "zipkit/self_extractor.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::FakePeImage;
using test::PeLayoutOf;
using test::Poke;
using test::SignPe;

// A WIN_CERTIFICATE as signers write it: length, revision 2.0, PKCS#7 type, a padded blob.
std::string FakeCertificate() {
  std::string certificate(8, '\0');
  certificate += "signed data " + carvex::test::PatternBytes(1060, 5);
  Poke(certificate, 0, certificate.size(), 4);
  Poke(certificate, 4, 0x0200, 2);
  Poke(certificate, 6, 0x0002, 2);
  return certificate;
}

std::uint32_t Field32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

TEST(SignedStub, TheProgramCarriesTheStubWithoutItsSignature) {
  const std::string certificate = FakeCertificate();
  const std::string pe32 = FakePeImage(0x10b, 4096);
  // Not a multiple of 8: the signer pads it, and the padding stays.
  const std::string pe64 = FakePeImage(0x20b, 5001);
  const std::string signed32 = SignPe(pe32, certificate);
  const std::string signed64 = SignPe(pe64, certificate);
  const auto changed = [](std::string bytes, std::size_t at, std::uint64_t value, int width) {
    Poke(bytes, at, value, width);
    return bytes;
  };
  const test::PeLayout layout32 = PeLayoutOf(pe32);
  const test::PeLayout layout64 = PeLayoutOf(pe64);
  // The optional header of PE32 ends right after the security entry, then right before its end.
  const std::size_t shortOptional = layout32.security + 8 - layout32.magic;
  const std::string shortPe32 = changed(pe32, layout32.optionalSize, shortOptional, 2);

  const std::string elf = "\177ELF" + carvex::test::PatternBytes(3000, 2);
  const std::string tableInHeaders = changed(changed(signed32, layout32.security, 0x40, 4),
                                             layout32.security + 4, signed32.size() - 0x40, 4);

  const struct {
    const char* label;
    std::string stub;
    std::string kept;  // what the program starts with; empty for the whole stub
  } cases[] = {
      {"signed PE32", signed32, pe32},
      {"signed PE32+", signed64, pe64 + std::string(7, '\0')},
      {"optional header ends with the security entry", SignPe(shortPe32, certificate), shortPe32},
      {"unsigned PE32+", pe64, ""},
      {"ELF", elf, ""},
      {"MZ and nothing more", "MZ", ""},
      {"optional header ends inside the security entry",
       changed(signed32, layout32.optionalSize, shortOptional - 1, 2), ""},
      {"four directory entries", changed(signed64, layout64.entryCount, 4, 4), ""},
      {"unknown optional header magic", changed(signed32, layout32.magic, 0x107, 2), ""},
      {"PE header past the end", changed(signed64, 0x3C, signed64.size() - 2, 4), ""},
      {"PE header at 4 GiB", changed(signed64, 0x3C, 0xFFFFFFFF, 4), ""},
      {"data after the table", signed64 + "more", ""},
      {"table reaching past the end", signed64.substr(0, signed64.size() - 1), ""},
      {"table starting inside the headers", tableInHeaders, ""},
  };
  const SfxSettings settings{"Signed Setup", "OvrAlways"};
  const std::string archive = test::AssembleStoredArchive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
  const std::uint32_t archiveCentralStart = Field32(archive, archive.size() - 22 + 16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string& kept = c.kept.empty() ? c.stub : c.kept;
    TempDir dir;
    dir.Write("stub.bin", c.stub);
    dir.Write("a.zip", archive);
    std::int64_t bytesDone = 0;
    const std::string programPath =
        ConvertToSelfExtractor(dir.File("a.zip"), dir.File("stub.bin"), settings,
                               [&](int kind, const std::string&, std::int64_t size) {
                                 if (kind == kBytesDone) bytesDone += size;
                               });
    const std::string program = dir.Read("a.exe");

    EXPECT_TRUE(program.compare(0, kept.size(), kept) == 0);
    EXPECT_EQ(program.substr(kept.size(), settings.caption.size()), settings.caption);
    if (kept.size() < c.stub.size()) {
      EXPECT_EQ(program.find(certificate), std::string::npos);
    }
    // The bytes copied: what was kept of the stub, and the archive up to its central directory.
    EXPECT_EQ(bytesDone, static_cast<std::int64_t>(kept.size() + archiveCentralStart));
    // Offsets count from the program's start, whatever was left of the stub.
    const std::uint32_t centralStart = Field32(program, program.size() - 22 + 16);
    EXPECT_EQ(program.substr(centralStart, 4), "PK\x01\x02");
    EXPECT_EQ(program.substr(Field32(program, centralStart + 42), 4), "PK\x03\x04");
    EXPECT_EQ(ReadSfxSettings(programPath).overwriteMode, settings.overwriteMode);
    ExtractOptions options;
    options.folder = dir.File("out");
    ExtractArchive(programPath, options);
    EXPECT_EQ(dir.Read(JoinPath("out", "a.txt")), "alpha");
    EXPECT_EQ(dir.Read(JoinPath("out", "b.txt")), "bravo");
  }
}

}  // namespace
}  // namespace carvex::zipkit
