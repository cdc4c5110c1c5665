#include "archive/ZipWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <libdeflate.h>
#include <limits>
#include <random>

#include "archive/PkwareCrypto.h"
#include "archive/ZipFormat.h"
#include "core/Crt.h"
#include "core/Text.h"

namespace velloc::archive {

using namespace format;

namespace {

constexpr std::uint16_t kMadeByUnix = (3u << 8) | 30u;  // Unix, APPNOTE 3.0
constexpr std::uint32_t kFileAttributes = 0100644u << 16;
constexpr std::uint32_t kDirectoryAttributes = (040755u << 16) | 0x10u;
constexpr std::size_t kWriteChunk = 1024 * 1024;

struct DosDateTime {
  std::uint16_t Time = 0;
  std::uint16_t Date = (1u << 5) | 1u;  // 1980-01-01
};

DosDateTime ToDos(std::time_t t) {
  std::tm local{};
  if (!crt::LocalTime(t, local) || local.tm_year < 80) return {};
  if (local.tm_year > 207) local.tm_year = 207;  // the last year MS-DOS dates hold
  DosDateTime d;
  d.Time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                      (std::min(local.tm_sec, 59) / 2));
  d.Date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                      local.tm_mday);
  return d;
}

std::string ErrnoText() {
  return std::strerror(errno);
}

}  // namespace

bool ShouldStore(std::string_view name) {
  static constexpr std::array<std::string_view, 46> kCompressed = {
      "png", "jpg", "jpeg", "gif",  "webp", "avif", "heic", "heif", "jxl", "jp2", "woff", "woff2",
      "mp3", "m4a", "aac",  "ogg",  "oga",  "opus", "flac", "wma",  "mp4", "m4v", "mov",  "webm",
      "mkv", "avi", "ogv",  "wmv",  "zip",  "gz",   "tgz",  "bz2",  "xz",  "7z",  "rar",  "zst",
      "br",  "lz4", "jar",  "docx", "xlsx", "pptx", "odt",  "epub", "pdf", "svgz"};
  const std::size_t slash = name.find_last_of('/');
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  const std::size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos || dot + 1 == base.size()) return false;
  const std::string_view ext = base.substr(dot + 1);
  return std::any_of(kCompressed.begin(), kCompressed.end(), [&](std::string_view known) {
    return text::AsciiEqualsIgnoreCase(ext, known);
  });
}

void TZipWriter::FileCloser::operator()(std::FILE* f) const {
  std::fclose(f);
}

void TZipWriter::CompressorDeleter::operator()(libdeflate_compressor* c) const {
  libdeflate_free_compressor(c);
}

TZipWriter::TZipWriter() : FCreated(std::time(nullptr)) {}

TZipWriter::TZipWriter(const std::filesystem::path& path) : FCreated(std::time(nullptr)) {
  FFile.reset(crt::OpenFile(path, "wb"));
  if (!FFile) {
    throw ZipError(ZipErrorCode::WriteFailed,
                   "Cannot create " + path.string() + ": " + ErrnoText() + ".");
  }
}

TZipWriter::~TZipWriter() = default;

void TZipWriter::Password(std::string_view password) {
  FPassword = password;
}

void TZipWriter::DeflateLevel(int level) {
  const int clamped = std::clamp(level, 1, 12);
  if (clamped != FLevel) FCompressor.reset();
  FLevel = clamped;
}

void TZipWriter::OnProgress(ZipProgress callback) {
  FOnProgress = std::move(callback);
}

void TZipWriter::CheckOpen() const {
  if (FFinished) throw ZipError(ZipErrorCode::InvalidState, "The ZIP writer is already finished.");
}

void TZipWriter::Write(const std::uint8_t* data, std::size_t size) {
  if (FFile) {
    if (size > 0 && std::fwrite(data, 1, size, FFile.get()) != size) {
      throw ZipError(ZipErrorCode::WriteFailed, "Cannot write the ZIP file: " + ErrnoText() + ".");
    }
  } else {
    FMemory.insert(FMemory.end(), data, data + size);
  }
  FOffset += size;
}

void TZipWriter::AddFile(std::string_view name, std::span<const std::uint8_t> data,
                         ZipMethod method, std::time_t modified) {
  AddEntry(name, data, method, modified, false);
}

