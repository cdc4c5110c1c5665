#include "package/ExeUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <span>
#include <system_error>

#include "platform/MappedFile.h"

namespace velloc::package {
namespace {

std::string Quoted(const std::filesystem::path& path) {
  // UTF-8: on Windows string() converts to the ANSI code page and throws on what it lacks.
  const std::u8string name = path.u8string();
  return "'" + std::string(name.begin(), name.end()) + "'";
}

[[noreturn]] void ThrowIo(const std::string& what, const std::filesystem::path& path, int err) {
  std::string message = what + " " + Quoted(path);
  if (err != 0) message += ": " + std::generic_category().message(err);
  throw ExeUtilsError(ExeErrorCode::Io, message);
}

[[noreturn]] void ThrowMalformed(const std::filesystem::path& path, const std::string& detail) {
  throw ExeUtilsError(ExeErrorCode::Malformed,
                      Quoted(path) + " is not a well-formed executable: " + detail);
}

std::uint64_t FileSize(const std::filesystem::path& path) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) ThrowIo("cannot read the size of", path, ec.value());
  return size;
}

void CheckSize(const std::filesystem::path& path, std::uint64_t size) {
  if (size >= kMaxExeFileSize) {
    throw ExeUtilsError(ExeErrorCode::TooLarge, Quoted(path) +
                                                    " is 4 GiB or larger, beyond what a packaged "
                                                    "executable can hold");
  }
}

// Reads header bytes at known-valid offsets of an executable file.
class HeaderReader {
 public:
  HeaderReader(const std::filesystem::path& path, std::uint64_t fileSize)
      : FPath(path), FFileSize(fileSize), FIn(path, std::ios::binary) {
    if (!FIn) ThrowIo("cannot open", path, errno);
  }

  // End of the extent [offset, offset + length); malformed when it leaves the file.
  std::uint64_t Extent(std::uint64_t offset, std::uint64_t length, const char* what) const {
    if (offset > FFileSize || length > FFileSize - offset) {
      ThrowMalformed(FPath, std::string(what) + " lies outside the file");
    }
    return offset + length;
  }

  std::vector<std::uint8_t> Read(std::uint64_t offset, std::uint64_t length, const char* what) {
    Extent(offset, length, what);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    FIn.clear();
    FIn.seekg(static_cast<std::streamoff>(offset));
    FIn.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (FIn.gcount() != static_cast<std::streamsize>(length)) {
      ThrowIo("cannot read the headers of", FPath, errno);
    }
    return bytes;
  }

  const std::filesystem::path& Path() const { return FPath; }

 private:
  const std::filesystem::path& FPath;
  std::uint64_t FFileSize;
  std::ifstream FIn;
};

// Unsigned field of `width` bytes at `offset` of a record that was read whole.
std::uint64_t Field(std::span<const std::uint8_t> record, std::size_t offset, std::size_t width,
                    bool bigEndian) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint8_t b = record[bigEndian ? offset + i : offset + width - 1 - i];
    value = (value << 8) | b;
  }
  return value;
}

constexpr std::uint32_t kShtNull = 0;
constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint32_t kPtNull = 0;
constexpr std::uint64_t kPnXnum = 0xFFFF;

// Field offsets and widths of the ELF records of one class.
struct ElfLayout {
  std::size_t HeaderSize, AddrWidth;
  std::size_t PhOff, ShOff, EhSize, PhEntSize, PhNum, ShEntSize, ShNum;
  std::size_t ShdrSize, ShType, ShOffset, ShSize, ShInfo;
  std::size_t PhdrSize, PType, POffset, PFileSz;
};
constexpr ElfLayout kElf32{52, 4, 28, 32, 40, 42, 44, 46, 48, 40, 4, 16, 20, 28, 32, 0, 4, 16};
constexpr ElfLayout kElf64{64, 8, 32, 40, 52, 54, 56, 58, 60, 64, 4, 24, 32, 44, 56, 0, 8, 32};

