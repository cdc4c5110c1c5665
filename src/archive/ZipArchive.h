// The package archive object (`ExeZip`): a ZIP reader over memory it does not own, usually a
// read-only mapping of the executable.
//
// The central directory is read once when the archive is opened and kept, copied out of the
// data, as an index with O(1) lookup by name (ASCII letters folded). Entries are stored or
// Deflate, optionally under the traditional PKWARE encryption. Every extraction decompresses and
// verifies the CRC-32 before it counts: on any failure the target is left exactly as it was, and
// malformed data (offsets outside the data, impossible sizes, overlapping entries) reads as a
// failed entry, never as a crash or an unbounded allocation. Large stored entries are read in
// parts through TEntryReader, from the checkpoint index when the package has one.
//
// Opening again (a development package replaced while the app runs) never pulls the data from
// under an extraction on another thread: each call works on the directory it started with, and
// an owner handed to Stream keeps the old data alive until the last such call is done.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Checkpoints.h"
#include "archive/PkwareCrypto.h"
#include "archive/ZipError.h"

namespace velloc::archive {

enum class ExtractResult {
  Ok,
  BadIndex,            // no entry with that index
  WrongPassword,       // the encryption header's check byte does not match
  UnsupportedMethod,   // neither stored nor Deflate, or strong encryption
  UnsupportedVersion,  // needs a newer format version, or Zip64 values
  BadEntry,            // local header or data outside the entry's room in the archive
  TooLarge,            // declared size beyond what the data could produce, or out of memory
  CorruptData,         // Deflate data damaged, or sizes that disagree with the data
  CrcMismatch,         // the bytes do not match the stored CRC-32
  WrongBufferSize,     // ExtractTo: the buffer is not the entry's uncompressed size
};

std::string_view ToString(ExtractResult result);

// The CRC-32 of the ZIP format (the value TZipEntry::Crc32 holds for the entry's bytes).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// What the central directory says about one entry.
struct TZipEntry {
  std::string_view Name;  // decoded to UTF-8; valid while the archive stays open
  std::uint16_t MadeBy = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint16_t Flags = 0;    // general-purpose bits
  std::uint16_t Method = 0;   // 0 stored, 8 Deflate
  std::uint16_t ModTime = 0;  // MS-DOS time and date
  std::uint16_t ModDate = 0;
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;  // with the 12-byte encryption header when encrypted
  std::uint32_t UncompressedSize = 0;
  std::uint32_t ExternalAttributes = 0;  // Unix mode in the high 16 bits when made on Unix
  std::uint32_t LocalHeaderOffset = 0;

  bool Encrypted() const { return (Flags & 0x0001u) != 0; }
  bool IsDirectory() const { return !Name.empty() && Name.back() == '/'; }
};

class TEntryReader;

class TZipArchive {
 public:
  TZipArchive();
  ~TZipArchive();
  TZipArchive(const TZipArchive&) = delete;
  TZipArchive& operator=(const TZipArchive&) = delete;
  TZipArchive(TZipArchive&&) noexcept;
  TZipArchive& operator=(TZipArchive&&) noexcept;

  // The password for every encrypted entry. Set it before Stream; a later change applies to
  // the extractions that follow it.
  void Password(std::string_view password);

  // Opens the archive held in `data` and reads its central directory. The bytes are not copied
  // and must outlive the archive (or the next Stream). Throws ZipError when the data is not a
  // ZIP archive or its directory cannot be read; the archive is then closed.
  void Stream(std::span<const std::uint8_t> data);
  // The same over bytes that `owner` keeps alive (a mapping): the archive, its snapshots and
  // readers share it, so it lives as long as the last of them.
  void Stream(std::span<const std::uint8_t> data, std::shared_ptr<const void> owner);
  // A temporary buffer would be gone before the first extraction.
  void Stream(const std::vector<std::uint8_t>&& data) = delete;

  bool IsOpen() const;
  void Close();

  // A read-only copy of the archive as it is now, unaffected by a later Stream or Close: for a
  // sequence of calls (find, then extract) that must see one package.
  std::shared_ptr<const TZipArchive> Snapshot() const;

  // Index of the entry whose name equals `name` except for ASCII letter case, or -1. When two
  // entries match, the first in the directory wins.
  int FindFile(std::string_view name) const;

  // Appends the uncompressed bytes of the entry named `name` to `target`. Does nothing when the
  // name is missing or the entry cannot be extracted (the target keeps its size and bytes).
  void ExtractToStream(std::string_view name, std::vector<std::uint8_t>& target) const;

  // Detailed access for tools and tests.
  int EntryCount() const;
  TZipEntry Entry(int index) const;  // throws std::out_of_range

  // Whether the entry can be extracted as far as can be told without decoding it: its data lies
  // inside the archive, the password matches, and its declared size is one its data can
  // produce. Check this before allocating a buffer of Entry(index).UncompressedSize bytes.
  ExtractResult Check(int index) const;

