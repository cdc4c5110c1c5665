#include "archive/ZipArchive.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <libdeflate.h>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <numeric>
#include <random>
#include <stdexcept>
#include <utility>

#include "archive/ZipFormat.h"
#include "core/Text.h"

namespace velloc::archive {

using namespace format;

namespace {

// Deflate cannot expand a byte of input into more than about 1032 bytes of output (a 258-byte
// match coded in two bits), so a larger declared size is a lie that must not size a buffer.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Stored entries are checked and copied in pieces small enough to stay in the CPU cache.
constexpr std::size_t kChunkSize = 64 * 1024;

// Scratch memory kept between extractions; larger buffers are freed after use.
constexpr std::size_t kKeptScratchSize = 1024 * 1024;

// Extraction changes nothing in the archive, so the web view's worker threads extract at once:
// each thread keeps its own decompressor and scratch memory.
struct TThreadScratch {
  struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> Decompressor;
  std::unique_ptr<std::uint8_t[]> Buffer;
  std::size_t Size = 0;
};
thread_local TThreadScratch tScratch;

std::uint8_t* Scratch(std::size_t size) {
  if (tScratch.Size < size) {
    tScratch.Buffer.reset();
    tScratch.Buffer.reset(new std::uint8_t[size]);
    tScratch.Size = size;
  }
  return tScratch.Buffer.get();
}

void ReleaseScratch() {
  if (tScratch.Size > kKeptScratchSize) {
    tScratch.Buffer.reset();
    tScratch.Size = 0;
  }
}

libdeflate_decompressor* Decompressor() {
  if (!tScratch.Decompressor) {
    tScratch.Decompressor.reset(libdeflate_alloc_decompressor());
    if (!tScratch.Decompressor) throw std::bad_alloc();
  }
  return tScratch.Decompressor.get();
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return libdeflate_crc32(crc, data, size);
}

// The name index hashes with a per-process random start, so nobody can prepare an archive whose
// names all land in one probe chain and make opening quadratic.
std::uint32_t HashSeed() {
  static const std::uint32_t seed = std::random_device{}();
  return seed;
}

std::uint32_t HashFolded(std::string_view name) {
  std::uint32_t h = 2166136261u ^ HashSeed();  // FNV-1a
  for (const char c : name) {
    h ^= static_cast<std::uint8_t>(text::AsciiLower(c));
    h *= 16777619u;
  }
  return h;
}

ZipError DirectoryError(const std::string& what) {
  return ZipError(ZipErrorCode::BadCentralDirectory, "Bad ZIP central directory: " + what);
}

std::string_view AsChars(const std::uint8_t* p, std::size_t size) {
  return {reinterpret_cast<const char*>(p), size};
}

// The Info-ZIP Unicode Path extra field: version 1, the CRC-32 of the header's name, then the
// name in UTF-8. Used only when it still belongs to the header's name.
bool FindUnicodePath(std::span<const std::uint8_t> extra, std::string_view rawName,
                     std::string_view& utf8) {
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const std::uint16_t id = Read16(extra.data() + pos);
    const std::uint16_t size = Read16(extra.data() + pos + 2);
    pos += 4;
    if (size > extra.size() - pos) return false;
    if (id == kExtraUnicodePath && size >= 5 && extra[pos] == 1) {
      const std::uint32_t nameCrc = Read32(extra.data() + pos + 1);
      const auto* raw = reinterpret_cast<const std::uint8_t*>(rawName.data());
      const std::string_view candidate = AsChars(extra.data() + pos + 5, size - 5u);
      if (nameCrc == Crc32(0, raw, rawName.size()) && !candidate.empty() &&
          text::IsValidUtf8(candidate)) {
        utf8 = candidate;
        return true;
      }
      return false;
    }
    pos += size;
  }
  return false;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void AppendDecodedName(std::string& names, std::string_view raw, std::uint16_t flags,
                       std::span<const std::uint8_t> extra) {
  if ((flags & kFlagUtf8) != 0 || IsAscii(raw) || text::IsMultiByteUtf8(raw)) {
    names.append(raw);
    return;
  }
  std::string_view unicodePath;
  if (FindUnicodePath(extra, raw, unicodePath)) {
    names.append(unicodePath);
    return;
  }
  names.append(text::Cp437ToUtf8(raw));
}

std::uint64_t Read64(const std::uint8_t* p) {
  return Read32(p) | (std::uint64_t{Read32(p + 4)} << 32);
}

// Info-ZIP writes Zip64 end records whenever its input was a stream, even when every value fits
// the classic record. Such an archive is read through the classic record, provided the Zip64
// record says the same; anything else really needs Zip64.
bool Zip64RecordRepeats(std::span<const std::uint8_t> data, std::size_t locator,
                        std::uint16_t entryCount, std::uint32_t directorySize,
                        std::uint32_t directoryOffset) {
  if (entryCount == kZip64Marker16) return false;
  const std::uint64_t recordOffset = Read64(data.data() + locator + 8);
  if (recordOffset > locator || locator - recordOffset < kZip64EndOfDirectorySize) return false;
  const std::uint8_t* record = data.data() + recordOffset;
  return Read32(record) == kZip64EndOfDirectorySignature && Read64(record + 24) == entryCount &&
         Read64(record + 32) == entryCount && Read64(record + 40) == directorySize &&
         Read64(record + 48) == directoryOffset;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(libdeflate_crc32(0, bytes.data(), bytes.size()));
}

std::string_view ToString(ExtractResult result) {
  switch (result) {
    case ExtractResult::Ok:
      return "ok";
    case ExtractResult::BadIndex:
      return "no such entry";
    case ExtractResult::WrongPassword:
      return "wrong password";
    case ExtractResult::UnsupportedMethod:
      return "unsupported compression or encryption method";
    case ExtractResult::UnsupportedVersion:
      return "unsupported format version";
    case ExtractResult::BadEntry:
      return "damaged entry header or offsets";
    case ExtractResult::TooLarge:
      return "entry too large";
    case ExtractResult::CorruptData:
      return "corrupt data";
    case ExtractResult::CrcMismatch:
      return "CRC-32 mismatch";
    case ExtractResult::WrongBufferSize:
      return "buffer size differs from the entry size";
  }
  return "unknown";
}

struct TZipArchive::Directory {
  std::span<const std::uint8_t> Data;
  std::shared_ptr<const void> Owner;  // keeps Data alive, when given
  std::vector<IndexedEntry> Entries;
  std::string Names;  // every decoded name, back to back
  std::vector<Slot> Index;
  std::uint32_t IndexMask = 0;

