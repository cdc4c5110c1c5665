// Record layouts of the ZIP format (PKWARE APPNOTE) shared by the reader and the writer.
// Internal to the archive library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velloc::archive::format {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50u;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50u;
inline constexpr std::uint32_t kEndOfDirectorySignature = 0x06054B50u;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50u;
inline constexpr std::uint32_t kZip64EndOfDirectorySignature = 0x06064B50u;
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50u;

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndOfDirectorySize = 22;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kZip64EndOfDirectorySize = 56;
inline constexpr std::size_t kMaxCommentSize = 0xFFFF;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;
inline constexpr std::uint16_t kFlagMaskedDirectory = 0x2000;

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;

inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;

// 4.5 is where Zip64 marks begin; Info-ZIP writes it for streamed input even when every value
// fits 32 bits, so the reader accepts the mark and rejects only actual Zip64 values.
inline constexpr std::uint16_t kVersionSupported = 45;
inline constexpr std::uint32_t kZip64Marker32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kZip64Marker16 = 0xFFFFu;

inline std::uint16_t Read16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Read32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace velloc::archive::format