// The largest end of anything the image holds in the file: the ELF header, both header tables,
// every section that occupies file bytes and every segment.
std::uint64_t ElfImageEnd(HeaderReader& reader, std::span<const std::uint8_t> ident) {
  if (ident[4] != 1 && ident[4] != 2) ThrowMalformed(reader.Path(), "unknown ELF class");
  if (ident[5] != 1 && ident[5] != 2) ThrowMalformed(reader.Path(), "unknown ELF byte order");
  const ElfLayout& l = ident[4] == 1 ? kElf32 : kElf64;
  const bool big = ident[5] == 2;
  const auto eh = reader.Read(0, l.HeaderSize, "the ELF header");
  const auto f = [&](std::span<const std::uint8_t> rec, std::size_t off, std::size_t width) {
    return Field(rec, off, width, big);
  };

  std::uint64_t end = std::max<std::uint64_t>(l.HeaderSize, f(eh, l.EhSize, 2));
  reader.Extent(0, end, "the ELF header");
  const std::uint64_t phOff = f(eh, l.PhOff, l.AddrWidth);
  const std::uint64_t shOff = f(eh, l.ShOff, l.AddrWidth);
  const std::uint64_t phEntSize = f(eh, l.PhEntSize, 2);
  const std::uint64_t shEntSize = f(eh, l.ShEntSize, 2);
  std::uint64_t phNum = f(eh, l.PhNum, 2);
  std::uint64_t shNum = f(eh, l.ShNum, 2);

  if (shOff != 0) {
    if (shEntSize < l.ShdrSize) ThrowMalformed(reader.Path(), "section header entries too small");
    // Extended numbering: counts that do not fit the header live in section 0.
    if (shNum == 0 || phNum == kPnXnum) {
      const auto first = reader.Read(shOff, l.ShdrSize, "the section header table");
      if (shNum == 0) shNum = f(first, l.ShSize, l.AddrWidth);
      if (phNum == kPnXnum) phNum = f(first, l.ShInfo, 4);
    }
    if (shNum > kMaxExeFileSize) ThrowMalformed(reader.Path(), "too many sections");
    const auto table = reader.Read(shOff, shNum * shEntSize, "the section header table");
    end = std::max(end, shOff + table.size());
    for (std::uint64_t i = 0; i < shNum; ++i) {
      const auto rec =
          std::span(table).subspan(static_cast<std::size_t>(i * shEntSize), l.ShdrSize);
      const auto type = f(rec, l.ShType, 4);
      if (type == kShtNull || type == kShtNobits) continue;
      end = std::max(end, reader.Extent(f(rec, l.ShOffset, l.AddrWidth),
                                        f(rec, l.ShSize, l.AddrWidth), "a section"));
    }
  }
  if (phOff != 0 && phNum != 0) {
    if (phEntSize < l.PhdrSize) ThrowMalformed(reader.Path(), "program header entries too small");
    const auto table = reader.Read(phOff, phNum * phEntSize, "the program header table");
    end = std::max(end, phOff + table.size());
    for (std::uint64_t i = 0; i < phNum; ++i) {
      const auto rec =
          std::span(table).subspan(static_cast<std::size_t>(i * phEntSize), l.PhdrSize);
      if (f(rec, l.PType, 4) == kPtNull) continue;
      end = std::max(end, reader.Extent(f(rec, l.POffset, l.AddrWidth),
                                        f(rec, l.PFileSz, l.AddrWidth), "a segment"));
    }
  }
  return end;
}

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kSecurityDirectory = 4;

