#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "package/ExeUtils.h"
#include "platform/MappedFile.h"

namespace velloc::package {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- Synthetic images -------------------------------------------------------------------

void Put(Bytes& b, std::uint64_t offset, std::uint64_t value, std::size_t width, bool big) {
  for (std::size_t i = 0; i < width; ++i) {
    const auto shift = 8 * (big ? width - 1 - i : i);
    b.at(offset + i) = static_cast<std::uint8_t>(value >> shift);
  }
}

struct Extent {
  std::uint32_t Type;
  std::uint64_t Offset, Size;
};

struct ElfSpec {
  bool Is64 = true;
  bool Big = false;
  std::uint64_t FileSize = 4096;
  std::uint64_t PhOff = 0, ShOff = 0;
  std::vector<Extent> Segments, Sections;      // Sections[0] is written as given (usually SHT_NULL)
  std::uint64_t PhEntSize = 0, ShEntSize = 0;  // 0: the standard size
  std::uint64_t PhNum = ~0ull, ShNum = ~0ull;  // ~0: the number of entries given
};

// An ELF file with the given header tables; everything else is zero.
Bytes MakeElf(const ElfSpec& s) {
  Bytes b(s.FileSize);
  const bool w = s.Is64;
  const std::size_t a = w ? 8 : 4;
  b[0] = 0x7F, b[1] = 'E', b[2] = 'L', b[3] = 'F', b[4] = w ? 2 : 1, b[5] = s.Big ? 2 : 1;
  const std::uint64_t phEnt = s.PhEntSize ? s.PhEntSize : (w ? 56 : 32);
  const std::uint64_t shEnt = s.ShEntSize ? s.ShEntSize : (w ? 64 : 40);
  const std::uint64_t phNum = s.PhNum != ~0ull ? s.PhNum : s.Segments.size();
  const std::uint64_t shNum = s.ShNum != ~0ull ? s.ShNum : s.Sections.size();
  Put(b, w ? 32 : 28, s.PhOff, a, s.Big);
  Put(b, w ? 40 : 32, s.ShOff, a, s.Big);
  Put(b, w ? 52 : 40, w ? 64 : 52, 2, s.Big);
  Put(b, w ? 54 : 42, phEnt, 2, s.Big);
  Put(b, w ? 56 : 44, phNum, 2, s.Big);
  Put(b, w ? 58 : 46, shEnt, 2, s.Big);
  Put(b, w ? 60 : 48, shNum, 2, s.Big);
  for (std::size_t i = 0; i < s.Segments.size(); ++i) {
    const auto base = s.PhOff + i * phEnt;
    Put(b, base, s.Segments[i].Type, 4, s.Big);
    Put(b, base + (w ? 8 : 4), s.Segments[i].Offset, a, s.Big);
    Put(b, base + (w ? 32 : 16), s.Segments[i].Size, a, s.Big);
  }
  for (std::size_t i = 0; i < s.Sections.size(); ++i) {
    const auto base = s.ShOff + i * shEnt;
    Put(b, base + 4, s.Sections[i].Type, 4, s.Big);
    Put(b, base + (w ? 24 : 16), s.Sections[i].Offset, a, s.Big);
    Put(b, base + (w ? 32 : 20), s.Sections[i].Size, a, s.Big);
  }
  return b;
}

constexpr std::uint32_t kNull = 0, kProgbits = 1, kNobits = 8, kLoad = 1;

// A PE file: MS-DOS header, "PE\0\0", COFF header, optional header, section table.
Bytes MakePe(std::uint64_t fileSize, std::uint32_t peOffset, std::uint16_t optionalSize,
             const std::vector<std::pair<std::uint32_t, std::uint32_t>>& rawPtrAndSize) {
  Bytes b(fileSize);
  b[0] = 'M', b[1] = 'Z';
  Put(b, 0x3C, peOffset, 4, false);
  b.at(peOffset) = 'P', b.at(peOffset + 1) = 'E';
  Put(b, peOffset + 4 + 2, rawPtrAndSize.size(), 2, false);
  Put(b, peOffset + 4 + 16, optionalSize, 2, false);
  const std::uint64_t table = peOffset + 24u + optionalSize;
  for (std::size_t i = 0; i < rawPtrAndSize.size(); ++i) {
    Put(b, table + i * 40 + 16, rawPtrAndSize[i].second, 4, false);
    Put(b, table + i * 40 + 20, rawPtrAndSize[i].first, 4, false);
  }
  return b;
}

// A typical 64-bit executable: program headers after the ELF header, section headers last.
ElfSpec TypicalElf64() {
  ElfSpec s;
  s.FileSize = 1256;
  s.PhOff = 64;
  s.Segments = {{kLoad, 0, 300}, {kLoad, 300, 500}};
  s.ShOff = 1000;
  s.Sections = {{kNull, 0, 0}, {kProgbits, 300, 500}, {kNobits, 800, 100000}, {kProgbits, 900, 50}};
  return s;
}

// ---- Files ------------------------------------------------------------------------------

class ExeUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FDir = fs::path(::testing::TempDir()) /
           ("velloc-exeutils-" + std::to_string(getpid()) + "-" + info->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  fs::path Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = FDir / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // A bare runtime: a copy of a real ELF executable.
  fs::path CopyRealElf() {
    const fs::path path = FDir / "runtime";
    fs::copy_file("/bin/true", path);
    return path;
  }
  static Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
      b[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return b;
  }

  fs::path FDir;
};

ExeErrorCode ErrorOf(const fs::path& path) {
  try {
    TExeUtils::InspectImage(path);
  } catch (const ExeUtilsError& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
    return e.Code();
  }
  ADD_FAILURE() << "no error for " << path;
  return ExeErrorCode::Io;
}

// ---- Image end --------------------------------------------------------------------------

TEST_F(ExeUtilsTest, ImageEndOfSyntheticImages) {
  ElfSpec sectionDataLast = TypicalElf64();  // an unstripped layout: symbols after the table
  sectionDataLast.FileSize = 4000;
  sectionDataLast.Sections.push_back({2 /* SHT_SYMTAB */, 1300, 2700});
  ElfSpec segmentLast = TypicalElf64();
  segmentLast.FileSize = 3000;
  segmentLast.Segments.push_back({kLoad, 2000, 1000});
  ElfSpec headerOnly;
  headerOnly.FileSize = 64;
  ElfSpec elf32Big = TypicalElf64();
  elf32Big.Is64 = false;
  elf32Big.Big = true;
  elf32Big.PhOff = 52;
  elf32Big.FileSize = 1000 + 4 * 40;
  ElfSpec extended = TypicalElf64();  // section count kept in section 0
  extended.ShNum = 0;
  extended.Sections[0].Size = 4;
  ElfSpec wideEntries = TypicalElf64();
  wideEntries.ShEntSize = 80;
  wideEntries.FileSize = 1000 + 4 * 80;
  ElfSpec nullSegment = TypicalElf64();  // unused program header entries do not count
  nullSegment.Segments.push_back({kNull, 5000, 5000});

  struct Case {
    const char* name;
    Bytes image;
    ExeFormat format;
    std::uint64_t imageEnd;
  } cases[] = {
      {"ELF64 LE, section headers last", MakeElf(TypicalElf64()), ExeFormat::Elf64, 1256},
      {"ELF64, section data last", MakeElf(sectionDataLast), ExeFormat::Elf64, 4000},
      {"ELF64, segment last", MakeElf(segmentLast), ExeFormat::Elf64, 3000},
      {"ELF64, header only", MakeElf(headerOnly), ExeFormat::Elf64, 64},
      {"ELF32 BE", MakeElf(elf32Big), ExeFormat::Elf32, 1160},
      {"ELF64, extended section count", MakeElf(extended), ExeFormat::Elf64, 1256},
      {"ELF64, wide section entries", MakeElf(wideEntries), ExeFormat::Elf64, 1320},
      {"ELF64, unused program header", MakeElf(nullSegment), ExeFormat::Elf64, 1256},
      {"PE, three sections", MakePe(4096, 0x80, 240, {{0x400, 0x200}, {0x600, 0x800}, {0xE00, 0}}),
       ExeFormat::Pe, 0xE00},
      {"PE, no sections", MakePe(512, 0x80, 240, {}), ExeFormat::Pe, 0},
  };
  for (const auto& c : cases) {
    Bytes withPackage = c.image;
    withPackage.resize(c.image.size() + 37, 0xAB);
    const auto path = Write("image", withPackage);
    const ExeImageInfo info = TExeUtils::InspectImage(path);
    EXPECT_EQ(info.Format, c.format) << c.name;
    EXPECT_EQ(info.ImageEnd, c.imageEnd) << c.name;
    // Everything behind the image end is attached (for a PE without sections: the whole file).
    EXPECT_EQ(info.AttachedLength(), withPackage.size() - c.imageEnd) << c.name;
  }
}

TEST_F(ExeUtilsTest, MalformedOrUnknownImagesReportClearErrors) {
  auto patched = [](ElfSpec s, auto&& change) {
    change(s);
    return MakeElf(s);
  };
  Bytes badClass = MakeElf(TypicalElf64());
  badClass[4] = 3;
  Bytes noPeSignature = MakePe(1024, 0x80, 240, {{0x200, 0x100}});
  noPeSignature[0x80] = 'X';
  Bytes lfanewOutside = MakePe(1024, 0x80, 240, {});
  Put(lfanewOutside, 0x3C, 0xFFFFFFF0u, 4, false);
  Bytes peTableOutside = MakePe(0x80 + 24 + 240 + 30, 0x80, 240, {});
  Put(peTableOutside, 0x80 + 4 + 2, 1, 2, false);  // one section, but no room for its header
  Bytes elfTableCut = MakeElf(TypicalElf64());
  elfTableCut.resize(1200);  // the section header table ends at 1256
  Bytes elfTruncated = MakeElf(TypicalElf64());
  elfTruncated.resize(40);

  struct Case {
    const char* name;
    Bytes bytes;
    ExeErrorCode code;
  } cases[] = {
      {"empty file", {}, ExeErrorCode::UnknownFormat},
      {"script", {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}, ExeErrorCode::UnknownFormat},
      {"bare ELF magic", {0x7F, 'E', 'L', 'F'}, ExeErrorCode::Malformed},
      {"unknown ELF class", badClass, ExeErrorCode::Malformed},
      {"truncated ELF header", elfTruncated, ExeErrorCode::Malformed},
      {"section table outside", elfTableCut, ExeErrorCode::Malformed},
      {"section data outside",
       patched(TypicalElf64(),
               [](ElfSpec& s) {
                 s.Sections[3] = {kProgbits, 900, 5000};
               }),
       ExeErrorCode::Malformed},
      {"section offset overflows",
       patched(TypicalElf64(),
               [](ElfSpec& s) {
                 s.Sections[3] = {kProgbits, ~0ull - 8, 64};
               }),
       ExeErrorCode::Malformed},
      {"section entries too small", patched(TypicalElf64(), [](ElfSpec& s) { s.ShEntSize = 16; }),
       ExeErrorCode::Malformed},
      {"program table outside", patched(TypicalElf64(), [](ElfSpec& s) { s.PhNum = 1000; }),
       ExeErrorCode::Malformed},
      {"segment outside",
       patched(TypicalElf64(),
               [](ElfSpec& s) {
                 s.Segments[1] = {kLoad, 300, 1 << 20};
               }),
       ExeErrorCode::Malformed},
      {"extended count outside",
       patched(TypicalElf64(), [](ElfSpec& s) { s.ShNum = 0, s.Sections[0].Size = 1ull << 40; }),
       ExeErrorCode::Malformed},
      {"short MS-DOS header", {'M', 'Z', 0, 0}, ExeErrorCode::Malformed},
      {"e_lfanew outside", lfanewOutside, ExeErrorCode::Malformed},
      {"no PE signature", noPeSignature, ExeErrorCode::Malformed},
      {"PE section table outside", peTableOutside, ExeErrorCode::Malformed},
      {"PE raw data outside", MakePe(1024, 0x80, 240, {{0x200, 0x1000}}), ExeErrorCode::Malformed},
  };
  for (const auto& c : cases) {
    const auto path = Write("image", c.bytes);
    EXPECT_EQ(ErrorOf(path), c.code) << c.name;
    EXPECT_FALSE(TExeUtils(path).ExeHasAttachedStub()) << c.name;
  }
  EXPECT_EQ(ErrorOf(FDir / "missing"), ExeErrorCode::Io);
  EXPECT_FALSE(TExeUtils(FDir / "missing").ExeHasAttachedStub());
}

TEST_F(ExeUtilsTest, FilesOf4GiBAreRefused) {
  const auto path = Write("big", MakeElf(TypicalElf64()));
  fs::resize_file(path, kMaxExeFileSize);  // sparse: no disk space is used
  EXPECT_EQ(ErrorOf(path), ExeErrorCode::TooLarge);
  EXPECT_FALSE(TExeUtils(path).ExeHasAttachedStub());

  // Appending must not push an executable past the limit either, and leaves it untouched.
  fs::resize_file(path, kMaxExeFileSize - 10);
  const auto zip = Write("a.zip", Pattern(20, 1));
  try {
    TExeUtils(path).AppendZipToExe(zip, path);
    ADD_FAILURE() << "appended beyond 4 GiB";
  } catch (const ExeUtilsError& e) {
    EXPECT_EQ(e.Code(), ExeErrorCode::TooLarge);
  }
  EXPECT_EQ(fs::file_size(path), kMaxExeFileSize - 10);
}

#ifdef _WIN32
// This test's own executable, as the MinGW linker wrote it (symbol table included).
std::vector<fs::path> RealExecutables() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return {fs::path(path)};
}
constexpr ExeFormat kNativeFormat = ExeFormat::Pe;
#else
std::vector<fs::path> RealExecutables() {
  return {fs::path("/bin/true"), fs::path("/proc/self/exe")};
}
constexpr ExeFormat kNativeFormat = ExeFormat::Elf64;
#endif