  // Appends the entry's uncompressed bytes to `out` and returns Ok, or returns why not and
  // leaves `out` exactly as it was. Extracting changes nothing in the archive: several threads
  // may extract at once while nobody opens or closes it.
  ExtractResult Extract(int index, std::vector<std::uint8_t>& out) const;

  // Decodes the entry into a buffer of exactly Entry(index).UncompressedSize bytes (for example
  // a mapped output file), without the zero-filling a growing vector needs. When the result is
  // not Ok the buffer's content is unspecified and must be discarded.
  ExtractResult ExtractTo(int index, std::span<std::uint8_t> buffer) const;

  // True when parts of the entry can be read without reading what comes before them: a stored
  // entry that the package's checkpoint index covers (read on the first call).
  bool HasCheckpoints(int index) const;

  // A reader of the entry's bytes in parts; null for a bad index. It keeps this package alive.
  std::unique_ptr<TEntryReader> OpenEntry(int index) const;

 private:
  friend class TEntryReader;
  struct IndexedEntry {
    TZipEntry Info;  // Name is filled in by Entry()
    std::uint32_t NameOffset = 0;
    std::uint32_t NameSize = 0;
    std::uint64_t Limit = 0;  // the entry's local header and data must end here
    ExtractResult Problem = ExtractResult::Ok;
  };
  struct Slot {
    std::uint32_t Hash = 0;
    std::int32_t Index = -1;
  };

  // An entry's data located and, when encrypted, past its verified encryption header.
  struct Source {
    std::span<const std::uint8_t> Payload;
    PkwareCipher Cipher{""};
  };

  // Everything Stream reads, never changed afterwards; shared by snapshots and readers.
  struct Directory;

  static std::string_view NameOf(const Directory& dir, const IndexedEntry& entry);
  static int FindIn(const Directory& dir, std::string_view name);
  ExtractResult ExtractFrom(const Directory& dir, int index, std::vector<std::uint8_t>& out) const;
  ExtractResult Prepare(const Directory& dir, const IndexedEntry& entry, Source& source) const;
  static ExtractResult AppendStored(const TZipEntry& info, Source& source,
                                    std::vector<std::uint8_t>& out);
  static ExtractResult DecodeInto(const TZipEntry& info, Source& source, std::uint8_t* dest);
  // The entry's checkpoints from the package's index (read on the first call), or null.
  static const TEntryCheckpoints* CheckpointsOf(const Directory& dir, const TZipArchive& archive,
                                                int index, std::uint32_t& interval);

  // Loaded once per call: a Stream on another thread replaces it without disturbing the call.
  std::shared_ptr<const Directory> Dir() const { return FDir.load(); }

  std::atomic<std::shared_ptr<const Directory>> FDir;
  PkwareCipher FCipherStart{""};  // key state after the password
};

// Reads parts of one entry. A stored entry with checkpoints is decrypted an interval at a time,
// starting at the checkpoint in front of the part asked for, and each interval is checked
// against its CRC-32 before any of it is handed out. A miss decrypts the next interval too, in
// the same pass (PkwareCipher::DecryptTwo), since players read on; memory stays at four
// intervals. Any other entry, and one whose checkpoints prove wrong, is extracted whole on the
// first read (and its CRC-32 checked), as a whole request would. One thread at a time.
class TEntryReader {
 public:
  TEntryReader(const TEntryReader&) = delete;
  TEntryReader& operator=(const TEntryReader&) = delete;
  ~TEntryReader();

  std::uint64_t Size() const { return FInfo.UncompressedSize; }
  // Whether reads go through checkpoints (so far): false once the entry is held whole.
  bool UsesCheckpoints() const { return FCheckpoints != nullptr; }

  // Fills `out` with the bytes at `offset`; the range must lie inside the entry. Returns Ok, or
  // why not (the content of `out` is then unspecified).
  ExtractResult Read(std::uint64_t offset, std::span<std::uint8_t> out);

 private:
  friend class TZipArchive;
  TEntryReader(std::shared_ptr<const TZipArchive> archive, int index);

  struct Block {
    std::uint64_t Number = ~std::uint64_t{0};
    std::uint64_t LastUse = 0;
    std::unique_ptr<std::uint8_t[]> Bytes;
  };
  Block* Cached(std::uint64_t number);
  Block& LeastRecentlyUsed(const Block* besides);
  // Decrypts interval `number` (and the next, when there is one and it is not cached) into the
  // least recently used blocks; null when the interval fails its CRC-32.
  Block* Load(std::uint64_t number);

  std::shared_ptr<const TZipArchive> FArchive;
  int FIndex;
  TZipEntry FInfo;
  const TEntryCheckpoints* FCheckpoints = nullptr;
  std::uint32_t FInterval = 0;
  std::span<const std::uint8_t> FPayload;  // past the encryption header
  Block FBlocks[4];
  std::uint64_t FUses = 0;
  std::vector<std::uint8_t> FWhole;
  bool FHaveWhole = false;
  ExtractResult FWholeResult = ExtractResult::Ok;
};

}  // namespace velloc::archive