  // The checkpoint index, read on first use by whichever thread asks first.
  mutable std::once_flag CheckpointsRead;
  mutable std::uint32_t CheckpointInterval = 0;
  mutable std::vector<TEntryCheckpoints> Checkpoints;
  mutable std::map<std::uint32_t, std::size_t> CheckpointsByOffset;
};

TZipArchive::TZipArchive() = default;
TZipArchive::~TZipArchive() = default;

TZipArchive::TZipArchive(TZipArchive&& other) noexcept
    : FDir(other.FDir.exchange(nullptr)), FCipherStart(other.FCipherStart) {}

TZipArchive& TZipArchive::operator=(TZipArchive&& other) noexcept {
  if (this != &other) {
    FDir.store(other.FDir.exchange(nullptr));
    FCipherStart = other.FCipherStart;
  }
  return *this;
}

void TZipArchive::Password(std::string_view password) {
  FCipherStart = PkwareCipher(password);
}

bool TZipArchive::IsOpen() const {
  return Dir() != nullptr;
}

void TZipArchive::Close() {
  FDir.store(nullptr);
}

std::shared_ptr<const TZipArchive> TZipArchive::Snapshot() const {
  auto copy = std::make_shared<TZipArchive>();
  copy->FDir.store(Dir());
  copy->FCipherStart = FCipherStart;
  return copy;
}

void TZipArchive::Stream(std::span<const std::uint8_t> data) {
  Stream(data, nullptr);
}

void TZipArchive::Stream(std::span<const std::uint8_t> data, std::shared_ptr<const void> owner) {
  Close();
  const std::size_t size = data.size();
  const std::uint8_t* base = data.data();

  // The end record is the last 22 bytes plus a comment of up to 64 KiB; search backwards.
  if (size < kEndOfDirectorySize) {
    throw ZipError(ZipErrorCode::NotZip, "Not a ZIP archive: the data is too short.");
  }
  std::size_t eocd = std::numeric_limits<std::size_t>::max();
  const std::size_t lowest = size > kEndOfDirectorySize + kMaxCommentSize
                                 ? size - kEndOfDirectorySize - kMaxCommentSize
                                 : 0;
  for (std::size_t pos = size - kEndOfDirectorySize + 1; pos-- > lowest;) {
    if (base[pos] == 0x50 && Read32(base + pos) == kEndOfDirectorySignature &&
        pos + kEndOfDirectorySize + Read16(base + pos + 20) <= size) {
      eocd = pos;
      break;
    }
  }
  if (eocd == std::numeric_limits<std::size_t>::max()) {
    throw ZipError(ZipErrorCode::NotZip, "Not a ZIP archive: no end of central directory record.");
  }

  const std::uint8_t* end = base + eocd;
  const std::uint16_t disk = Read16(end + 4);
  const std::uint16_t directoryDisk = Read16(end + 6);
  const std::uint16_t entriesOnDisk = Read16(end + 8);
  const std::uint16_t entryCount = Read16(end + 10);
  const std::uint32_t directorySize = Read32(end + 12);
  const std::uint32_t directoryOffset = Read32(end + 16);

  if (eocd >= kZip64LocatorSize && Read32(end - kZip64LocatorSize) == kZip64LocatorSignature &&
      !Zip64RecordRepeats(data, eocd - kZip64LocatorSize, entryCount, directorySize,
                          directoryOffset)) {
    throw ZipError(ZipErrorCode::Zip64NotSupported,
                   "Unsupported ZIP archive: it needs Zip64 records.");
  }
  if (directorySize == kZip64Marker32 || directoryOffset == kZip64Marker32) {
    throw ZipError(ZipErrorCode::Zip64NotSupported,
                   "Unsupported ZIP archive: its directory needs Zip64 values.");
  }
  if (disk != 0 || directoryDisk != 0 || entriesOnDisk != entryCount) {
    throw ZipError(ZipErrorCode::MultiDisk, "Unsupported ZIP archive: it is split over disks.");
  }
  if (std::uint64_t{directoryOffset} + directorySize > eocd) {
    throw DirectoryError("the directory lies outside the data.");
  }
  if (std::uint64_t{entryCount} * kCentralHeaderSize > directorySize) {
    throw DirectoryError("it claims more entries than it can hold.");
  }

  auto dir = std::make_shared<Directory>();
  std::vector<IndexedEntry>& entries = dir->Entries;
  std::string& names = dir->Names;
  entries.reserve(entryCount);
  names.reserve(directorySize);

  std::size_t pos = directoryOffset;
  const std::size_t directoryEnd = std::size_t{directoryOffset} + directorySize;
  for (std::uint32_t i = 0; i < entryCount; ++i) {
    const auto recordError = [i](const char* what) {
      return DirectoryError("record " + std::to_string(i + 1u) + what);
    };
    if (directoryEnd - pos < kCentralHeaderSize) throw recordError(" is truncated.");
    const std::uint8_t* rec = base + pos;
    if (Read32(rec) != kCentralHeaderSignature) throw recordError(" has no signature.");
    const std::size_t nameSize = Read16(rec + 28);
    const std::size_t extraSize = Read16(rec + 30);
    const std::size_t commentSize = Read16(rec + 32);
    const std::size_t recordSize = kCentralHeaderSize + nameSize + extraSize + commentSize;
    if (directoryEnd - pos < recordSize) throw recordError(" runs past the directory.");

    IndexedEntry e;
    TZipEntry& info = e.Info;
    info.MadeBy = Read16(rec + 4);
    info.VersionNeeded = Read16(rec + 6);
    info.Flags = Read16(rec + 8);
    info.Method = Read16(rec + 10);
    info.ModTime = Read16(rec + 12);
    info.ModDate = Read16(rec + 14);
    info.Crc32 = Read32(rec + 16);
    info.CompressedSize = Read32(rec + 20);
    info.UncompressedSize = Read32(rec + 24);
    info.ExternalAttributes = Read32(rec + 38);
    info.LocalHeaderOffset = Read32(rec + 42);

    const std::string_view rawName = AsChars(rec + kCentralHeaderSize, nameSize);
    const std::span<const std::uint8_t> extra(rec + kCentralHeaderSize + nameSize, extraSize);
    e.NameOffset = static_cast<std::uint32_t>(names.size());
    AppendDecodedName(names, rawName, info.Flags, extra);
    e.NameSize = static_cast<std::uint32_t>(names.size() - e.NameOffset);

    if ((info.VersionNeeded & 0xFFu) > kVersionSupported || info.CompressedSize == kZip64Marker32 ||
        info.UncompressedSize == kZip64Marker32 || info.LocalHeaderOffset == kZip64Marker32) {
      e.Problem = ExtractResult::UnsupportedVersion;
    } else if ((info.Method != kMethodStored && info.Method != kMethodDeflate) ||
               (info.Flags & kFlagStrongEncryption) != 0) {
      e.Problem = ExtractResult::UnsupportedMethod;
    } else if (std::uint64_t{info.LocalHeaderOffset} + kLocalHeaderSize > directoryOffset) {
      e.Problem = ExtractResult::BadEntry;
    }
    entries.push_back(e);
    pos += recordSize;
  }

  // Each entry owns the bytes from its local header up to the next entry's local header (or the
  // directory). Entries that share a start overlap by construction and are refused, so no byte
  // of the archive can be expanded twice.
  std::vector<std::uint32_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0u);
  const auto byOffset = [&](std::uint32_t a, std::uint32_t b) {
    return entries[a].Info.LocalHeaderOffset < entries[b].Info.LocalHeaderOffset;
  };
  if (!std::is_sorted(order.begin(), order.end(), byOffset)) {
    std::sort(order.begin(), order.end(), byOffset);
  }
  std::uint64_t limit = directoryOffset;
  for (std::size_t k = order.size(); k-- > 0;) {
    IndexedEntry& e = entries[order[k]];
    const std::uint32_t offset = e.Info.LocalHeaderOffset;
    const bool sharesStart =
        (k + 1 < order.size() && entries[order[k + 1]].Info.LocalHeaderOffset == offset) ||
        (k > 0 && entries[order[k - 1]].Info.LocalHeaderOffset == offset);
    if (sharesStart && e.Problem == ExtractResult::Ok) e.Problem = ExtractResult::BadEntry;
    e.Limit = std::min<std::uint64_t>(limit, directoryOffset);
    if (offset < limit) limit = offset;
  }