TEST_F(ExeUtilsTest, RealExecutablesEndAtTheirImageEnd) {
  for (const fs::path& exe : RealExecutables()) {
    const ExeImageInfo info = TExeUtils::InspectImage(exe);
    EXPECT_EQ(info.Format, kNativeFormat) << exe;
    EXPECT_EQ(info.ImageEnd, info.FileSize) << exe;
    EXPECT_FALSE(TExeUtils(exe).ExeHasAttachedStub()) << exe;
  }
}

// ---- Attaching and reading back -----------------------------------------------------------

struct Progress {
  std::vector<std::int64_t> Max, Pos;
  void Attach(TExeUtils& utils) {
    utils.SetOnProgressMax([this](std::int64_t m) { Max.push_back(m); });
    utils.SetOnProgressPos([this](std::int64_t p) { Pos.push_back(p); });
  }
};

TEST_F(ExeUtilsTest, AppendedZipReadsBackByteIdenticalWithProgress) {
  const auto exe = CopyRealElf();
  const auto bareSize = fs::file_size(exe);
  const Bytes zipBytes = Pattern(25000, 3);
  const auto zip = Write("app.zip", zipBytes);

  TExeUtils writer(exe);
  Progress appendProgress;
  appendProgress.Attach(writer);
  writer.AppendZipToExe(zip, exe);
  EXPECT_EQ(appendProgress.Max, (std::vector<std::int64_t>{25000}));
  EXPECT_EQ(appendProgress.Pos, (std::vector<std::int64_t>{10240, 20480, 25000}));
  EXPECT_EQ(fs::file_size(exe), bareSize + 25000);

  TExeUtils reader(exe);
  EXPECT_TRUE(reader.ExeHasAttachedStub());
  EXPECT_EQ(TExeUtils::ImageEndOffset(exe), bareSize);
  EXPECT_EQ(TExeUtils::AttachedLength(exe), 25000u);

  Progress readProgress;
  readProgress.Attach(reader);
  Bytes memory(100, 0xEE);  // earlier content is replaced, not kept behind the package
  reader.GetZipFromExe(memory);
  EXPECT_EQ(memory, zipBytes);
  EXPECT_EQ(readProgress.Max, (std::vector<std::int64_t>{25000}));
  EXPECT_EQ(readProgress.Pos, (std::vector<std::int64_t>{10240, 20480, 25000}));

  const auto extracted = FDir / "out.zip";
  Write("out.zip", Pattern(30000, 9));  // an existing file is overwritten
  reader.ExtractZipFromExe(extracted);
  EXPECT_EQ(Read(extracted), zipBytes);

  // Mapped instead of copied: the same bytes, from an offset that is no page boundary.
  const std::shared_ptr<const platform::TMappedFile> mapped = reader.MapZipFromExe();
  EXPECT_EQ(Bytes(mapped->Bytes().begin(), mapped->Bytes().end()), zipBytes);
}