void TZipWriter::AddFileFromDisk(std::string_view name, const std::filesystem::path& source,
                                 ZipMethod method) {
  CheckOpen();
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(source, ec);
  std::time_t modified = 0;
  if (!ec) {
    const auto system = std::chrono::file_clock::to_sys(written);
    modified = std::chrono::system_clock::to_time_t(system);
  }
  std::ifstream in(source, std::ios::binary);
  if (!in) throw ZipError(ZipErrorCode::WriteFailed, "Cannot read " + source.string() + ".");
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(0, std::ios::beg);
  if (end < 0) throw ZipError(ZipErrorCode::WriteFailed, "Cannot read " + source.string() + ".");
  const auto size = static_cast<std::uint64_t>(end);
  if (size > kZip64Marker32 - kPkwareHeaderSize - 1u) {
    throw ZipError(ZipErrorCode::TooLarge, source.string() + " is too large for a package.");
  }
  const auto readInto = [&](std::span<std::uint8_t> piece) {
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    if (in.gcount() != static_cast<std::streamsize>(piece.size())) {
      throw ZipError(ZipErrorCode::WriteFailed,
                     "Cannot read " + source.string() + ": it changed while it was packed.");
    }
  };
  if (method == ZipMethod::Deflate) {
    // Deflate wants the whole input; such files are text-like and small.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    readInto(bytes);
    AddEntry(name, bytes, method, modified, false);
    return;
  }
  // Stored: the CRC-32 first, then the bytes, one buffer at a time.
  CheckName(name);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
      std::min<std::uint64_t>(kWriteChunk, std::max<std::uint64_t>(size, 1))));
  std::uint32_t crc = 0;
  for (std::uint64_t done = 0; done < size;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - done));
    readInto({buffer.data(), n});
    crc = static_cast<std::uint32_t>(libdeflate_crc32(crc, buffer.data(), n));
    done += n;
  }
  in.clear();
  in.seekg(0, std::ios::beg);
  WriteEntry(name, size, readInto, false, crc, size, modified, false);
  // A file that grew meanwhile would have been cut short without a word.
  if (in.peek() != std::char_traits<char>::eof()) {
    throw ZipError(ZipErrorCode::WriteFailed,
                   "Cannot read " + source.string() + ": it changed while it was packed.");
  }
}

void TZipWriter::AddDirectory(std::string_view name, std::time_t modified) {
  std::string folder(name);
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  AddEntry(folder, {}, ZipMethod::Stored, modified, true);
}

void TZipWriter::Checkpoints(std::uint32_t interval, std::uint64_t threshold) {
  if (interval != 0 && !FCheckpoints.Entries.empty() && interval != FCheckpoints.Interval) {
    throw ZipError(ZipErrorCode::InvalidState, "One package has one checkpoint interval.");
  }
  FCheckpointInterval = interval;
  FCheckpointThreshold = threshold;
  if (interval != 0) FCheckpoints.Interval = interval;
}

void TZipWriter::AlignEnd(std::uint64_t precedingBytes, std::uint32_t multiple) {
  FAlignPreceding = precedingBytes;
  FAlignMultiple = std::max<std::uint32_t>(multiple, 1);
}

void TZipWriter::CheckName(std::string_view name) const {
  CheckOpen();
  if (name.empty() || name.size() > kZip64Marker16 || name.find('\0') != std::string_view::npos ||
      !text::IsValidUtf8(name)) {
    throw ZipError(ZipErrorCode::InvalidName,
                   "Invalid ZIP entry name \"" + std::string(name.substr(0, 200)) + "\".");
  }
}

