// The packaged executable's layout: the runtime's executable image, then the application
// package (a ZIP archive) up to the end of the file. There is no marker or length field; the
// package starts at the image end, which is computed from the image's own headers (ELF or PE,
// recognised by magic, so one packer can attach to a Linux or a Windows runtime).
//
// A signed Windows executable carries its Authenticode certificate table after the package:
// the signature covers everything before the table, the package included, and the PE's
// security directory names where the table begins. The package ends there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velloc::platform {
class TMappedFile;
}

namespace velloc::package {

enum class ExeErrorCode {
  Io,             // a file cannot be opened, read, created or written
  UnknownFormat,  // neither an ELF nor a PE image
  Malformed,      // headers that are truncated or point outside the file
  TooLarge,       // 4 GiB or more: outside the format
  NoPackage,      // nothing is attached behind the image
};

class ExeUtilsError : public std::runtime_error {
 public:
  ExeUtilsError(ExeErrorCode code, const std::string& message)
      : std::runtime_error(message), FCode(code) {}
  ExeErrorCode Code() const { return FCode; }

 private:
  ExeErrorCode FCode;
};

enum class ExeFormat { Elf32, Elf64, Pe };

struct ExeImageInfo {
  ExeFormat Format;
  std::uint64_t FileSize;
  std::uint64_t ImageEnd;  // <= PackageEnd
  // Where the attached data ends: the file's end, or a PE's certificate table.
  std::uint64_t PackageEnd = FileSize;
  // The PE's Authenticode certificate table (the security directory); 0 when unsigned.
  std::uint64_t SignatureSize = 0;
  std::uint64_t AttachedLength() const { return PackageEnd - ImageEnd; }
  bool Signed() const { return SignatureSize > 0; }
};

// Files of this size or more are outside the format.
inline constexpr std::uint64_t kMaxExeFileSize = std::uint64_t{1} << 32;
// Copies move data through one buffer of this size, with a progress report after every chunk.
inline constexpr std::size_t kCopyChunkSize = 10240;

class TExeUtils {
 public:
  using TOnProgressMax = std::function<void(std::int64_t max)>;
  using TOnProgressPos = std::function<void(std::int64_t pos)>;

  // `exePath` is the executable that the readers look at: "/proc/self/exe" for the running
  // runtime, any packaged executable for tools and tests.
  explicit TExeUtils(std::filesystem::path exePath) : FExePath(std::move(exePath)) {}

  const std::filesystem::path& ExePath() const { return FExePath; }

  // Reported once before a copy with the number of bytes to copy, then after every chunk with
  // the number copied so far. Both optional.
  const TOnProgressMax& OnProgressMax() const { return FOnProgressMax; }
  void SetOnProgressMax(TOnProgressMax handler) { FOnProgressMax = std::move(handler); }
  const TOnProgressPos& OnProgressPos() const { return FOnProgressPos; }
  void SetOnProgressPos(TOnProgressPos handler) { FOnProgressPos = std::move(handler); }

  // True when something is attached behind the image. False, without throwing, whenever no
  // package can be located: a missing or unreadable file, an unknown or malformed image, a
  // file of 4 GiB or more.
  bool ExeHasAttachedStub() const;

  // Replaces `memoryStream` with the attached package (its bytes from position 0). Throws
  // ExeUtilsError: NoPackage when nothing is attached, or the error that locating it gave.
  void GetZipFromExe(std::vector<std::uint8_t>& memoryStream) const;

  // The attached package mapped read-only, in place of a copy: only the pages that are read
  // cost memory. Throws as GetZipFromExe, and Io when the file cannot be mapped.
  std::shared_ptr<const platform::TMappedFile> MapZipFromExe() const;

  // Writes the attached package to a new file `zipPath` (overwritten when it exists); on
  // failure no partial file is left. Throws as GetZipFromExe, and Io for the target file.
  void ExtractZipFromExe(const std::filesystem::path& zipPath) const;

  // Appends the whole of `zipPath` to the end of `exePath`. The executable must end at its
  // image end for the readers to find the archive; anything already attached stays in front
  // of it. Throws Io, or TooLarge (before writing) when the result would reach 4 GiB.
  void AppendZipToExe(const std::filesystem::path& zipPath,
                      const std::filesystem::path& exePath) const;

  // Format, file size and image end of any executable file. Throws ExeUtilsError.
  static ExeImageInfo InspectImage(const std::filesystem::path& exePath);
  static std::uint64_t ImageEndOffset(const std::filesystem::path& exePath) {
    return InspectImage(exePath).ImageEnd;
  }
  static std::uint64_t AttachedLength(const std::filesystem::path& exePath) {
    return InspectImage(exePath).AttachedLength();
  }

 private:
  // Copies `length` bytes from `in` to `sink` in chunks, reporting progress.
  template <typename Sink>
  void CopyChunks(std::istream& in, std::uint64_t length, Sink&& sink) const;

  std::filesystem::path FExePath;
  TOnProgressMax FOnProgressMax;
  TOnProgressPos FOnProgressPos;
};

// Turns the bytes of a signed PE image into the unsigned image: cut at `imageEnd` (the
// certificate table and the padding in front of it go) and the security directory emptied.
// Throws ExeUtilsError (Malformed) when `exe` has no such directory.
void RemovePeSignature(std::vector<std::uint8_t>& exe, std::uint64_t imageEnd);

}  // namespace velloc::package