TEST_F(ExeUtilsTest, WorksWithoutProgressHandlers) {
  const auto exe = CopyRealElf();
  const auto zip = Write("app.zip", Pattern(kCopyChunkSize, 5));  // exactly one chunk
  TExeUtils utils(exe);
  utils.AppendZipToExe(zip, exe);
  Bytes memory;
  utils.GetZipFromExe(memory);
  EXPECT_EQ(memory, Read(zip));
}

TEST_F(ExeUtilsTest, BareExecutableHasNoPackage) {
  const auto exe = CopyRealElf();
  TExeUtils utils(exe);
  EXPECT_FALSE(utils.ExeHasAttachedStub());
  EXPECT_THROW(utils.MapZipFromExe(), ExeUtilsError);
  Bytes memory{1, 2, 3};
  try {
    utils.GetZipFromExe(memory);
    ADD_FAILURE() << "no error";
  } catch (const ExeUtilsError& e) {
    EXPECT_EQ(e.Code(), ExeErrorCode::NoPackage);
  }
  EXPECT_THROW(utils.ExtractZipFromExe(FDir / "out.zip"), ExeUtilsError);
  EXPECT_FALSE(fs::exists(FDir / "out.zip"));
}

TEST_F(ExeUtilsTest, OneExtraByteIsAOneBytePackage) {
  const auto exe = CopyRealElf();
  const auto zip = Write("one", {0x42});
  TExeUtils utils(exe);
  utils.AppendZipToExe(zip, exe);
  EXPECT_TRUE(utils.ExeHasAttachedStub());
  Bytes memory;
  utils.GetZipFromExe(memory);
  EXPECT_EQ(memory, (Bytes{0x42}));
}

