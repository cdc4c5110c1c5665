// Random access into large stored entries: the checkpoint index that velloc pack writes, the
// reader that starts decrypting at the nearest checkpoint, and what happens when the index is
// wrong (the entry is read whole instead, never trusted).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZipFixtures.h"
#include "archive/Checkpoints.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"

namespace velloc::archive {
namespace {

using fixtures::Bytes;

constexpr std::uint32_t kInterval = 4096;
constexpr char kPassword[] = "pw";

// Reads [offset, offset + size) through `reader` and compares it with the same bytes of `plain`.
void ExpectPart(TEntryReader& reader, const Bytes& plain, std::uint64_t offset, std::size_t size) {
  Bytes part(size);
  ASSERT_EQ(reader.Read(offset, part), ExtractResult::Ok) << offset << "+" << size;
  EXPECT_TRUE(std::equal(part.begin(), part.end(), plain.begin() + static_cast<long>(offset)))
      << offset << "+" << size;
}

// Every interval edge, the bytes on either side of it, the middle of each interval, and parts
// that cross one or two edges.
void ReadEverywhere(TEntryReader& reader, const Bytes& plain) {
  const std::uint64_t size = plain.size();
  for (std::uint64_t edge = 0; edge <= size; edge += kInterval) {
    for (const std::uint64_t at : {edge - 1, edge, edge + 1, edge + kInterval / 2}) {
      if (at >= size) continue;  // also skips edge - 1 at 0
      ExpectPart(reader, plain, at, 1);
      ExpectPart(reader, plain, at,
                 static_cast<std::size_t>(std::min<std::uint64_t>(100, size - at)));
    }
    if (edge >= 10 && edge < size) {
      ExpectPart(
          reader, plain, edge - 10,
          static_cast<std::size_t>(std::min<std::uint64_t>(2 * kInterval + 20, size - edge + 10)));
    }
  }
  ExpectPart(reader, plain, size - 1, 1);
  ExpectPart(reader, plain, 0, plain.size());
}

TEST(Checkpoints, EveryPartReadsAsDecryptingFromTheStartDoes) {
  // A last interval shorter than the others, encrypted and not.
  const Bytes plain = fixtures::NoiseBytes(5 * kInterval + 123);
  for (const bool encrypted : {true, false}) {
    TZipWriter writer;
    if (encrypted) writer.Password(kPassword);
    writer.Checkpoints(kInterval, 0);
    writer.AddFile("media/clip.mp4", plain, ZipMethod::Stored);
    writer.Finish();
    const Bytes zip = writer.TakeBytes();
    TZipArchive archive;
    archive.Password(kPassword);
    archive.Stream(zip);
    const int index = archive.FindFile("media/clip.mp4");
    ASSERT_TRUE(archive.HasCheckpoints(index)) << encrypted;
    EXPECT_GE(archive.FindFile(kCheckpointEntry), 0);

    const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(index);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Size(), plain.size());
    ReadEverywhere(*reader, plain);
    EXPECT_TRUE(reader->UsesCheckpoints()) << "every part came through its checkpoint";
    Bytes whole;
    ASSERT_EQ(archive.Extract(index, whole), ExtractResult::Ok);
    EXPECT_EQ(whole, plain);
  }
}

TEST(Checkpoints, OnlyLargeStoredEntriesGetThem) {
  const Bytes large = fixtures::NoiseBytes(3 * kInterval);
  const Bytes small = fixtures::NoiseBytes(kInterval);
  const Bytes text = fixtures::SampleText(3 * kInterval);
  TZipWriter writer;
  writer.Password(kPassword);
  writer.Checkpoints(kInterval, 2 * kInterval);
  writer.AddFile("large.bin", large, ZipMethod::Stored);
  writer.AddFile("small.bin", small, ZipMethod::Stored);
  writer.AddFile("text.js", text, ZipMethod::Deflate);
  writer.Finish();
  const Bytes zip = writer.TakeBytes();
  TZipArchive archive;
  archive.Password(kPassword);
  archive.Stream(zip);
  EXPECT_TRUE(archive.HasCheckpoints(archive.FindFile("large.bin")));
  EXPECT_FALSE(archive.HasCheckpoints(archive.FindFile("small.bin")));
  EXPECT_FALSE(archive.HasCheckpoints(archive.FindFile("text.js")));
  // Entries without checkpoints are read too: whole, on the first read.
  const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(archive.FindFile("text.js"));
  EXPECT_FALSE(reader->UsesCheckpoints());
  ExpectPart(*reader, text, kInterval + 5, 300);
  EXPECT_EQ(archive.OpenEntry(archive.EntryCount()), nullptr);

  // No index at all without Checkpoints().
  TZipWriter plainWriter;
  plainWriter.AddFile("large.bin", large, ZipMethod::Stored);
  plainWriter.Finish();
  const Bytes plainZip = plainWriter.TakeBytes();
  TZipArchive plainArchive;
  plainArchive.Stream(plainZip);
  EXPECT_EQ(plainArchive.EntryCount(), 1);
}

// A package built field by field: the media entry (encrypted, at offset 0) and an index that the
// test spoils one way at a time.
TEST(Checkpoints, ADamagedIndexIsIgnoredAndTheEntryReadWhole) {
  const Bytes plain = fixtures::NoiseBytes(4 * kInterval + 7);
  const fixtures::RawEntry media =
      fixtures::Encrypted(fixtures::Stored("clip.mp4", plain), kPassword);
  // The checkpoints as the writer makes them: after the (fixture's) encryption header.
  TCheckpointIndex good;
  good.Interval = kInterval;
  TEntryCheckpoints entry{0, media.Crc32, static_cast<std::uint32_t>(plain.size()), {}};
  PkwareCipher cipher(kPassword);
  Bytes header = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, static_cast<std::uint8_t>(media.Crc32 >> 24)};
  cipher.Encrypt(header);
  for (std::size_t at = 0; at < plain.size(); at += kInterval) {
    const std::size_t n = std::min<std::size_t>(kInterval, plain.size() - at);
    Bytes piece(plain.begin() + static_cast<long>(at), plain.begin() + static_cast<long>(at + n));
    entry.Intervals.push_back({cipher.Keys(), fixtures::Crc(piece)});
    cipher.Encrypt(piece);
  }
  good.Entries.push_back(entry);
  const auto packageWith = [&](const Bytes& index) {
    return fixtures::BuildZip(
        {media,
         fixtures::Encrypted(fixtures::Stored(std::string(kCheckpointEntry), index), kPassword)});
  };