void TZipWriter::AddEntry(std::string_view name, std::span<const std::uint8_t> data,
                          ZipMethod method, std::time_t modified, bool directory) {
  CheckName(name);
  const std::uint32_t crc =
      static_cast<std::uint32_t>(libdeflate_crc32(0, data.data(), data.size()));
  std::vector<std::uint8_t> compressed;
  bool deflated = false;
  if (method == ZipMethod::Deflate && !data.empty()) {
    if (!FCompressor) {
      FCompressor.reset(libdeflate_alloc_compressor(FLevel));
      if (!FCompressor) throw std::bad_alloc();
    }
    compressed.resize(libdeflate_deflate_compress_bound(FCompressor.get(), data.size()));
    const std::size_t n = libdeflate_deflate_compress(FCompressor.get(), data.data(), data.size(),
                                                      compressed.data(), compressed.size());
    if (n > 0 && n < data.size()) {
      compressed.resize(n);
      deflated = true;
    } else {
      compressed.clear();
    }
  }
  const std::span<const std::uint8_t> body =
      deflated ? std::span<const std::uint8_t>(compressed) : data;
  std::size_t position = 0;
  const TBodyReader read = [&](std::span<std::uint8_t> piece) {
    std::memcpy(piece.data(), body.data() + position, piece.size());
    position += piece.size();
  };
  WriteEntry(name, body.size(), read, deflated, crc, data.size(), modified, directory);
}

void TZipWriter::WriteEntry(std::string_view name, std::uint64_t bodySize, const TBodyReader& read,
                            bool deflated, std::uint32_t crc, std::uint64_t plainSize,
                            std::time_t modified, bool directory) {
  if (FEntryCount >= kZip64Marker16) {
    throw ZipError(ZipErrorCode::TooLarge, "Too many entries for a package (at most 65534).");
  }
  const bool encrypt = !FPassword.empty() && !directory;
  const std::uint64_t room = kZip64Marker32 - 1u - (encrypt ? kPkwareHeaderSize : 0u);
  if (plainSize > room || bodySize > room) {
    throw ZipError(ZipErrorCode::TooLarge,
                   "The entry \"" + std::string(name) + "\" is too large for a package (4 GiB).");
  }
  const std::uint64_t storedSize = bodySize + (encrypt ? kPkwareHeaderSize : 0u);
  const std::uint64_t headerOffset = FOffset;
  if (headerOffset + kLocalHeaderSize + name.size() + storedSize >= kZip64Marker32) {
    throw ZipError(ZipErrorCode::TooLarge, "The package would exceed 4 GiB.");
  }

  std::uint16_t flags = 0;
  if (encrypt) flags |= kFlagEncrypted;
  if (!std::all_of(name.begin(), name.end(),
                   [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    flags |= kFlagUtf8;
  }
  const std::uint16_t methodCode = deflated ? kMethodDeflate : kMethodStored;
  const std::uint16_t version = (deflated || encrypt || directory) ? 20 : 10;
  const DosDateTime when = ToDos(modified != 0 ? modified : FCreated);
  const auto nameSize = static_cast<std::uint16_t>(name.size());
  const auto compressedSize = static_cast<std::uint32_t>(storedSize);
  const auto size = static_cast<std::uint32_t>(plainSize);

  std::vector<std::uint8_t> header;
  header.reserve(kLocalHeaderSize + name.size());
  Put32(header, kLocalHeaderSignature);
  Put16(header, version);
  Put16(header, flags);
  Put16(header, methodCode);
  Put16(header, when.Time);
  Put16(header, when.Date);
  Put32(header, crc);
  Put32(header, compressedSize);
  Put32(header, size);
  Put16(header, nameSize);
  Put16(header, 0);
  header.insert(header.end(), name.begin(), name.end());
  Write(header.data(), header.size());

  PkwareCipher cipher(FPassword);
  if (encrypt) {
    // Eleven random bytes and the CRC's high byte, which readers check the password against.
    std::array<std::uint8_t, kPkwareHeaderSize> encryptionHeader{};
    std::random_device random;
    for (std::size_t i = 0; i + 1 < encryptionHeader.size(); ++i) {
      encryptionHeader[i] = static_cast<std::uint8_t>(random());
    }
    encryptionHeader.back() = static_cast<std::uint8_t>(crc >> 24);
    cipher.Encrypt(encryptionHeader);
    Write(encryptionHeader.data(), encryptionHeader.size());
  }

  // A large stored entry gets a checkpoint in front of every interval: the cipher's state and
  // the CRC-32 of the interval's bytes. Pieces end at interval edges so both are at hand there.
  const std::uint32_t interval =
      !deflated && !directory && FCheckpointInterval != 0 && plainSize >= FCheckpointThreshold
          ? FCheckpointInterval
          : 0;
  TEntryCheckpoints checkpoints{static_cast<std::uint32_t>(headerOffset), crc, size, {}};
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
      std::min<std::uint64_t>(kWriteChunk, std::max<std::uint64_t>(bodySize, 1))));
  std::uint32_t intervalCrc = 0;
  for (std::uint64_t done = 0; done < bodySize;) {
    std::uint64_t n = std::min<std::uint64_t>(buffer.size(), bodySize - done);
    if (interval != 0) {
      if (done % interval == 0) {
        checkpoints.Intervals.push_back({encrypt ? cipher.Keys() : PkwareKeys{}, 0});
        intervalCrc = 0;
      }
      n = std::min<std::uint64_t>(n, interval - done % interval);
    }
    const std::span<std::uint8_t> piece(buffer.data(), static_cast<std::size_t>(n));
    read(piece);
    if (interval != 0) {
      intervalCrc = static_cast<std::uint32_t>(libdeflate_crc32(intervalCrc, piece.data(), n));
      checkpoints.Intervals.back().Crc32 = intervalCrc;
    }
    if (encrypt) cipher.Encrypt(piece);
    Write(piece.data(), piece.size());
    done += n;
    if (!deflated && FOnProgress) FOnProgress(FInputDone + done);
  }
  if (interval != 0) FCheckpoints.Entries.push_back(std::move(checkpoints));
  FInputDone += plainSize;
  if (FOnProgress) FOnProgress(FInputDone);

  Put32(FDirectory, kCentralHeaderSignature);
  Put16(FDirectory, kMadeByUnix);
  Put16(FDirectory, version);
  Put16(FDirectory, flags);
  Put16(FDirectory, methodCode);
  Put16(FDirectory, when.Time);
  Put16(FDirectory, when.Date);
  Put32(FDirectory, crc);
  Put32(FDirectory, compressedSize);
  Put32(FDirectory, size);
  Put16(FDirectory, nameSize);
  Put16(FDirectory, 0);  // extra
  Put16(FDirectory, 0);  // comment
  Put16(FDirectory, 0);  // disk
  Put16(FDirectory, 0);  // internal attributes
  Put32(FDirectory, directory ? kDirectoryAttributes : kFileAttributes);
  Put32(FDirectory, static_cast<std::uint32_t>(headerOffset));
  FDirectory.insert(FDirectory.end(), name.begin(), name.end());
  ++FEntryCount;
}

