// Cross-checks with an independent implementation, Info-ZIP's zip and unzip: what zip writes
// (including streamed entries with data descriptors) opens and extracts, and what TZipWriter
// writes passes unzip's own test and extracts to the same files.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "ZipFixtures.h"
#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"

namespace velloc::archive {
namespace {

using fixtures::Bytes;
using fixtures::RunShell;
using fixtures::TempDir;
using fixtures::ToBytes;

class InfoZip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fixtures::HaveTool("zip") || !fixtures::HaveTool("unzip")) {
      GTEST_SKIP() << "Info-ZIP zip and unzip are not installed";
    }
  }

  // The package password holds no character a shell interprets.
  const std::string FPassword = PackagePassword();

  const std::map<std::string, Bytes> FFiles = {
      {"app/index.html", fixtures::SampleText(30000, 3)},
      {"app/img/noise.bin", fixtures::NoiseBytes(40000)},
      {"app/empty.txt", {}},
      {"app/caf\xC3\xA9/na\xC3\xAFve.txt", ToBytes("non-ASCII name")},
      {"vlx.ini", ToBytes("[App]\nID=demo\n")},
  };

  void WriteTree(const std::filesystem::path& root) const {
    for (const auto& [name, content] : FFiles)
      fixtures::WriteFile(root / name, content);
  }

  void ExpectArchiveHoldsTree(const Bytes& zip) const {
    TZipArchive archive;
    archive.Password(FPassword);
    ASSERT_NO_THROW(archive.Stream(zip));
    for (const auto& [name, content] : FFiles) {
      const int index = archive.FindFile(name);
      ASSERT_GE(index, 0) << name;
      Bytes out;
      EXPECT_EQ(archive.Extract(index, out), ExtractResult::Ok) << name;
      EXPECT_EQ(out, content) << name;
    }
  }
};

TEST_F(InfoZip, ReadsEncryptedArchivesWrittenByZip) {
  for (const char* level : {"-6", "-0"}) {
    TempDir dir;
    WriteTree(dir / "tree");
    ASSERT_EQ(RunShell("cd '" + (dir / "tree").string() + "' && zip -q -r " + level + " -P " +
                       FPassword + " ../pkg.zip ."),
              0);
    SCOPED_TRACE(level);
    ExpectArchiveHoldsTree(fixtures::ReadFile(dir / "pkg.zip"));
  }
}

// zip writing to a pipe cannot seek back, so it marks entries with bit 3 and a data descriptor
// (and, for piped input, Zip64 marks in the local header); the directory still has the sizes.
TEST_F(InfoZip, ReadsStreamedEntriesWithDataDescriptors) {
  TempDir dir;
  WriteTree(dir / "tree");
  const std::string tree = (dir / "tree").string();
  const std::string out = (dir / "out.zip").string();
  const std::string piped = (dir / "piped.zip").string();
  ASSERT_EQ(
      RunShell("cd '" + tree + "' && zip -q -r -P " + FPassword + " - . | cat > '" + out + "'"), 0);
  ASSERT_EQ(RunShell("cat '" + tree + "/app/index.html' | zip -q -P " + FPassword + " - - > '" +
                     piped + "'"),
            0);

  const Bytes streamed = fixtures::ReadFile(out);
  ExpectArchiveHoldsTree(streamed);

  TZipArchive archive;
  archive.Password(FPassword);
  const Bytes pipedZip = fixtures::ReadFile(piped);
  archive.Stream(pipedZip);
  ASSERT_EQ(archive.EntryCount(), 1);
  EXPECT_NE(archive.Entry(0).Flags & 0x8, 0);
  Bytes content;
  EXPECT_EQ(archive.Extract(archive.FindFile("-"), content), ExtractResult::Ok);
  EXPECT_EQ(content, FFiles.at("app/index.html"));

  archive.Password("not the password");
  content.clear();
  EXPECT_EQ(archive.Extract(0, content), ExtractResult::WrongPassword);
  EXPECT_TRUE(content.empty());
}

TEST_F(InfoZip, UnzipAcceptsWhatTheWriterWrites) {
  TempDir dir;
  {
    TZipWriter writer(dir / "pkg.zip");
    writer.Password(FPassword);
    // What velloc pack adds for large media and Windows executables: one more entry, and a
    // comment of padding.
    writer.Checkpoints(kMinCheckpointInterval, 0);
    writer.AlignEnd(3, 8);
    writer.AddDirectory("app");
    for (const auto& [name, content] : FFiles) {
      writer.AddFile(
          name, content,
          ShouldStore(name) || name.ends_with(".bin") ? ZipMethod::Stored : ZipMethod::Deflate);
    }
    writer.Finish();
  }
  const std::string zip = (dir / "pkg.zip").string();
  EXPECT_EQ(RunShell("unzip -qq -t -P " + FPassword + " '" + zip + "' >/dev/null"), 0);
  EXPECT_NE(RunShell("unzip -qq -t -P wrong '" + zip + "' >/dev/null 2>&1"), 0);

  const std::filesystem::path out = dir / "out";
  ASSERT_EQ(RunShell("unzip -qq -P " + FPassword + " '" + zip + "' -d '" + out.string() + "'"), 0);
  for (const auto& [name, content] : FFiles) {
    EXPECT_EQ(fixtures::ReadFile(out / name), content) << name;
  }
  EXPECT_TRUE(std::filesystem::exists(out / std::string(kCheckpointEntry)));
}

}  // namespace
}  // namespace velloc::archive
