#include "archive/Checkpoints.h"

#include <algorithm>
#include <cstring>

#include "archive/ZipFormat.h"

namespace velloc::archive {
namespace {

constexpr char kMagic[8] = {'V', 'L', 'X', 'C', 'K', 'P', 'T', '1'};
constexpr std::size_t kHeaderSize = sizeof(kMagic) + 8;
constexpr std::size_t kEntryHeaderSize = 12;
constexpr std::size_t kIntervalRecordSize = 16;

std::uint64_t IntervalCount(std::uint64_t size, std::uint32_t interval) {
  return (size + interval - 1) / interval;
}

}  // namespace

std::vector<std::uint8_t> WriteCheckpointIndex(const TCheckpointIndex& index) {
  using format::Put32;
  std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
  Put32(out, index.Interval);
  Put32(out, static_cast<std::uint32_t>(index.Entries.size()));
  for (const TEntryCheckpoints& entry : index.Entries) {
    Put32(out, entry.LocalHeaderOffset);
    Put32(out, entry.Crc32);
    Put32(out, entry.Size);
    for (const TCheckpoint& c : entry.Intervals) {
      Put32(out, c.Keys.Key0);
      Put32(out, c.Keys.Key1);
      Put32(out, c.Keys.Key2);
      Put32(out, c.Crc32);
    }
  }
  return out;
}

std::optional<TCheckpointIndex> ReadCheckpointIndex(std::span<const std::uint8_t> bytes) {
  using format::Read32;
  if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) {
    return std::nullopt;
  }
  TCheckpointIndex index;
  index.Interval = Read32(bytes.data() + 8);
  const std::uint32_t count = Read32(bytes.data() + 12);
  if (index.Interval < kMinCheckpointInterval || index.Interval > kMaxCheckpointInterval) {
    return std::nullopt;
  }
  std::size_t pos = kHeaderSize;
  // Every entry takes at least its header: a count the bytes cannot hold allocates nothing.
  if (count > (bytes.size() - pos) / kEntryHeaderSize) return std::nullopt;
  index.Entries.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - pos < kEntryHeaderSize) return std::nullopt;
    TEntryCheckpoints entry;
    entry.LocalHeaderOffset = Read32(bytes.data() + pos);
    entry.Crc32 = Read32(bytes.data() + pos + 4);
    entry.Size = Read32(bytes.data() + pos + 8);
    pos += kEntryHeaderSize;
    const std::uint64_t intervals = IntervalCount(entry.Size, index.Interval);
    if (intervals > (bytes.size() - pos) / kIntervalRecordSize) return std::nullopt;
    entry.Intervals.resize(static_cast<std::size_t>(intervals));
    for (TCheckpoint& c : entry.Intervals) {
      const std::uint8_t* p = bytes.data() + pos;
      c.Keys = {Read32(p), Read32(p + 4), Read32(p + 8)};
      c.Crc32 = Read32(p + 12);
      pos += kIntervalRecordSize;
    }
    index.Entries.push_back(std::move(entry));
  }
  if (pos != bytes.size()) return std::nullopt;
  std::vector<std::uint32_t> offsets;
  offsets.reserve(index.Entries.size());
  for (const TEntryCheckpoints& entry : index.Entries)
    offsets.push_back(entry.LocalHeaderOffset);
  std::sort(offsets.begin(), offsets.end());
  if (std::adjacent_find(offsets.begin(), offsets.end()) != offsets.end()) return std::nullopt;
  return index;
}

}  // namespace velloc::archive
