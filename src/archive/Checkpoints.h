// The checkpoint index: random access into large stored entries. The traditional PKWARE cipher
// is a stream cipher whose state depends on every byte before, so reading the middle of an
// encrypted entry means decrypting it from its start. The packer therefore records, for each
// stored entry of at least a threshold size, the cipher's key state at every interval of the
// entry's data and the CRC-32 of each interval's plain bytes. A reader starts decrypting at the
// interval that holds the byte it wants, and checks each interval against its CRC-32 before a
// byte of it counts, as a whole extraction checks the entry's CRC-32.
//
// The index travels as one more package entry, which readers that do not know it ignore:
//   "VLXCKPT1", u32 interval, u32 entry count, then per entry
//     u32 local header offset, u32 CRC-32, u32 size (identifying the entry), and for each of
//     ceil(size / interval) intervals: u32 key 0, key 1, key 2 (zero when not encrypted) and
//     u32 CRC-32 of the interval's plain bytes
// all little-endian. An index that does not parse, or that names an entry the directory does
// not hold, is ignored: the entry is then read whole, as any other.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "archive/PkwareCrypto.h"

namespace velloc::archive {

inline constexpr std::string_view kCheckpointEntry = "vlx-checkpoints";
// Decrypting runs at about 150 MB/s: an interval of 256 KiB costs under 2 ms to reach any byte,
// and the index 16 bytes per interval (64 KiB for a 1 GiB entry).
inline constexpr std::uint32_t kDefaultCheckpointInterval = 256 * 1024;
inline constexpr std::uint64_t kDefaultCheckpointThreshold = 4 * 1024 * 1024;
// Intervals the reader accepts; the index of a 4 GiB entry at the smallest is 16 MiB.
inline constexpr std::uint32_t kMinCheckpointInterval = 4096;
inline constexpr std::uint32_t kMaxCheckpointInterval = 1u << 30;
inline constexpr std::uint32_t kMaxCheckpointIndexSize = 64u << 20;

// The state in front of one interval of an entry's data.
struct TCheckpoint {
  PkwareKeys Keys;          // before the interval's first byte (after the encryption header)
  std::uint32_t Crc32 = 0;  // of the interval's plain bytes
};

struct TEntryCheckpoints {
  std::uint32_t LocalHeaderOffset = 0;
  std::uint32_t Crc32 = 0;
  std::uint32_t Size = 0;
  std::vector<TCheckpoint> Intervals;  // ceil(Size / interval) of them
};

struct TCheckpointIndex {
  std::uint32_t Interval = kDefaultCheckpointInterval;
  std::vector<TEntryCheckpoints> Entries;
};

std::vector<std::uint8_t> WriteCheckpointIndex(const TCheckpointIndex& index);

// No value when the bytes are not a well-formed index: a wrong magic or interval, counts that
// disagree with the sizes, an entry named twice, or bytes left over.
std::optional<TCheckpointIndex> ReadCheckpointIndex(std::span<const std::uint8_t> bytes);

}  // namespace velloc::archive
