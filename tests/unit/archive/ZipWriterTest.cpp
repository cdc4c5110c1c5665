#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZipFixtures.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"

namespace velloc::archive {
namespace {

using fixtures::Bytes;
using fixtures::ToBytes;

TEST(ZipWriter, WritesWhatTheReaderReadsBack) {
  const Bytes text = fixtures::SampleText(100000);
  const Bytes noise = fixtures::NoiseBytes(50000);
  TZipWriter writer;
  writer.AddFile("plain.txt", ToBytes("plain"), ZipMethod::Deflate);
  writer.Password("pw");
  writer.AddDirectory("app/");
  writer.AddDirectory("app/img");
  writer.AddFile("app/main.js", text, ZipMethod::Deflate);
  writer.AddFile("app/img/noise.png", noise, ZipMethod::Deflate);  // will not shrink
  writer.AddFile("app/img/stored.bin", text, ZipMethod::Stored);
  writer.AddFile("app/empty.txt", {}, ZipMethod::Deflate);
  writer.AddFile("app/\xC3\xA9t\xC3\xA9.txt", ToBytes("summer summer summer summer summer"),
                 ZipMethod::Deflate);
  writer.Finish();
  EXPECT_EQ(writer.EntryCount(), 8);
  const Bytes zip = writer.TakeBytes();
  EXPECT_EQ(writer.BytesWritten(), zip.size());

  TZipArchive archive;
  archive.Password("pw");
  archive.Stream(zip);
  ASSERT_EQ(archive.EntryCount(), 8);
  struct Expect {
    std::string name;
    Bytes content;
    std::uint16_t method;
    bool encrypted;
    bool utf8Flag;
  } expected[] = {
      {"plain.txt", ToBytes("plain"), 0, false, false},  // too small to gain from Deflate
      {"app/", {}, 0, false, false},
      {"app/img/", {}, 0, false, false},
      {"app/main.js", text, 8, true, false},
      {"app/img/noise.png", noise, 0, true, false},
      {"app/img/stored.bin", text, 0, true, false},
      {"app/empty.txt", {}, 0, true, false},
      {"app/\xC3\xA9t\xC3\xA9.txt", ToBytes("summer summer summer summer summer"), 8, true, true},
  };
  for (const auto& e : expected) {
    const int index = archive.FindFile(e.name);
    ASSERT_GE(index, 0) << e.name;
    const TZipEntry info = archive.Entry(index);
    EXPECT_EQ(info.Method, e.method) << e.name;
    EXPECT_EQ(info.Encrypted(), e.encrypted) << e.name;
    EXPECT_EQ((info.Flags & 0x800) != 0, e.utf8Flag) << e.name;
    EXPECT_EQ(info.Flags & 0x8, 0) << e.name;  // no data descriptors
    Bytes out;
    EXPECT_EQ(archive.Extract(index, out), ExtractResult::Ok) << e.name;
    EXPECT_EQ(out, e.content) << e.name;
  }
}

TEST(ZipWriter, FileOutputEqualsTheArchiveAndReportsProgress) {
  fixtures::TempDir dir;
  const Bytes big = fixtures::NoiseBytes(3 * 1024 * 1024 + 5);
  const Bytes text = fixtures::SampleText(10000);
  std::vector<std::uint64_t> progress;
  {
    TZipWriter writer(dir / "out.zip");
    writer.Password("pw");
    writer.OnProgress([&](std::uint64_t done) { progress.push_back(done); });
    writer.AddFile("big.bin", big, ZipMethod::Stored);
    writer.AddFile("text.txt", text, ZipMethod::Deflate);
    writer.Finish();
  }
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_GT(progress.size(), 3u);  // the big stored file reports in pieces
  EXPECT_EQ(progress.back(), big.size() + text.size());

  const Bytes zip = fixtures::ReadFile(dir / "out.zip");
  TZipArchive archive;
  archive.Password("pw");
  archive.Stream(zip);
  Bytes out;
  ASSERT_EQ(archive.Extract(archive.FindFile("BIG.bin"), out), ExtractResult::Ok);
  EXPECT_EQ(out, big);
}

// Files from disk: stored ones are read in pieces (the CRC-32 first, then the bytes), deflated
// ones whole; both read back as they were, and a file that is gone is an error.
TEST(ZipWriter, FilesFromDiskReadBackAsTheyWere) {
  fixtures::TempDir dir;
  const Bytes media = fixtures::NoiseBytes(2 * 1024 * 1024 + 77);
  const Bytes text = fixtures::SampleText(50000);
  std::ofstream(dir / "clip.mp4", std::ios::binary)
      .write(reinterpret_cast<const char*>(media.data()),
             static_cast<std::streamsize>(media.size()));
  std::ofstream(dir / "main.js", std::ios::binary)
      .write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size()));
  std::ofstream(dir / "empty.mp4", std::ios::binary).flush();
  TZipWriter writer;
  writer.Password("pw");
  writer.Checkpoints(kDefaultCheckpointInterval, 1024 * 1024);
  writer.AddFileFromDisk("clip.mp4", dir / "clip.mp4", ZipMethod::Stored);
  writer.AddFileFromDisk("main.js", dir / "main.js", ZipMethod::Deflate);
  writer.AddFileFromDisk("empty.mp4", dir / "empty.mp4", ZipMethod::Stored);
  EXPECT_THROW(writer.AddFileFromDisk("gone.mp4", dir / "gone.mp4", ZipMethod::Stored), ZipError);
  writer.Finish();
  const Bytes zip = writer.TakeBytes();
  TZipArchive archive;
  archive.Password("pw");
  archive.Stream(zip);
  for (const auto& [name, content] : {std::pair{"clip.mp4", media}, std::pair{"main.js", text},
                                      std::pair{"empty.mp4", Bytes{}}}) {
    Bytes out;
    ASSERT_EQ(archive.Extract(archive.FindFile(name), out), ExtractResult::Ok) << name;
    EXPECT_EQ(out, content) << name;
  }
  EXPECT_EQ(archive.Entry(archive.FindFile("main.js")).Method, 8);
  EXPECT_TRUE(archive.HasCheckpoints(archive.FindFile("clip.mp4")));
}