  struct TCase {
    const char* What;
    bool Trusted;     // the control case: nothing spoilt
    bool SeenAtOpen;  // refused before any read, or only once an interval fails its CRC-32
    std::function<void(TCheckpointIndex&)> SpoilIndex;
    std::function<void(Bytes&)> SpoilBytes = [](Bytes&) {};
  };
  const std::vector<TCase> cases = {
      {"nothing", true, false, [](TCheckpointIndex&) {}},
      {"a key state", false, false,
       [](TCheckpointIndex& i) { i.Entries[0].Intervals[2].Keys.Key1 ^= 1; }},
      {"an interval's CRC-32", false, false,
       [](TCheckpointIndex& i) { i.Entries[0].Intervals[1].Crc32 ^= 1; }},
      {"the entry it names", false, true,
       [](TCheckpointIndex& i) { i.Entries[0].LocalHeaderOffset = 1234; }},
      {"the entry's CRC-32", false, true, [](TCheckpointIndex& i) { i.Entries[0].Crc32 ^= 1; }},
      {"one interval short", false, true,
       [](TCheckpointIndex& i) { i.Entries[0].Intervals.pop_back(); }},
      {"not an index", false, true, [](TCheckpointIndex&) {}, [](Bytes& b) { b[0] = 'X'; }},
  };
  for (const TCase& c : cases) {
    TCheckpointIndex index = good;
    c.SpoilIndex(index);
    Bytes written = WriteCheckpointIndex(index);
    c.SpoilBytes(written);
    const Bytes zip = packageWith(written);
    TZipArchive archive;
    archive.Password(kPassword);
    archive.Stream(zip);
    const int at = archive.FindFile("clip.mp4");
    EXPECT_EQ(archive.HasCheckpoints(at), !c.SeenAtOpen) << c.What;
    const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(at);
    ReadEverywhere(*reader, plain);
    EXPECT_EQ(reader->UsesCheckpoints(), c.Trusted) << c.What;
  }

  // The index entry itself damaged in the package: its CRC-32 fails, it is not read.
  Bytes zip = packageWith(WriteCheckpointIndex(good));
  zip[30 + 8 + media.Data.size() + 30 + kCheckpointEntry.size() + 20] ^= 0x40;
  TZipArchive archive;
  archive.Password(kPassword);
  archive.Stream(zip);
  EXPECT_FALSE(archive.HasCheckpoints(archive.FindFile("clip.mp4")));
  const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(archive.FindFile("clip.mp4"));
  ExpectPart(*reader, plain, 3 * kInterval + 2, 10);
}
TEST(Checkpoints, DamagedDataFailsTheReadInsteadOfPassingForTheEntry) {
  const Bytes plain = fixtures::NoiseBytes(3 * kInterval);
  TZipWriter writer;
  writer.Password(kPassword);
  writer.Checkpoints(kInterval, 0);
  writer.AddFile("clip.mp4", plain, ZipMethod::Stored);
  writer.Finish();
  Bytes zip = writer.TakeBytes();
  zip[30 + 8 + 12 + kInterval + 100] ^= 1;  // in the second interval
  TZipArchive archive;
  archive.Password(kPassword);
  archive.Stream(zip);
  const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(archive.FindFile("clip.mp4"));
  ExpectPart(*reader, plain, 10, 100);  // the first interval is sound
  Bytes part(10);
  EXPECT_EQ(reader->Read(kInterval + 95, part), ExtractResult::CrcMismatch);
  EXPECT_FALSE(reader->UsesCheckpoints());
  // Every later read fails the same way, without another whole attempt.
  EXPECT_EQ(reader->Read(0, part), ExtractResult::CrcMismatch);
}

