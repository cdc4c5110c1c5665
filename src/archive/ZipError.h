// Errors of the archive layer that callers are expected to report: an archive that cannot be
// opened, or a package that cannot be written.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace velloc::archive {

enum class ZipErrorCode {
  NotZip,               // no end-of-central-directory record in the data
  MultiDisk,            // split or spanned archive
  Zip64NotSupported,    // the archive needs Zip64 records (packages stay below 4 GiB)
  BadCentralDirectory,  // directory outside the data, more entries than fit, damaged record
  InvalidName,          // writer: empty, too long or not UTF-8
  TooLarge,             // writer: an entry, the entry count or the package exceeds 32-bit ZIP
  WriteFailed,          // writer: the output could not be written
  InvalidState,         // writer: used after Finish
};

std::string_view ToString(ZipErrorCode code);

class ZipError : public std::runtime_error {
 public:
  ZipError(ZipErrorCode code, const std::string& message)
      : std::runtime_error(message), FCode(code) {}
  ZipErrorCode Code() const noexcept { return FCode; }

 private:
  ZipErrorCode FCode;
};

}  // namespace velloc::archive