void TZipWriter::Finish() {
  CheckOpen();
  if (!FCheckpoints.Entries.empty()) {
    const std::vector<std::uint8_t> index = WriteCheckpointIndex(FCheckpoints);
    FCheckpoints.Entries.clear();
    AddEntry(kCheckpointEntry, index, ZipMethod::Stored, 0, false);
  }
  const std::uint64_t directoryOffset = FOffset;
  if (directoryOffset + FDirectory.size() >= kZip64Marker32) {
    throw ZipError(ZipErrorCode::TooLarge, "The package would exceed 4 GiB.");
  }
  FFinished = true;
  Write(FDirectory.data(), FDirectory.size());
  // The comment is the padding, if any: zero bytes, so that the archive stays well formed.
  const std::uint64_t unpadded = FAlignPreceding + FOffset + kEndOfDirectorySize;
  const auto padding =
      static_cast<std::uint16_t>((FAlignMultiple - unpadded % FAlignMultiple) % FAlignMultiple);
  std::vector<std::uint8_t> end;
  Put32(end, kEndOfDirectorySignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<std::uint16_t>(FEntryCount));
  Put16(end, static_cast<std::uint16_t>(FEntryCount));
  Put32(end, static_cast<std::uint32_t>(FDirectory.size()));
  Put32(end, static_cast<std::uint32_t>(directoryOffset));
  Put16(end, padding);
  end.resize(end.size() + padding, 0);
  Write(end.data(), end.size());
  FDirectory = {};
  if (FFile) {
    std::FILE* f = FFile.release();
    if (std::fclose(f) != 0) {
      throw ZipError(ZipErrorCode::WriteFailed, "Cannot write the ZIP file: " + ErrnoText() + ".");
    }
  }
}

std::vector<std::uint8_t> TZipWriter::TakeBytes() {
  return std::move(FMemory);
}

}  // namespace velloc::archive
