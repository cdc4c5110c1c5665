// Writes packages: a ZIP archive of stored and Deflate entries, optionally under the traditional
// PKWARE encryption, that TZipArchive and every unzip tool can read. No data descriptors and no
// Zip64: the writer refuses what would not fit the 32-bit format instead of writing it wrongly.
// Stored files are read from disk in pieces, so a large media file costs no more memory than a
// small one; large stored entries can get a checkpoint index for random access (Checkpoints.h).
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Checkpoints.h"
#include "archive/ZipError.h"

struct libdeflate_compressor;

namespace velloc::archive {

enum class ZipMethod { Stored, Deflate };

// True for names whose content is already compressed (images, fonts in compressed formats,
// audio and video, archives), which Deflate would only slow down. Letter case is ignored.
bool ShouldStore(std::string_view name);

// Called with the number of input bytes consumed so far (file contents, not ZIP overhead).
using ZipProgress = std::function<void(std::uint64_t bytesDone)>;

class TZipWriter {
 public:
  // Writes into memory; take the bytes with TakeBytes() after Finish().
  TZipWriter();
  // Creates or truncates the file. Throws ZipError (WriteFailed) when it cannot be created.
  // A writer destroyed before Finish() leaves an incomplete file; the caller removes it.
  explicit TZipWriter(const std::filesystem::path& path);
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Entries added afterwards are encrypted under this password; empty means not encrypted.
  void Password(std::string_view password);
  // libdeflate level, 1 (fastest) to 12 (smallest); default 6.
  void DeflateLevel(int level);
  void OnProgress(ZipProgress callback);
  // Stored entries of at least `threshold` bytes added afterwards get a checkpoint every
  // `interval` bytes; Finish writes the index as the entry kCheckpointEntry. 0 turns it off
  // (the default).
  void Checkpoints(std::uint32_t interval, std::uint64_t threshold = kDefaultCheckpointThreshold);
  // Finish lengthens the archive's comment so that `precedingBytes` plus the archive's size is a
  // multiple of `multiple`: a Windows executable then needs no padding before a signature.
  void AlignEnd(std::uint64_t precedingBytes, std::uint32_t multiple);

  // Adds a file entry. `name` is UTF-8 with "/" between folders; non-ASCII names get the UTF-8
  // flag. Deflate falls back to stored when it would not make the entry smaller. `modified` of
  // 0 means the time the writer was created. Throws ZipError: InvalidName, TooLarge (the entry
  // or the package would need Zip64), WriteFailed, InvalidState (after Finish).
  void AddFile(std::string_view name, std::span<const std::uint8_t> data, ZipMethod method,
               std::time_t modified = 0);
  // Reads `source` and adds it with its modification time; a stored file is read in pieces,
  // twice (its CRC-32 goes in front of it). Throws ZipError (WriteFailed) when the source
  // cannot be read or changes size meanwhile.
  void AddFileFromDisk(std::string_view name, const std::filesystem::path& source,
                       ZipMethod method);
  // Adds a folder entry; a trailing "/" is added when missing.
  void AddDirectory(std::string_view name, std::time_t modified = 0);

  // Writes the central directory and the end record, and closes the file.
  void Finish();

  // The archive written into memory (empty for a file writer).
  std::vector<std::uint8_t> TakeBytes();

  int EntryCount() const { return static_cast<int>(FEntryCount); }
  std::uint64_t BytesWritten() const { return FOffset; }

 private:
  // Fills its argument with the body's next bytes.
  using TBodyReader = std::function<void(std::span<std::uint8_t> piece)>;

  void CheckOpen() const;
  void CheckName(std::string_view name) const;
  void Write(const std::uint8_t* data, std::size_t size);
  void AddEntry(std::string_view name, std::span<const std::uint8_t> data, ZipMethod method,
                std::time_t modified, bool directory);
  // Writes one entry whose `size` bytes of body (already compressed when `deflated`) come from
  // `read`; `crc` and `plainSize` are of the uncompressed data.
  void WriteEntry(std::string_view name, std::uint64_t size, const TBodyReader& read, bool deflated,
                  std::uint32_t crc, std::uint64_t plainSize, std::time_t modified, bool directory);

  struct FileCloser {
    void operator()(std::FILE* f) const;
  };
  struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const;
  };

  std::unique_ptr<std::FILE, FileCloser> FFile;
  std::vector<std::uint8_t> FMemory;
  std::vector<std::uint8_t> FDirectory;  // central directory records, written by Finish
  std::uint64_t FOffset = 0;
  std::uint32_t FEntryCount = 0;
  std::uint64_t FInputDone = 0;
  std::string FPassword;
  int FLevel = 6;
  std::unique_ptr<libdeflate_compressor, CompressorDeleter> FCompressor;
  ZipProgress FOnProgress;
  std::time_t FCreated = 0;
  bool FFinished = false;
  std::uint32_t FCheckpointInterval = 0;
  std::uint64_t FCheckpointThreshold = kDefaultCheckpointThreshold;
  TCheckpointIndex FCheckpoints;
  std::uint64_t FAlignPreceding = 0;
  std::uint32_t FAlignMultiple = 1;
};

}  // namespace velloc::archive