// The image end (the largest PointerToRawData + SizeOfRawData over the section table; 0
// without sections) and the certificate table, whose security directory entry holds a file
// offset, not an address.
void InspectPe(HeaderReader& reader, ExeImageInfo& info) {
  const auto dos = reader.Read(0, 0x40, "the MS-DOS header");
  const std::uint64_t peOffset = Field(dos, 0x3C, 4, false);
  const auto coff = reader.Read(peOffset, 24, "the PE header");
  if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) {
    ThrowMalformed(reader.Path(), "no PE signature");
  }
  const std::uint64_t sections = Field(coff, 4 + 2, 2, false);
  const std::uint64_t optionalSize = Field(coff, 4 + 16, 2, false);
  const std::uint64_t optionalOffset = peOffset + 4 + 20;
  const std::uint64_t tableOffset = optionalOffset + optionalSize;
  const auto table = reader.Read(tableOffset, sections * 40, "the section table");
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < sections; ++i) {
    const auto rec = std::span(table).subspan(i * 40, 40);
    end = std::max(end, reader.Extent(Field(rec, 20, 4, false), Field(rec, 16, 4, false),
                                      "a section's raw data"));
  }
  info.ImageEnd = end;

  // The data directories follow the optional header's fixed part, whose size depends on the
  // magic; a header too short to hold the security entry has none.
  if (optionalSize < 2) return;
  const auto optional = reader.Read(optionalOffset, optionalSize, "the optional header");
  const std::uint64_t magic = Field(optional, 0, 2, false);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return;
  const std::size_t countAt = magic == kPe32PlusMagic ? 108 : 92;
  const std::size_t directories = countAt + 4;
  const std::size_t entryAt = directories + kSecurityDirectory * 8;
  if (optionalSize < entryAt + 8 || Field(optional, countAt, 4, false) <= kSecurityDirectory) {
    return;
  }
  const std::uint64_t certOffset = Field(optional, entryAt, 4, false);
  const std::uint64_t certSize = Field(optional, entryAt + 4, 4, false);
  // An empty entry (some tools leave the offset when they remove a signature) is no table.
  if (certSize == 0) return;
  // The table comes after everything it signs: it cannot begin inside the image.
  if (certOffset < end) {
    ThrowMalformed(reader.Path(), "the certificate table lies inside the image");
  }
  reader.Extent(certOffset, certSize, "the certificate table");
  info.PackageEnd = certOffset;
  info.SignatureSize = certSize;
}

}  // namespace

ExeImageInfo TExeUtils::InspectImage(const std::filesystem::path& exePath) {
  const std::uint64_t size = FileSize(exePath);
  CheckSize(exePath, size);
  HeaderReader reader(exePath, size);
  const auto magic = reader.Read(0, std::min<std::uint64_t>(size, 16), "the file's magic");
  if (magic.size() >= 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' &&
      magic[3] == 'F') {
    if (magic.size() < 6) ThrowMalformed(exePath, "the ELF header lies outside the file");
    const ExeFormat format = magic[4] == 1 ? ExeFormat::Elf32 : ExeFormat::Elf64;
    return {format, size, ElfImageEnd(reader, magic), size};
  }
  if (magic.size() >= 2 && magic[0] == 'M' && magic[1] == 'Z') {
    ExeImageInfo info{ExeFormat::Pe, size, 0};
    InspectPe(reader, info);
    return info;
  }
  throw ExeUtilsError(ExeErrorCode::UnknownFormat,
                      Quoted(exePath) + " is neither an ELF nor a PE executable");
}

template <typename Sink>
void TExeUtils::CopyChunks(std::istream& in, std::uint64_t length, Sink&& sink) const {
  if (FOnProgressMax) FOnProgressMax(static_cast<std::int64_t>(length));
  std::vector<char> buffer(kCopyChunkSize);
  std::uint64_t copied = 0;
  while (copied < length) {
    const auto want =
        static_cast<std::streamsize>(std::min<std::uint64_t>(kCopyChunkSize, length - copied));
    in.read(buffer.data(), want);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    sink(buffer.data(), static_cast<std::size_t>(got));
    copied += static_cast<std::uint64_t>(got);
    if (FOnProgressPos) FOnProgressPos(static_cast<std::int64_t>(copied));
  }
  // The source shrank while it was copied; a short copy would pass for a whole one.
  if (copied < length) {
    throw ExeUtilsError(ExeErrorCode::Io, "the source ended after " + std::to_string(copied) +
                                              " of " + std::to_string(length) + " bytes");
  }
}

bool TExeUtils::ExeHasAttachedStub() const {
  try {
    return InspectImage(FExePath).AttachedLength() > 0;
  } catch (const ExeUtilsError&) {
    return false;
  }
}

namespace {

// The attached region of `exePath`, positioned for reading; NoPackage when it is empty.
std::ifstream OpenAttached(const std::filesystem::path& exePath, std::uint64_t& length) {
  const ExeImageInfo info = TExeUtils::InspectImage(exePath);
  length = info.AttachedLength();
  if (length == 0) {
    throw ExeUtilsError(ExeErrorCode::NoPackage,
                        "no application package is attached to " + Quoted(exePath));
  }
  std::ifstream in(exePath, std::ios::binary);
  if (!in) ThrowIo("cannot open", exePath, errno);
  in.seekg(static_cast<std::streamoff>(info.ImageEnd));
  return in;
}

}  // namespace