// A Windows executable is signed after packing; a signer pads the file to a multiple of 8 bytes
// first unless it is one already. The padding goes into the archive's comment.
TEST(ZipWriter, AlignEndPadsTheCommentToTheMultiple) {
  for (const std::uint64_t preceding : {0u, 1u, 4096u, 4101u}) {
    TZipWriter writer;
    writer.AlignEnd(preceding, 8);
    writer.AddFile("a.txt", ToBytes("abc"), ZipMethod::Stored);
    writer.Finish();
    const Bytes zip = writer.TakeBytes();
    EXPECT_EQ((preceding + zip.size()) % 8, 0u) << preceding;
    // The end record's comment holds the padding, zeros, up to the end.
    std::size_t end = zip.size() - 22;
    while (!(zip[end] == 0x50 && zip[end + 1] == 0x4B && zip[end + 2] == 5 && zip[end + 3] == 6))
      --end;
    const std::size_t comment = zip[end + 20] | (std::size_t{zip[end + 21]} << 8);
    EXPECT_EQ(end + 22 + comment, zip.size()) << preceding;
    EXPECT_TRUE(std::all_of(zip.begin() + static_cast<long>(end) + 22, zip.end(),
                            [](std::uint8_t b) { return b == 0; }));
    TZipArchive archive;
    archive.Stream(zip);
    Bytes out;
    EXPECT_EQ(archive.Extract(archive.FindFile("a.txt"), out), ExtractResult::Ok);
    EXPECT_EQ(out, ToBytes("abc"));
  }
}

TEST(ZipWriter, RefusesBadNamesAndUseAfterFinish) {
  TZipWriter writer;
  const std::string withNul("a\0b", 3);
  for (const std::string& name :
       {std::string(), std::string(70000, 'a'), withNul, std::string("caf\xE9.txt")}) {
    try {
      writer.AddFile(name, ToBytes("x"), ZipMethod::Stored);
      ADD_FAILURE() << "accepted " << name.size() << "-byte name";
    } catch (const ZipError& e) {
      EXPECT_EQ(e.Code(), ZipErrorCode::InvalidName);
    }
  }
  writer.Finish();
  try {
    writer.AddFile("late.txt", ToBytes("x"), ZipMethod::Stored);
    ADD_FAILURE() << "added after Finish";
  } catch (const ZipError& e) {
    EXPECT_EQ(e.Code(), ZipErrorCode::InvalidState);
  }
}

TEST(ZipWriter, CannotCreateTheFile) {
  try {
    TZipWriter writer("/nonexistent-folder/velloc/out.zip");
    ADD_FAILURE() << "created";
  } catch (const ZipError& e) {
    EXPECT_EQ(e.Code(), ZipErrorCode::WriteFailed);
    EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/velloc/out.zip"), std::string::npos);
  }
}

TEST(ShouldStore, ByExtensionIgnoringCase) {
  struct Case {
    const char* name;
    bool store;
  } cases[] = {
      {"app/img/logo.png", true},   {"app/img/PHOTO.JPG", true}, {"app/fonts/a.woff2", true},
      {"app/media/clip.mp4", true}, {"data/archive.zip", true},  {"app/index.html", false},
      {"app/main.js", false},       {"app/style.css", false},    {"app/fonts/a.ttf", false},
      {"app/icon.svg", false},      {"app/noext", false},        {"app/png", false},
      {"app.png/readme", false},    {"app/trailing.", false},    {"app/module.wasm", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ShouldStore(c.name), c.store) << c.name;
}

}  // namespace
}  // namespace velloc::archive