  // Open-addressing index over folded names, at most half full.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, entries.size() * 2));
  std::vector<Slot>& index = dir->Index;
  index.resize(capacity);
  const auto mask = static_cast<std::uint32_t>(capacity - 1);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view name(names.data() + entries[i].NameOffset, entries[i].NameSize);
    const std::uint32_t hash = HashFolded(name);
    std::uint32_t slot = hash & mask;
    bool duplicate = false;
    while (index[slot].Index >= 0) {
      const IndexedEntry& other = entries[static_cast<std::size_t>(index[slot].Index)];
      if (index[slot].Hash == hash &&
          text::AsciiEqualsIgnoreCase(
              name, std::string_view(names.data() + other.NameOffset, other.NameSize))) {
        duplicate = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (!duplicate) index[slot] = Slot{hash, static_cast<std::int32_t>(i)};
  }

  dir->Data = data;
  dir->Owner = std::move(owner);
  dir->IndexMask = mask;
  FDir.store(std::move(dir));
}

std::string_view TZipArchive::NameOf(const Directory& dir, const IndexedEntry& entry) {
  return {dir.Names.data() + entry.NameOffset, entry.NameSize};
}

int TZipArchive::FindIn(const Directory& dir, std::string_view name) {
  if (dir.Index.empty()) return -1;
  const std::uint32_t hash = HashFolded(name);
  for (std::uint32_t slot = hash & dir.IndexMask;; slot = (slot + 1) & dir.IndexMask) {
    const Slot& s = dir.Index[slot];
    if (s.Index < 0) return -1;
    if (s.Hash == hash && text::AsciiEqualsIgnoreCase(
                              name, NameOf(dir, dir.Entries[static_cast<std::size_t>(s.Index)]))) {
      return s.Index;
    }
  }
}

int TZipArchive::FindFile(std::string_view name) const {
  const std::shared_ptr<const Directory> dir = Dir();
  return dir ? FindIn(*dir, name) : -1;
}

int TZipArchive::EntryCount() const {
  const std::shared_ptr<const Directory> dir = Dir();
  return dir ? static_cast<int>(dir->Entries.size()) : 0;
}

TZipEntry TZipArchive::Entry(int index) const {
  const std::shared_ptr<const Directory> dir = Dir();
  if (!dir || index < 0 || static_cast<std::size_t>(index) >= dir->Entries.size()) {
    throw std::out_of_range("ZIP entry index out of range");
  }
  const IndexedEntry& e = dir->Entries[static_cast<std::size_t>(index)];
  TZipEntry info = e.Info;
  info.Name = NameOf(*dir, e);
  return info;
}

void TZipArchive::ExtractToStream(std::string_view name, std::vector<std::uint8_t>& target) const {
  // One directory for the lookup and the extraction.
  const std::shared_ptr<const TZipArchive> package = Snapshot();
  const int index = package->FindFile(name);
  if (index >= 0) (void)package->Extract(index, target);
}

ExtractResult TZipArchive::Extract(int index, std::vector<std::uint8_t>& out) const {
  const std::shared_ptr<const Directory> dir = Dir();
  return dir ? ExtractFrom(*dir, index, out) : ExtractResult::BadIndex;
}

ExtractResult TZipArchive::ExtractFrom(const Directory& dir, int index,
                                       std::vector<std::uint8_t>& out) const {
  if (index < 0 || static_cast<std::size_t>(index) >= dir.Entries.size()) {
    return ExtractResult::BadIndex;
  }
  const IndexedEntry& entry = dir.Entries[static_cast<std::size_t>(index)];
  const std::size_t oldSize = out.size();
  ExtractResult result;
  try {
    Source source;
    result = Prepare(dir, entry, source);
    if (result == ExtractResult::Ok) {
      if (entry.Info.Method == kMethodStored) {
        result = AppendStored(entry.Info, source, out);
      } else {
        out.resize(oldSize + entry.Info.UncompressedSize);
        result = DecodeInto(entry.Info, source, out.data() + oldSize);
      }
    }
  } catch (const std::bad_alloc&) {
    result = ExtractResult::TooLarge;
  } catch (const std::length_error&) {
    result = ExtractResult::TooLarge;
  }
  // Commit only verified bytes: whatever a failed attempt appended goes again.
  if (result != ExtractResult::Ok) out.resize(oldSize);
  ReleaseScratch();
  return result;
}

ExtractResult TZipArchive::Check(int index) const {
  const std::shared_ptr<const Directory> dir = Dir();
  if (!dir || index < 0 || static_cast<std::size_t>(index) >= dir->Entries.size()) {
    return ExtractResult::BadIndex;
  }
  Source source;
  return Prepare(*dir, dir->Entries[static_cast<std::size_t>(index)], source);
}

ExtractResult TZipArchive::ExtractTo(int index, std::span<std::uint8_t> buffer) const {
  const std::shared_ptr<const Directory> dir = Dir();
  if (!dir || index < 0 || static_cast<std::size_t>(index) >= dir->Entries.size()) {
    return ExtractResult::BadIndex;
  }
  const IndexedEntry& entry = dir->Entries[static_cast<std::size_t>(index)];
  ExtractResult result;
  try {
    Source source;
    result = Prepare(*dir, entry, source);
    if (result == ExtractResult::Ok && buffer.size() != entry.Info.UncompressedSize) {
      result = ExtractResult::WrongBufferSize;
    }
    if (result == ExtractResult::Ok) result = DecodeInto(entry.Info, source, buffer.data());
  } catch (const std::bad_alloc&) {
    result = ExtractResult::TooLarge;
  }
  ReleaseScratch();
  return result;
}

ExtractResult TZipArchive::Prepare(const Directory& dir, const IndexedEntry& entry,
                                   Source& source) const {
  if (entry.Problem != ExtractResult::Ok) return entry.Problem;
  const TZipEntry& info = entry.Info;

  // Local header: only its name and extra lengths matter; sizes come from the directory,
  // which is also right for entries written with a data descriptor.
  const std::uint64_t offset = info.LocalHeaderOffset;
  const std::uint8_t* local = dir.Data.data() + offset;
  if (Read32(local) != kLocalHeaderSignature) return ExtractResult::BadEntry;
  const std::uint64_t dataStart =
      offset + kLocalHeaderSize + Read16(local + 26) + Read16(local + 28);
  if (dataStart > entry.Limit || entry.Limit - dataStart < info.CompressedSize) {
    return ExtractResult::BadEntry;
  }
  source.Payload = std::span<const std::uint8_t>(dir.Data.data() + dataStart, info.CompressedSize);
  source.Cipher = FCipherStart;

  // The password is checked before any output exists.
  if (info.Encrypted()) {
    if (source.Payload.size() < kPkwareHeaderSize) return ExtractResult::BadEntry;
    const std::uint8_t check =
        source.Cipher.DecryptHeader(source.Payload.first<kPkwareHeaderSize>());
    const auto expected = static_cast<std::uint8_t>(
        (info.Flags & kFlagDataDescriptor) != 0 ? info.ModTime >> 8 : info.Crc32 >> 24);
    if (check != expected) return ExtractResult::WrongPassword;
    source.Payload = source.Payload.subspan(kPkwareHeaderSize);
  }

  if (info.Method == kMethodStored) {
    if (source.Payload.size() != info.UncompressedSize) return ExtractResult::CorruptData;
  } else if (info.UncompressedSize > source.Payload.size() * kMaxDeflateRatio) {
    return ExtractResult::TooLarge;
  }
  return ExtractResult::Ok;
}

// Stored entries are checked and appended piece by piece while each piece is in the cache; a
// vector grown by insert needs no zero-filling first.
ExtractResult TZipArchive::AppendStored(const TZipEntry& info, Source& source,
                                        std::vector<std::uint8_t>& out) {
  const std::span<const std::uint8_t> payload = source.Payload;
  out.reserve(out.size() + payload.size());
  std::uint8_t* plain = info.Encrypted() ? Scratch(std::min(kChunkSize, payload.size())) : nullptr;
  std::uint32_t crc = 0;
  for (std::size_t done = 0; done < payload.size();) {
    const std::size_t n = std::min(kChunkSize, payload.size() - done);
    const std::uint8_t* chunk = payload.data() + done;
    if (plain != nullptr) {
      source.Cipher.Decrypt(chunk, plain, n);
      chunk = plain;
    }
    crc = Crc32(crc, chunk, n);
    out.insert(out.end(), chunk, chunk + n);
    done += n;
  }
  return crc == info.Crc32 ? ExtractResult::Ok : ExtractResult::CrcMismatch;
}

ExtractResult TZipArchive::DecodeInto(const TZipEntry& info, Source& source, std::uint8_t* dest) {
  const std::span<const std::uint8_t> payload = source.Payload;
  const std::size_t size = info.UncompressedSize;
  std::uint32_t crc = 0;
  if (info.Method == kMethodStored) {
    for (std::size_t done = 0; done < size; done += kChunkSize) {
      const std::size_t n = std::min(kChunkSize, size - done);
      if (info.Encrypted()) {
        source.Cipher.Decrypt(payload.data() + done, dest + done, n);
      } else {
        std::memcpy(dest + done, payload.data() + done, n);
      }
      crc = Crc32(crc, dest + done, n);
    }
    return crc == info.Crc32 ? ExtractResult::Ok : ExtractResult::CrcMismatch;
  }

  const std::uint8_t* compressed = payload.data();
  if (info.Encrypted()) {
    std::uint8_t* plain = Scratch(payload.size());
    source.Cipher.Decrypt(payload.data(), plain, payload.size());
    compressed = plain;
  }
  // With no "actual size" pointer libdeflate insists on exactly `size` bytes of output, so a
  // stream longer or shorter than the directory says is corrupt.
  const libdeflate_result r = libdeflate_deflate_decompress(Decompressor(), compressed,
                                                            payload.size(), dest, size, nullptr);
  if (r != LIBDEFLATE_SUCCESS) return ExtractResult::CorruptData;
  crc = Crc32(0, dest, size);
  return crc == info.Crc32 ? ExtractResult::Ok : ExtractResult::CrcMismatch;
}

const TEntryCheckpoints* TZipArchive::CheckpointsOf(const Directory& dir,
                                                    const TZipArchive& archive, int index,
                                                    std::uint32_t& interval) {
  std::call_once(dir.CheckpointsRead, [&] {
    // A damaged index (its CRC-32, its form) is left unread, and an entry it does not match is
    // not covered: such entries are read whole.
    const int at = FindIn(dir, kCheckpointEntry);
    std::vector<std::uint8_t> bytes;
    if (at < 0 ||
        dir.Entries[static_cast<std::size_t>(at)].Info.UncompressedSize > kMaxCheckpointIndexSize ||
        archive.ExtractFrom(dir, at, bytes) != ExtractResult::Ok) {
      return;
    }
    std::optional<TCheckpointIndex> parsed = ReadCheckpointIndex(bytes);
    if (!parsed) return;
    dir.CheckpointInterval = parsed->Interval;
    dir.Checkpoints = std::move(parsed->Entries);
    for (std::size_t i = 0; i < dir.Checkpoints.size(); ++i)
      dir.CheckpointsByOffset.emplace(dir.Checkpoints[i].LocalHeaderOffset, i);
  });
  if (index < 0 || static_cast<std::size_t>(index) >= dir.Entries.size()) return nullptr;
  const IndexedEntry& entry = dir.Entries[static_cast<std::size_t>(index)];
  const TZipEntry& info = entry.Info;
  const auto found = dir.CheckpointsByOffset.find(info.LocalHeaderOffset);
  if (found == dir.CheckpointsByOffset.end() || entry.Problem != ExtractResult::Ok ||
      info.Method != kMethodStored) {
    return nullptr;
  }
  const TEntryCheckpoints& checkpoints = dir.Checkpoints[found->second];
  if (checkpoints.Crc32 != info.Crc32 || checkpoints.Size != info.UncompressedSize) return nullptr;
  interval = dir.CheckpointInterval;
  return &checkpoints;
}

bool TZipArchive::HasCheckpoints(int index) const {
  const std::shared_ptr<const Directory> dir = Dir();
  std::uint32_t interval = 0;
  return dir && CheckpointsOf(*dir, *this, index, interval) != nullptr;
}

std::unique_ptr<TEntryReader> TZipArchive::OpenEntry(int index) const {
  std::shared_ptr<const TZipArchive> package = Snapshot();
  const std::shared_ptr<const Directory> dir = package->Dir();
  if (!dir || index < 0 || static_cast<std::size_t>(index) >= dir->Entries.size()) return nullptr;
  return std::unique_ptr<TEntryReader>(new TEntryReader(std::move(package), index));
}

// ---- Reading parts of an entry ---------------------------------------------------------------

TEntryReader::TEntryReader(std::shared_ptr<const TZipArchive> archive, int index)
    : FArchive(std::move(archive)), FIndex(index), FInfo(FArchive->Entry(index)) {
  const auto dir = FArchive->Dir();
  const auto& entry = dir->Entries[static_cast<std::size_t>(index)];
  std::uint32_t interval = 0;
  const TEntryCheckpoints* checkpoints =
      TZipArchive::CheckpointsOf(*dir, *FArchive, index, interval);
  TZipArchive::Source source;
  // The encryption header is checked once; each interval then starts from its checkpoint.
  if (checkpoints && FArchive->Prepare(*dir, entry, source) == ExtractResult::Ok) {
    FCheckpoints = checkpoints;
    FInterval = interval;
    FPayload = source.Payload;
  }
}

TEntryReader::~TEntryReader() = default;

TEntryReader::Block* TEntryReader::Cached(std::uint64_t number) {
  for (Block& block : FBlocks) {
    if (block.Number == number) return &block;
  }
  return nullptr;
}

TEntryReader::Block& TEntryReader::LeastRecentlyUsed(const Block* besides) {
  Block* oldest = nullptr;
  for (Block& block : FBlocks) {
    if (&block != besides && (!oldest || block.LastUse < oldest->LastUse)) oldest = &block;
  }
  return *oldest;
}

TEntryReader::Block* TEntryReader::Load(std::uint64_t number) {
  const auto sizeOf = [this](std::uint64_t n) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(FInterval, Size() - n * FInterval));
  };
  const bool withNext = (number + 1) * FInterval < Size() && !Cached(number + 1);
  Block& block = LeastRecentlyUsed(nullptr);
  block.Number = ~std::uint64_t{0};
  Block* next = nullptr;
  if (withNext) {
    next = &LeastRecentlyUsed(&block);
    next->Number = ~std::uint64_t{0};
  }
  for (Block* b : {&block, next}) {
    if (b && !b->Bytes) b->Bytes.reset(new std::uint8_t[FInterval]);
  }
  const std::uint8_t* in = FPayload.data() + number * FInterval;
  const std::size_t size = sizeOf(number);
  const std::size_t nextSize = withNext ? sizeOf(number + 1) : 0;
  const auto& intervals = FCheckpoints->Intervals;
  if (FInfo.Encrypted()) {
    PkwareCipher cipher(intervals[static_cast<std::size_t>(number)].Keys);
    if (next) {
      PkwareCipher nextCipher(intervals[static_cast<std::size_t>(number + 1)].Keys);
      PkwareCipher::DecryptTwo(cipher, in, block.Bytes.get(), size, nextCipher, in + FInterval,
                               next->Bytes.get(), nextSize);
    } else {
      cipher.Decrypt(in, block.Bytes.get(), size);
    }
  } else {
    std::memcpy(block.Bytes.get(), in, size);
    if (next) std::memcpy(next->Bytes.get(), in + FInterval, nextSize);
  }
  const auto sound = [&](const Block& b, std::uint64_t n, std::size_t bytes) {
    return static_cast<std::uint32_t>(libdeflate_crc32(0, b.Bytes.get(), bytes)) ==
           intervals[static_cast<std::size_t>(n)].Crc32;
  };
  if (!sound(block, number, size)) return nullptr;
  block.Number = number;
  // A next interval that fails is only left out: reading it will find it wrong itself.
  if (next && sound(*next, number + 1, nextSize)) {
    next->Number = number + 1;
    next->LastUse = ++FUses;
  }
  return &block;
}