void TExeUtils::GetZipFromExe(std::vector<std::uint8_t>& memoryStream) const {
  std::uint64_t length = 0;
  std::ifstream in = OpenAttached(FExePath, length);
  memoryStream.clear();
  try {
    memoryStream.reserve(static_cast<std::size_t>(length));
    CopyChunks(in, length, [&](const char* data, std::size_t size) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
      memoryStream.insert(memoryStream.end(), bytes, bytes + size);
    });
  } catch (...) {
    memoryStream.clear();
    throw;
  }
}

std::shared_ptr<const platform::TMappedFile> TExeUtils::MapZipFromExe() const {
  const ExeImageInfo info = InspectImage(FExePath);
  if (info.AttachedLength() == 0) {
    throw ExeUtilsError(ExeErrorCode::NoPackage,
                        "no application package is attached to " + Quoted(FExePath));
  }
  try {
    return platform::TMappedFile::Open(FExePath, info.ImageEnd, info.AttachedLength());
  } catch (const platform::EMappingError& error) {
    throw ExeUtilsError(ExeErrorCode::Io, error.what());
  }
}

void TExeUtils::ExtractZipFromExe(const std::filesystem::path& zipPath) const {
  std::uint64_t length = 0;
  std::ifstream in = OpenAttached(FExePath, length);
  std::ofstream out(zipPath, std::ios::binary | std::ios::trunc);
  if (!out) ThrowIo("cannot create", zipPath, errno);
  try {
    CopyChunks(in, length, [&](const char* data, std::size_t size) {
      if (!out.write(data, static_cast<std::streamsize>(size)))
        ThrowIo("cannot write", zipPath, errno);
    });
    out.close();
    if (!out) ThrowIo("cannot write", zipPath, errno);
  } catch (...) {
    out.close();
    std::error_code ignored;
    std::filesystem::remove(zipPath, ignored);
    throw;
  }
}

void TExeUtils::AppendZipToExe(const std::filesystem::path& zipPath,
                               const std::filesystem::path& exePath) const {
  const std::uint64_t zipSize = FileSize(zipPath);
  const std::uint64_t exeSize = FileSize(exePath);
  if (exeSize + zipSize >= kMaxExeFileSize) {
    throw ExeUtilsError(ExeErrorCode::TooLarge,
                        "appending " + Quoted(zipPath) + " would make " + Quoted(exePath) +
                            " 4 GiB or larger, beyond what a packaged executable can hold");
  }
  std::ifstream in(zipPath, std::ios::binary);
  if (!in) ThrowIo("cannot open", zipPath, errno);
  // Append mode writes at the end whatever the position; the file exists (its size was read).
  std::ofstream out(exePath, std::ios::binary | std::ios::app);
  if (!out) ThrowIo("cannot open for writing", exePath, errno);
  CopyChunks(in, zipSize, [&](const char* data, std::size_t size) {
    if (!out.write(data, static_cast<std::streamsize>(size)))
      ThrowIo("cannot write", exePath, errno);
  });
  out.close();
  if (!out) ThrowIo("cannot write", exePath, errno);
}

void RemovePeSignature(std::vector<std::uint8_t>& exe, std::uint64_t imageEnd) {
  const auto field = [&](std::uint64_t at, std::size_t width) -> std::uint64_t {
    if (at > exe.size() || width > exe.size() - at) {
      throw ExeUtilsError(ExeErrorCode::Malformed, "the PE headers lie outside the file");
    }
    return Field(std::span<const std::uint8_t>(exe), static_cast<std::size_t>(at), width, false);
  };
  const std::uint64_t optional = field(0x3C, 4) + 4 + 20;
  const std::uint64_t magic = field(optional, 2);
  const std::uint64_t countAt = optional + (magic == kPe32PlusMagic ? 108 : 92);
  if ((magic != kPe32Magic && magic != kPe32PlusMagic) || field(countAt, 4) <= kSecurityDirectory) {
    throw ExeUtilsError(ExeErrorCode::Malformed, "the PE image has no security directory");
  }
  const std::uint64_t entry = countAt + 4 + kSecurityDirectory * 8;
  field(entry, 8);
  if (imageEnd > exe.size()) {
    throw ExeUtilsError(ExeErrorCode::Malformed, "the image ends beyond the file");
  }
  std::fill_n(exe.begin() + static_cast<std::ptrdiff_t>(entry), 8, std::uint8_t{0});
  exe.resize(static_cast<std::size_t>(imageEnd));
}

}  // namespace velloc::package