TEST_F(ExeUtilsTest, AppendingTwiceHoldsBothArchives) {
  const auto exe = CopyRealElf();
  const Bytes first = Pattern(15000, 1), second = Pattern(7000, 2);
  TExeUtils utils(exe);
  utils.AppendZipToExe(Write("a.zip", first), exe);
  utils.AppendZipToExe(Write("b.zip", second), exe);
  Bytes memory;
  utils.GetZipFromExe(memory);
  Bytes both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(memory, both);
}

TEST_F(ExeUtilsTest, AppendingToASyntheticPeImage) {
  const auto exe = Write("runtime.exe", MakePe(0x1000, 0x80, 240, {{0x400, 0xC00}}));
  const Bytes zipBytes = Pattern(3000, 4);
  TExeUtils utils(exe);
  utils.AppendZipToExe(Write("app.zip", zipBytes), exe);
  Bytes memory;
  utils.GetZipFromExe(memory);
  EXPECT_EQ(memory, zipBytes);
}

// A PE32+ image whose optional header has the sixteen data directories; the security entry
// (number 4) names the certificate table by file offset and size.
Bytes MakeSignablePe() {
  Bytes b = MakePe(0x600, 0x80, 240, {{0x200, 0x400}});
  const std::uint64_t optional = 0x80 + 24;
  Put(b, optional, 0x20B, 2, false);
  Put(b, optional + 108, 16, 4, false);
  return b;
}

