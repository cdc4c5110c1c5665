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
  std::vector<std::uint8_t> bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0) {
    if (static_cast<std::uint64_t>(size) > kZip64Marker32 - kPkwareHeaderSize - 1u) {
      throw ZipError(ZipErrorCode::TooLarge, source.string() + " is too large for a package.");
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) {
      throw ZipError(ZipErrorCode::WriteFailed, "Cannot read " + source.string() + ".");
    }
  }
  AddEntry(name, bytes, method, modified, false);
}

void TZipWriter::AddDirectory(std::string_view name, std::time_t modified) {
  std::string folder(name);
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  AddEntry(folder, {}, ZipMethod::Stored, modified, true);
}

void TZipWriter::AddEntry(std::string_view name, std::span<const std::uint8_t> data,
                          ZipMethod method, std::time_t modified, bool directory) {
  CheckOpen();
  if (name.empty() || name.size() > kZip64Marker16 || name.find('\0') != std::string_view::npos ||
      !text::IsValidUtf8(name)) {
    throw ZipError(ZipErrorCode::InvalidName,
                   "Invalid ZIP entry name \"" + std::string(name.substr(0, 200)) + "\".");
  }
  if (FEntryCount >= kZip64Marker16) {
    throw ZipError(ZipErrorCode::TooLarge, "Too many entries for a package (at most 65534).");
  }
  const bool encrypt = !FPassword.empty() && !directory;
  const std::uint64_t room = kZip64Marker32 - 1u - (encrypt ? kPkwareHeaderSize : 0u);
  if (data.size() > room) {
    throw ZipError(ZipErrorCode::TooLarge,
                   "The entry \"" + std::string(name) + "\" is too large for a package (4 GiB).");
  }

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
  const std::uint64_t storedSize = body.size() + (encrypt ? kPkwareHeaderSize : 0u);
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
  const auto size = static_cast<std::uint32_t>(data.size());

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

  if (encrypt) {
    PkwareCipher cipher(FPassword);
    // Eleven random bytes and the CRC's high byte, which readers check the password against.
    std::array<std::uint8_t, kPkwareHeaderSize> encryptionHeader{};
    std::random_device random;
    for (std::size_t i = 0; i + 1 < encryptionHeader.size(); ++i) {
      encryptionHeader[i] = static_cast<std::uint8_t>(random());
    }
    encryptionHeader.back() = static_cast<std::uint8_t>(crc >> 24);
    cipher.Encrypt(encryptionHeader);
    Write(encryptionHeader.data(), encryptionHeader.size());
    std::vector<std::uint8_t> buffer(std::min(kWriteChunk, body.size()));
    for (std::size_t done = 0; done < body.size();) {
      const std::size_t n = std::min(buffer.size(), body.size() - done);
      cipher.Encrypt(body.data() + done, buffer.data(), n);
      Write(buffer.data(), n);
      done += n;
      if (!deflated && FOnProgress) FOnProgress(FInputDone + done);
    }
  } else {
    for (std::size_t done = 0; done < body.size();) {
      const std::size_t n = std::min(kWriteChunk, body.size() - done);
      Write(body.data() + done, n);
      done += n;
      if (!deflated && FOnProgress) FOnProgress(FInputDone + done);
    }
  }
  FInputDone += data.size();
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
  const std::uint64_t directoryOffset = FOffset;
  if (directoryOffset + FDirectory.size() >= kZip64Marker32) {
    throw ZipError(ZipErrorCode::TooLarge, "The package would exceed 4 GiB.");
  }
  FFinished = true;
  Write(FDirectory.data(), FDirectory.size());
  std::vector<std::uint8_t> end;
  Put32(end, kEndOfDirectorySignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<std::uint16_t>(FEntryCount));
  Put16(end, static_cast<std::uint16_t>(FEntryCount));
  Put32(end, static_cast<std::uint32_t>(FDirectory.size()));
  Put32(end, static_cast<std::uint32_t>(directoryOffset));
  Put16(end, 0);
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