TEST(CheckpointIndex, MalformedIndexesAreRefused) {
  TCheckpointIndex index;
  index.Interval = kInterval;
  index.Entries.push_back({0, 1, kInterval + 1, {{{1, 2, 3}, 4}, {{5, 6, 7}, 8}}});
  index.Entries.push_back({100, 2, 1, {{{0, 0, 0}, 9}}});
  const Bytes good = WriteCheckpointIndex(index);
  const std::optional<TCheckpointIndex> read = ReadCheckpointIndex(good);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Interval, kInterval);
  ASSERT_EQ(read->Entries.size(), 2u);
  EXPECT_EQ(read->Entries[0].Intervals[1].Keys, (PkwareKeys{5, 6, 7}));
  EXPECT_EQ(read->Entries[1].Intervals[0].Crc32, 9u);

  struct TCase {
    const char* What;
    std::function<void(Bytes&)> Spoil;
  };
  const std::vector<TCase> cases = {
      {"empty", [](Bytes& b) { b.clear(); }},
      {"another magic", [](Bytes& b) { b[7] = '2'; }},
      {"an interval below 4 KiB", [](Bytes& b) { fixtures::Set32(b, 8, 4095); }},
      {"an interval of 0", [](Bytes& b) { fixtures::Set32(b, 8, 0); }},
      {"more entries than bytes", [](Bytes& b) { fixtures::Set32(b, 12, 0xFFFFFFFF); }},
      {"a size that needs more intervals", [](Bytes& b) { fixtures::Set32(b, 24, 3 * kInterval); }},
      {"a huge size", [](Bytes& b) { fixtures::Set32(b, 24, 0xFFFFFFFF); }},
      {"truncated", [](Bytes& b) { b.pop_back(); }},
      {"bytes left over", [](Bytes& b) { b.push_back(0); }},
      {"one entry named twice", [](Bytes& b) { fixtures::Set32(b, 16 + 12 + 32, 0); }},
  };
  for (const TCase& c : cases) {
    Bytes spoilt = good;
    c.Spoil(spoilt);
    EXPECT_FALSE(ReadCheckpointIndex(spoilt)) << c.What;
  }
}

// A development package replaced while a worker thread still reads the old one: the old bytes
// stay alive as long as a snapshot or reader of them does.
TEST(ZipArchiveReload, SnapshotsAndReadersKeepTheirPackage) {
  const Bytes oldPlain = fixtures::NoiseBytes(3 * kInterval, 1);
  const auto makeZip = [](const Bytes& plain) {
    TZipWriter writer;
    writer.Password(kPassword);
    writer.Checkpoints(kInterval, 0);
    writer.AddFile("clip.mp4", plain, ZipMethod::Stored);
    writer.Finish();
    return std::make_shared<const Bytes>(writer.TakeBytes());
  };
  TZipArchive archive;
  archive.Password(kPassword);
  {
    std::shared_ptr<const Bytes> oldZip = makeZip(oldPlain);
    archive.Stream(*oldZip, oldZip);
  }
  const std::shared_ptr<const TZipArchive> snapshot = archive.Snapshot();
  const std::unique_ptr<TEntryReader> reader = archive.OpenEntry(archive.FindFile("clip.mp4"));
  const Bytes newPlain = fixtures::NoiseBytes(kInterval, 2);
  {
    std::shared_ptr<const Bytes> newZip = makeZip(newPlain);
    archive.Stream(*newZip, newZip);
  }
  Bytes out;
  ASSERT_EQ(archive.Extract(archive.FindFile("clip.mp4"), out), ExtractResult::Ok);
  EXPECT_EQ(out, newPlain);
  out.clear();
  ASSERT_EQ(snapshot->Extract(snapshot->FindFile("clip.mp4"), out), ExtractResult::Ok);
  EXPECT_EQ(out, oldPlain);
  ExpectPart(*reader, oldPlain, 2 * kInterval + 1, 50);
  archive.Close();
  EXPECT_FALSE(archive.IsOpen());
  EXPECT_TRUE(snapshot->IsOpen());
}

}  // namespace
}  // namespace velloc::archive