void SetSecurityDirectory(Bytes& exe, std::uint64_t offset, std::uint64_t size) {
  const std::uint64_t entry = 0x80 + 24 + 112 + 4 * 8;
  Put(exe, entry, offset, 4, false);
  Put(exe, entry + 4, size, 4, false);
}

// A signed executable: image, package, the padding a signer adds to reach a multiple of 8, then
// the certificate table, which is no part of the package.
TEST_F(ExeUtilsTest, TheCertificateTableOfASignedExecutableIsNoPartOfThePackage) {
  for (const std::size_t zipSize : {3000u, 3003u}) {
    const Bytes zipBytes = Pattern(zipSize, 6);
    Bytes exe = MakeSignablePe();
    exe.insert(exe.end(), zipBytes.begin(), zipBytes.end());
    while (exe.size() % 8 != 0)
      exe.push_back(0);
    const std::uint64_t table = exe.size();
    const Bytes certificates = Pattern(1500, 8);
    exe.insert(exe.end(), certificates.begin(), certificates.end());
    SetSecurityDirectory(exe, table, certificates.size());
    const auto path = Write("signed.exe", exe);

    const ExeImageInfo info = TExeUtils::InspectImage(path);
    EXPECT_TRUE(info.Signed());
    EXPECT_EQ(info.ImageEnd, 0x600u);
    EXPECT_EQ(info.PackageEnd, table);
    EXPECT_EQ(info.SignatureSize, certificates.size());
    TExeUtils utils(path);
    Bytes memory;
    utils.GetZipFromExe(memory);
    // The package and the signer's zero padding (which a ZIP reader passes over), no more.
    Bytes expected = zipBytes;
    expected.resize(table - 0x600, 0);
    EXPECT_EQ(memory, expected) << zipSize;
    const auto mapped = utils.MapZipFromExe();
    EXPECT_EQ(Bytes(mapped->Bytes().begin(), mapped->Bytes().end()), expected);

    // Unsigned again: the image alone, with an empty security directory.
    RemovePeSignature(exe, info.ImageEnd);
    const ExeImageInfo bare = TExeUtils::InspectImage(Write("bare.exe", exe));
    EXPECT_FALSE(bare.Signed());
    EXPECT_EQ(bare.AttachedLength(), 0u);
    EXPECT_EQ(exe.size(), 0x600u);
  }
}

