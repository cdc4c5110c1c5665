#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZipFixtures.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"

namespace velloc::archive {
namespace {

using fixtures::BuildZip;
using fixtures::Bytes;
using fixtures::Deflated;
using fixtures::Encrypted;
using fixtures::RawEntry;
using fixtures::Stored;
using fixtures::ToBytes;

constexpr std::string_view kPassword = "t0p-Secret";

TZipArchive Open(const Bytes& zip, std::string_view password = kPassword) {
  TZipArchive archive;
  archive.Password(password);
  archive.Stream(zip);
  return archive;
}

// Extracts through both paths, the growing vector and the caller-sized buffer.
Bytes ExtractOk(TZipArchive& archive, std::string_view name) {
  Bytes out;
  const int index = archive.FindFile(name);
  EXPECT_GE(index, 0) << name;
  if (index >= 0) {
    EXPECT_EQ(archive.Extract(index, out), ExtractResult::Ok) << name;
    Bytes buffer(archive.Entry(index).UncompressedSize);
    EXPECT_EQ(archive.ExtractTo(index, buffer), ExtractResult::Ok) << name;
    EXPECT_EQ(buffer, out) << name;
  }
  return out;
}

// Inserts a Zip64 end record and its locator before the classic end record, as Info-ZIP does
// for streamed input.
Bytes WithZip64Record(const Bytes& zip, std::uint64_t entries, std::uint64_t directorySize,
                      std::uint64_t directoryOffset, std::uint64_t recordOffset = 0) {
  const auto end = zip.end() - 22;
  Bytes b(zip.begin(), end);
  const std::uint64_t at = recordOffset != 0 ? recordOffset : b.size();
  const auto put64 = [&](std::uint64_t v) {
    fixtures::Put32(b, static_cast<std::uint32_t>(v));
    fixtures::Put32(b, static_cast<std::uint32_t>(v >> 32));
  };
  fixtures::Put32(b, 0x06064B50);
  put64(44);
  fixtures::Put16(b, 0x031E);
  fixtures::Put16(b, 45);
  fixtures::Put32(b, 0);
  fixtures::Put32(b, 0);
  put64(entries);
  put64(entries);
  put64(directorySize);
  put64(directoryOffset);
  fixtures::Put32(b, 0x07064B50);
  fixtures::Put32(b, 0);
  put64(at);
  fixtures::Put32(b, 1);
  b.insert(b.end(), end, zip.end());
  return b;
}

TEST(ZipArchive, OpeningRejectsWhatIsNotAReadableArchive) {
  const Bytes valid = BuildZip({Stored("a.txt", ToBytes("abc"))});
  const std::size_t end = valid.size() - 22;  // end-of-directory record
  const std::size_t directory = end - 46 - 5;
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    ZipErrorCode code;
  } cases[] = {
      {"empty", [] { return Bytes(); }, ZipErrorCode::NotZip},
      {"one byte", [] { return Bytes{0}; }, ZipErrorCode::NotZip},
      {"text", [] { return ToBytes("This is not a ZIP archive, only some text."); },
       ZipErrorCode::NotZip},
      {"comment longer than the data",
       [&] {
         Bytes b = valid;
         fixtures::Set16(b, end + 20, 5);
         return b;
       },
       ZipErrorCode::NotZip},
      {"more entries than the directory holds",
       [&] {
         Bytes b = valid;
         fixtures::Set16(b, end + 8, 2);
         fixtures::Set16(b, end + 10, 2);
         return b;
       },
       ZipErrorCode::BadCentralDirectory},
      {"directory beyond the data",
       [&] {
         Bytes b = valid;
         fixtures::Set32(b, end + 16, 0x10000);
         return b;
       },
       ZipErrorCode::BadCentralDirectory},
      {"directory record without signature",
       [&] {
         Bytes b = valid;
         b[directory] = 'X';
         return b;
       },
       ZipErrorCode::BadCentralDirectory},
      {"name running past the directory",
       [&] {
         Bytes b = valid;
         fixtures::Set16(b, directory + 28, 500);
         return b;
       },
       ZipErrorCode::BadCentralDirectory},
      {"split over disks",
       [&] {
         Bytes b = valid;
         fixtures::Set16(b, end + 4, 1);
         return b;
       },
       ZipErrorCode::MultiDisk},
      {"Zip64 directory offset",
       [&] {
         Bytes b = valid;
         fixtures::Set32(b, end + 16, 0xFFFFFFFF);
         return b;
       },
       ZipErrorCode::Zip64NotSupported},
      {"Zip64 record with other values",
       [&] { return WithZip64Record(valid, 1, 51, 0x100000000ull); },
       ZipErrorCode::Zip64NotSupported},
      {"Zip64 locator pointing nowhere",
       [&] { return WithZip64Record(valid, 1, 51, 38, 0xFFFFFF); },
       ZipErrorCode::Zip64NotSupported},
  };
  for (const auto& c : cases) {
    const Bytes data = c.make();
    TZipArchive archive;
    try {
      archive.Stream(data);
      ADD_FAILURE() << c.what << ": opened";
    } catch (const ZipError& e) {
      EXPECT_EQ(e.Code(), c.code) << c.what << ": " << e.what();
    }
    EXPECT_FALSE(archive.IsOpen()) << c.what;
    EXPECT_EQ(archive.FindFile("a.txt"), -1) << c.what;
  }
}

TEST(ZipArchive, OpensAnEmptyArchiveAndOneWithComment) {
  Bytes empty = BuildZip({});
  EXPECT_EQ(Open(empty).EntryCount(), 0);
  // A comment that holds the end signature itself must not be taken for the record.
  Bytes commented = BuildZip({Stored("a.txt", ToBytes("abc"))});
  const std::string comment = "PK\x05\x06 trailing comment";
  fixtures::Set16(commented, commented.size() - 2, static_cast<std::uint32_t>(comment.size()));
  commented.insert(commented.end(), comment.begin(), comment.end());
  TZipArchive archive = Open(commented);
  EXPECT_EQ(ExtractOk(archive, "a.txt"), ToBytes("abc"));
  // Zip64 end records that only repeat the classic values need no Zip64 support.
  const Bytes plain = BuildZip({Stored("a.txt", ToBytes("abc"))});
  const Bytes withZip64 = WithZip64Record(plain, 1, 51, 38);
  TZipArchive repeated = Open(withZip64);
  EXPECT_EQ(ExtractOk(repeated, "a.txt"), ToBytes("abc"));
}

TEST(ZipArchive, ExtractsEveryMethodPlainAndEncrypted) {
  const Bytes text = fixtures::SampleText(200000);
  const Bytes noise = fixtures::NoiseBytes(70000);
  const Bytes zip = BuildZip({
      Stored("stored.bin", noise),
      Deflated("deflated.js", text),
      Encrypted(Stored("enc-stored.bin", noise), kPassword),
      Encrypted(Deflated("enc-deflated.js", text), kPassword),
      Stored("empty.txt", {}),
      Encrypted(Stored("enc-empty.txt", {}), kPassword),
      Encrypted(Deflated("enc-tiny.txt", ToBytes("x")), kPassword),
  });
  TZipArchive archive = Open(zip);
  ASSERT_EQ(archive.EntryCount(), 7);
  EXPECT_EQ(ExtractOk(archive, "stored.bin"), noise);
  EXPECT_EQ(ExtractOk(archive, "deflated.js"), text);
  EXPECT_EQ(ExtractOk(archive, "enc-stored.bin"), noise);
  EXPECT_EQ(ExtractOk(archive, "enc-deflated.js"), text);
  EXPECT_EQ(ExtractOk(archive, "empty.txt"), Bytes());
  EXPECT_EQ(ExtractOk(archive, "enc-empty.txt"), Bytes());
  EXPECT_EQ(ExtractOk(archive, "enc-tiny.txt"), ToBytes("x"));
}

// The web view's workers extract from one archive at once: each thread needs scratch memory of
// its own for decryption and inflation (sizes on both sides of the kept-scratch limit).
TEST(ZipArchive, ThreadsExtractAtOnce) {
  const Bytes small = fixtures::SampleText(30000);
  const Bytes large = fixtures::SampleText(3 * 1024 * 1024);
  const Bytes noise = fixtures::NoiseBytes(1500000);
  const Bytes zip = BuildZip({
      Encrypted(Deflated("small.js", small), kPassword),
      Encrypted(Deflated("large.js", large), kPassword),
      Encrypted(Stored("noise.bin", noise), kPassword),
  });
  const TZipArchive archive = Open(zip);
  const std::vector<std::pair<std::string, const Bytes*>> entries = {
      {"small.js", &small}, {"large.js", &large}, {"noise.bin", &noise}};
  std::atomic<int> wrong = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 6; ++round) {
        const auto& [name, expected] = entries[static_cast<std::size_t>(t + round) % 3];
        Bytes out;
        if (archive.Extract(archive.FindFile(name), out) != ExtractResult::Ok || out != *expected) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ZipArchive, ExtractToStreamAppendsAtTheEnd) {
  const Bytes zip =
      BuildZip({Encrypted(Deflated("app/index.html", ToBytes("<p>hi</p>")), kPassword)});
  TZipArchive archive = Open(zip);
  Bytes target = ToBytes("head:");
  archive.ExtractToStream("app/index.html", target);
  EXPECT_EQ(target, ToBytes("head:<p>hi</p>"));
  archive.ExtractToStream("missing.html", target);
  EXPECT_EQ(target, ToBytes("head:<p>hi</p>"));
}

// A data descriptor entry (general-purpose bit 3) carries its check byte in the time's high
// byte, because its writer did not know the CRC when it wrote the header.
TEST(ZipArchive, CheckByteFollowsTheDataDescriptorFlag) {
  RawEntry streamed = Stored("streamed.txt", ToBytes("streamed content"));
  streamed.Flags = 8;
  streamed.ModTime = 0xAB00;
  ASSERT_NE(streamed.ModTime >> 8, streamed.Crc32 >> 24);
  const Bytes zip = BuildZip({Encrypted(streamed, kPassword)});
  TZipArchive archive = Open(zip);
  EXPECT_EQ(ExtractOk(archive, "streamed.txt"), ToBytes("streamed content"));
}

TEST(ZipArchive, PasswordChangeAppliesToLaterExtractions) {
  const Bytes zip = BuildZip({Encrypted(Stored("a", ToBytes("abc")), kPassword)});
  TZipArchive archive = Open(zip, "wrong");
  Bytes out;
  EXPECT_EQ(archive.Extract(0, out), ExtractResult::WrongPassword);
  archive.Password(kPassword);
  EXPECT_EQ(archive.Extract(0, out), ExtractResult::Ok);
  EXPECT_EQ(out, ToBytes("abc"));
}

TEST(ZipArchive, FindFileIgnoresOnlyAsciiLetterCase) {
  const Bytes zip = BuildZip({
      Stored("app/index.html", ToBytes("1")),
      Stored("app\\other.html", ToBytes("2")),
      Stored("/root.html", ToBytes("3")),
      Stored("caf\xC3\xA9.txt", ToBytes("4")),
  });
  const TZipArchive archive = Open(zip);
  struct Case {
    std::string name;
    int index;
  } cases[] = {
      {"app/index.html", 0},
      {"App/Index.HTML", 0},
      {"APP/INDEX.HTML", 0},
      {"app\\index.html", -1},
      {"/app/index.html", -1},
      {"app/index.htm", -1},
      {"app/index.html ", -1},
      {"app/other.html", -1},
      {"APP\\OTHER.HTML", 1},
      {"root.html", -1},
      {"/ROOT.html", 2},
      {"CAF\xC3\xA9.TXT", 3},
      {"caf\xC3\x89.txt", -1},  // É does not match é
      {"", -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(archive.FindFile(c.name), c.index) << c.name;
}

TEST(ZipArchive, FirstOfTwoEqualNamesWins) {
  const Bytes zip =
      BuildZip({Stored("Same.txt", ToBytes("first")), Stored("same.TXT", ToBytes("second"))});
  TZipArchive archive = Open(zip);
  EXPECT_EQ(archive.FindFile("SAME.txt"), 0);
  EXPECT_EQ(ExtractOk(archive, "same.txt"), ToBytes("first"));
}

Bytes UnicodePathExtra(std::string_view rawName, std::string_view utf8,
                       std::uint32_t crcDelta = 0) {
  Bytes extra;
  fixtures::Put16(extra, 0x7075);
  fixtures::Put16(extra, static_cast<std::uint32_t>(5 + utf8.size()));
  extra.push_back(1);
  fixtures::Put32(extra, fixtures::Crc(ToBytes(rawName)) + crcDelta);
  extra.insert(extra.end(), utf8.begin(), utf8.end());
  return extra;
}

TEST(ZipArchive, DecodesNamesByFlagContentAndUnicodePath) {
  struct Case {
    const char* what;
    std::string raw;
    std::uint16_t flags;
    Bytes extra;
    std::string decoded;
  } cases[] = {
      {"ascii", "dir/File.txt", 0, {}, "dir/File.txt"},
      {"flagged UTF-8", "r\xC3\xA9sum\xC3\xA9.txt", 0x800, {}, "r\xC3\xA9sum\xC3\xA9.txt"},
      {"unflagged valid UTF-8",
       "\xE6\x97\xA5\xE6\x9C\xAC.txt",
       0,
       {},
       "\xE6\x97\xA5\xE6\x9C\xAC.txt"},
      {"code page 437", "caf\x82.txt", 0, {}, "caf\xC3\xA9.txt"},
      {"code page 437 box", "\xC9\xCD\xBB", 0, {}, "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97"},
      {"Unicode Path", "caf\x82.txt", 0, UnicodePathExtra("caf\x82.txt", "caf\xC3\xA9-u.txt"),
       "caf\xC3\xA9-u.txt"},
      {"stale Unicode Path", "caf\x82.txt", 0, UnicodePathExtra("caf\x82.txt", "other.txt", 1),
       "caf\xC3\xA9.txt"},
      {"flag wins over Unicode Path", "a\xC3\xA9", 0x800, UnicodePathExtra("a\xC3\xA9", "zzz"),
       "a\xC3\xA9"},
  };
  for (const auto& c : cases) {
    RawEntry e = Stored(c.raw, ToBytes("x"));
    e.Flags = c.flags;
    e.CentralExtra = c.extra;
    const Bytes zip = BuildZip({e});
    TZipArchive archive = Open(zip);
    EXPECT_EQ(archive.Entry(0).Name, c.decoded) << c.what;
    EXPECT_EQ(archive.FindFile(c.decoded), 0) << c.what;
  }
}

TEST(ZipArchive, DetailedEntryInformation) {
  TZipWriter writer;
  writer.Password(kPassword);
  writer.AddDirectory("app");
  writer.AddFile("app/main.js", fixtures::SampleText(5000), ZipMethod::Deflate);
  writer.Finish();
  const Bytes zip = writer.TakeBytes();
  const TZipArchive archive = Open(zip);
  ASSERT_EQ(archive.EntryCount(), 2);
  const TZipEntry dir = archive.Entry(0);
  EXPECT_EQ(dir.Name, "app/");
  EXPECT_TRUE(dir.IsDirectory());
  EXPECT_FALSE(dir.Encrypted());
  const TZipEntry file = archive.Entry(1);
  EXPECT_EQ(file.Name, "app/main.js");
  EXPECT_EQ(file.Method, 8);
  EXPECT_TRUE(file.Encrypted());
  EXPECT_EQ(file.UncompressedSize, 5000u);
  EXPECT_EQ(file.Crc32, fixtures::Crc(fixtures::SampleText(5000)));
  EXPECT_LT(file.CompressedSize, 5000u);
  EXPECT_THROW((void)archive.Entry(2), std::out_of_range);
  EXPECT_THROW((void)archive.Entry(-1), std::out_of_range);
}

// Every damaged or unsupported entry fails with its own result, and the target keeps exactly the
// bytes it had. ExtractToStream says nothing and writes nothing; FindFile still finds the name.
TEST(ZipArchive, BadEntriesLeaveTheTargetUntouched) {
  const Bytes text = fixtures::SampleText(20000);
  const std::string name = "entry.bin";
  const std::size_t dataAt = 30 + name.size();  // data offset of the first entry
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    ExtractResult result;
  } cases[] = {
      {"wrong password",
       [&] { return BuildZip({Encrypted(Deflated(name, text), "another password")}); },
       ExtractResult::WrongPassword},
      {"stored byte flipped",
       [&] {
         Bytes b = BuildZip({Stored(name, text)});
         b[dataAt + 100] ^= 1;
         return b;
       },
       ExtractResult::CrcMismatch},
      {"encrypted stored byte flipped",
       [&] {
         Bytes b = BuildZip({Encrypted(Stored(name, text), kPassword)});
         b[dataAt + 5000] ^= 1;
         return b;
       },
       ExtractResult::CrcMismatch},
      {"CRC field wrong",
       [&] {
         RawEntry e = Deflated(name, text);
         e.Crc32 ^= 0x10;
         return BuildZip({e});
       },
       ExtractResult::CrcMismatch},
      {"deflate truncated",
       [&] {
         RawEntry e = Deflated(name, text);
         e.Data.resize(e.Data.size() / 2);
         e.CompressedSize = static_cast<std::uint32_t>(e.Data.size());
         return BuildZip({e});
       },
       ExtractResult::CorruptData},
      {"deflate garbage",
       [&] {
         RawEntry e = Deflated(name, text);
         e.Data.assign(e.Data.size(), 0xFF);
         return BuildZip({e});
       },
       ExtractResult::CorruptData},
      {"deflate yields more than declared",
       [&] {
         RawEntry e = Deflated(name, text);
         e.UncompressedSize -= 1;
         return BuildZip({e});
       },
       ExtractResult::CorruptData},
      {"deflate yields less than declared",
       [&] {
         RawEntry e = Deflated(name, text);
         e.UncompressedSize += 1;
         return BuildZip({e});
       },
       ExtractResult::CorruptData},
      {"stored sizes disagree",
       [&] {
         RawEntry e = Stored(name, text);
         e.UncompressedSize += 1;
         return BuildZip({e});
       },
       ExtractResult::CorruptData},
      {"declared size beyond any Deflate ratio",
       [&] {
         RawEntry e = Deflated(name, text);
         e.UncompressedSize = 0xFFFFFFF0;
         return BuildZip({e});
       },
       ExtractResult::TooLarge},
      {"encrypted entry shorter than its header",
       [&] {
         RawEntry e = Stored(name, {});
         e.Flags = 1;
         e.Data = {1, 2, 3, 4, 5};
         e.CompressedSize = 5;
         return BuildZip({e});
       },
       ExtractResult::BadEntry},
      {"compressed size runs into the directory",
       [&] {
         RawEntry e = Stored(name, text);
         e.CompressedSize += 10;
         return BuildZip({e});
       },
       ExtractResult::BadEntry},
      {"local header offset beyond the data",
       [&] {
         RawEntry e = Stored(name, text);
         e.OffsetOverride = 0x7FFFFF00;
         return BuildZip({e});
       },
       ExtractResult::BadEntry},
      {"local header offset inside the data",
       [&] {
         RawEntry e = Stored(name, text);
         e.OffsetOverride = 10;
         return BuildZip({e});
       },
       ExtractResult::BadEntry},
      {"local signature damaged",
       [&] {
         Bytes b = BuildZip({Stored(name, text)});
         b[1] = 'X';
         return b;
       },
       ExtractResult::BadEntry},
      {"local name length out of range",
       [&] {
         Bytes b = BuildZip({Stored(name, text)});
         fixtures::Set16(b, 26, 0xFFFF);
         return b;
       },
       ExtractResult::BadEntry},
      {"local extra length out of range",
       [&] {
         Bytes b = BuildZip({Stored(name, text)});
         fixtures::Set16(b, 28, 0x8000);
         return b;
       },
       ExtractResult::BadEntry},
      {"unsupported method",
       [&] {
         RawEntry e = Stored(name, text);
         e.Method = 12;
         return BuildZip({e});
       },
       ExtractResult::UnsupportedMethod},
      {"strong encryption",
       [&] {
         RawEntry e = Encrypted(Stored(name, text), kPassword);
         e.Flags |= 0x40;
         return BuildZip({e});
       },
       ExtractResult::UnsupportedMethod},
      {"newer format version",
       [&] {
         RawEntry e = Stored(name, text);
         e.VersionNeeded = 63;
         return BuildZip({e});
       },
       ExtractResult::UnsupportedVersion},
      {"Zip64 sizes",
       [&] {
         RawEntry e = Stored(name, text);
         e.CompressedSize = e.UncompressedSize = 0xFFFFFFFF;
         return BuildZip({e});
       },
       ExtractResult::UnsupportedVersion},
  };
  for (const auto& c : cases) {
    const Bytes zip = c.make();
    TZipArchive archive;
    archive.Password(kPassword);
    ASSERT_NO_THROW(archive.Stream(zip)) << c.what;
    ASSERT_EQ(archive.FindFile(name), 0) << c.what;
    Bytes target = ToBytes("existing bytes");
    target.reserve(target.size() + 3);
    EXPECT_EQ(archive.Extract(0, target), c.result) << c.what;
    EXPECT_EQ(target, ToBytes("existing bytes")) << c.what;
    archive.ExtractToStream(name, target);
    EXPECT_EQ(target, ToBytes("existing bytes")) << c.what;
    const std::uint32_t declared = archive.Entry(0).UncompressedSize;
    Bytes buffer(declared < 1000000 ? declared : 0);
    EXPECT_EQ(archive.ExtractTo(0, buffer), c.result) << c.what;
  }
}

// Entries whose data would overlap (the shape of a "zip bomb" that reuses one compressed stream
// many times) read as bad entries; the honest neighbours still extract.
TEST(ZipArchive, OverlappingEntriesAreRefused) {
  const Bytes text = fixtures::SampleText(30000);
  RawEntry first = Deflated("first.js", text);
  RawEntry alias = first;
  alias.Name = "alias.js";
  alias.WriteLocal = false;
  alias.OffsetOverride = 0;  // same local header as "first.js"
  RawEntry inside = Stored("inside.txt", ToBytes("abc"));
  inside.WriteLocal = false;
  inside.OffsetOverride = 40;  // starts inside the data of "first.js"
  const Bytes zip = BuildZip({first, alias, inside, Stored("last.txt", ToBytes("fine"))});
  TZipArchive archive = Open(zip);
  Bytes out;
  EXPECT_EQ(archive.Extract(archive.FindFile("first.js"), out), ExtractResult::BadEntry);
  EXPECT_EQ(archive.Extract(archive.FindFile("alias.js"), out), ExtractResult::BadEntry);
  EXPECT_EQ(archive.Extract(archive.FindFile("inside.txt"), out), ExtractResult::BadEntry);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(ExtractOk(archive, "last.txt"), ToBytes("fine"));
}

TEST(ZipArchive, ExtractToNeedsTheExactSize) {
  const Bytes zip = BuildZip({Deflated("a.txt", fixtures::SampleText(1000))});
  TZipArchive archive = Open(zip);
  for (const std::size_t size : {0u, 999u, 1001u}) {
    Bytes buffer(size);
    EXPECT_EQ(archive.ExtractTo(0, buffer), ExtractResult::WrongBufferSize) << size;
  }
}

TEST(ZipArchive, BadIndexAndClosedArchive) {
  TZipArchive archive;
  Bytes out;
  EXPECT_EQ(archive.FindFile("x"), -1);
  EXPECT_EQ(archive.Extract(0, out), ExtractResult::BadIndex);
  archive.ExtractToStream("x", out);
  EXPECT_TRUE(out.empty());
  const Bytes zip = BuildZip({Stored("x", ToBytes("1"))});
  archive.Stream(zip);
  EXPECT_EQ(archive.Extract(1, out), ExtractResult::BadIndex);
  EXPECT_EQ(archive.Extract(-1, out), ExtractResult::BadIndex);
  archive.Close();
  EXPECT_EQ(archive.FindFile("x"), -1);
}

}  // namespace
}  // namespace velloc::archive