ExtractResult TEntryReader::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > Size() || out.size() > Size() - offset) return ExtractResult::BadIndex;
  try {
    while (FCheckpoints && !out.empty()) {
      const std::uint64_t number = offset / FInterval;
      Block* block = Cached(number);
      if (!block) block = Load(number);
      if (!block) {
        // The checkpoints are wrong (or the data is damaged): trust them no further.
        FCheckpoints = nullptr;
        for (Block& b : FBlocks)
          b = {};
        break;
      }
      block->LastUse = ++FUses;
      const std::uint64_t inBlock = offset - number * FInterval;
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(
          out.size(), std::min<std::uint64_t>(FInterval, Size() - number * FInterval) - inBlock));
      std::memcpy(out.data(), block->Bytes.get() + inBlock, n);
      out = out.subspan(n);
      offset += n;
    }
    if (out.empty()) return ExtractResult::Ok;
    // Extracted once; a failure is kept too, so that a player's next read does not pay for
    // another whole attempt.
    if (!FHaveWhole) {
      FWholeResult = FArchive->Extract(FIndex, FWhole);
      FHaveWhole = true;
    }
    if (FWholeResult != ExtractResult::Ok) return FWholeResult;
    std::memcpy(out.data(), FWhole.data() + offset, out.size());
    return ExtractResult::Ok;
  } catch (const std::bad_alloc&) {
    return ExtractResult::TooLarge;
  }
}

}  // namespace velloc::archive