TEST_F(ExeUtilsTest, ACertificateTableOutsideItsPlaceIsMalformed) {
  const struct {
    const char* What;
    std::uint64_t Offset, Size;
  } cases[] = {
      {"inside the image", 0x400, 16},
      {"beyond the end", 0x600, 0x1000},
  };
  for (const auto& c : cases) {
    Bytes exe = MakeSignablePe();
    exe.resize(0x700, 0);
    SetSecurityDirectory(exe, c.Offset, c.Size);
    const auto path = Write("odd.exe", exe);
    EXPECT_EQ(ErrorOf(path), ExeErrorCode::Malformed) << c.What;
    EXPECT_FALSE(TExeUtils(path).ExeHasAttachedStub()) << c.What;
  }
  // An empty entry that kept its offset is no table.
  Bytes emptied = MakeSignablePe();
  emptied.resize(0x700, 0);
  SetSecurityDirectory(emptied, 0x600, 0);
  EXPECT_EQ(TExeUtils::InspectImage(Write("emptied.exe", emptied)).AttachedLength(), 0x100u);
  // No security directory to empty.
  Bytes plain = MakePe(0x600, 0x80, 240, {{0x200, 0x400}});
  EXPECT_THROW(RemovePeSignature(plain, 0x600), ExeUtilsError);
}

TEST_F(ExeUtilsTest, MissingFilesAreIoErrors) {
  const auto exe = CopyRealElf();
  const auto zip = Write("app.zip", Pattern(10, 0));
  TExeUtils utils(exe);
  struct Case {
    const char* name;
    fs::path zip, exe;
  } cases[] = {
      {"missing ZIP", FDir / "missing.zip", exe},
      {"missing executable", zip, FDir / "missing-exe"},
  };
  for (const auto& c : cases) {
    try {
      utils.AppendZipToExe(c.zip, c.exe);
      ADD_FAILURE() << c.name;
    } catch (const ExeUtilsError& e) {
      EXPECT_EQ(e.Code(), ExeErrorCode::Io) << c.name;
      EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(fs::exists(FDir / "missing-exe"));
  EXPECT_EQ(fs::file_size(exe), fs::file_size("/bin/true"));

  // A target folder that does not exist.
  utils.AppendZipToExe(zip, exe);
  try {
    utils.ExtractZipFromExe(FDir / "no-such-dir" / "out.zip");
    ADD_FAILURE() << "extracted into a missing folder";
  } catch (const ExeUtilsError& e) {
    EXPECT_EQ(e.Code(), ExeErrorCode::Io);
  }
}

}  // namespace
}  // namespace velloc::package
