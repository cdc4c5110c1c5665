#include "archive/ZipError.h"

namespace velloc::archive {

std::string_view ToString(ZipErrorCode code) {
  switch (code) {
    case ZipErrorCode::NotZip:
      return "not a ZIP archive";
    case ZipErrorCode::MultiDisk:
      return "split archive";
    case ZipErrorCode::Zip64NotSupported:
      return "Zip64 archive";
    case ZipErrorCode::BadCentralDirectory:
      return "bad central directory";
    case ZipErrorCode::InvalidName:
      return "invalid entry name";
    case ZipErrorCode::TooLarge:
      return "too large";
    case ZipErrorCode::WriteFailed:
      return "write failed";
    case ZipErrorCode::InvalidState:
      return "invalid state";
  }
  return "unknown";
}

}  // namespace velloc::archive
