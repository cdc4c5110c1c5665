// Opens arbitrary bytes as a package and extracts every entry, whole and in parts through its
// reader (the checkpoint index included). Opening may fail with ZipError; anything else (a
// crash, another exception, a failed extraction that changed its target, parts that differ from
// the whole) is a bug.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "archive/Checkpoints.h"
#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velloc::archive;
  static const std::string password = PackagePassword();
  TZipArchive archive;
  archive.Password(password);
  // The bytes may also be an index on their own.
  (void)ReadCheckpointIndex(std::span<const std::uint8_t>(data, size));
  try {
    archive.Stream(std::span<const std::uint8_t>(data, size));
  } catch (const ZipError&) {
    return 0;
  }
  const std::vector<std::uint8_t> prefix = {'k', 'e', 'e', 'p'};
  for (int i = 0; i < archive.EntryCount(); ++i) {
    const TZipEntry entry = archive.Entry(i);
    const int found = archive.FindFile(entry.Name);
    if (found < 0 || found > i) std::abort();  // the first entry of that name wins
    std::vector<std::uint8_t> out = prefix;
    const ExtractResult result = archive.Extract(i, out);
    if (result == ExtractResult::Ok) {
      if (out.size() != prefix.size() + entry.UncompressedSize) std::abort();
    } else if (out != prefix) {
      std::abort();
    }
    // Parts: the first byte, one across the middle, the last 100 bytes.
    if (const auto reader = archive.OpenEntry(i); reader && entry.UncompressedSize > 0) {
      const std::uint64_t entrySize = reader->Size();
      for (const auto& [offset, length] :
           {std::pair<std::uint64_t, std::uint64_t>{0, 1},
            {entrySize / 2, std::min<std::uint64_t>(entrySize / 2, 5000)},
            {entrySize - std::min<std::uint64_t>(entrySize, 100),
             std::min<std::uint64_t>(entrySize, 100)}}) {
        std::vector<std::uint8_t> part(static_cast<std::size_t>(length));
        if (reader->Read(offset, part) == ExtractResult::Ok && result == ExtractResult::Ok &&
            !std::equal(part.begin(), part.end(), out.begin() + 4 + static_cast<long>(offset))) {
          std::abort();
        }
      }
      std::vector<std::uint8_t> beyond(1);
      if (reader->Read(entrySize, beyond) == ExtractResult::Ok) std::abort();
    }
    archive.ExtractToStream(entry.Name, out);
    if (entry.UncompressedSize <= (1u << 20)) {
      std::vector<std::uint8_t> buffer(entry.UncompressedSize);
      const ExtractResult direct = archive.ExtractTo(i, buffer);
      if (direct != result) std::abort();
      if (result == ExtractResult::Ok &&
          !std::equal(buffer.begin(), buffer.end(), out.begin() + 4)) {
        std::abort();
      }
    }
  }
  return 0;
}
