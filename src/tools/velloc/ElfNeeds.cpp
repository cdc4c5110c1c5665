#include "tools/velloc/ElfNeeds.h"

#include <algorithm>

#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace {

constexpr std::uint32_t kShtDynamic = 6;
constexpr std::uint32_t kShtGnuVerneed = 0x6ffffffe;
constexpr std::uint64_t kDtNull = 0;
constexpr std::uint64_t kDtNeeded = 1;
constexpr std::uint64_t kDtHash = 4;
constexpr std::uint64_t kDtGnuHash = 0x6ffffef5;

// Reads the image's integers in its own byte order; every read is checked against its end.
class TElfReader {
 public:
  TElfReader(std::span<const std::uint8_t> image, bool bigEndian)
      : FImage(image), FBigEndian(bigEndian) {}

  std::uint64_t Read(std::uint64_t offset, unsigned size) const {
    if (offset > FImage.size() || size > FImage.size() - offset) Fail();
    std::uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) {
      const std::uint8_t byte = FImage[offset + (FBigEndian ? i : size - 1 - i)];
      value = (value << 8) | byte;
    }
    return value;
  }

  // The NUL-terminated text at `index` of the string table [offset, offset + size).
  std::string Text(std::uint64_t offset, std::uint64_t size, std::uint64_t index) const {
    if (offset > FImage.size() || size > FImage.size() - offset || index >= size) Fail();
    const auto* begin = FImage.data() + offset + index;
    const auto* end = FImage.data() + offset + size;
    const auto* nul = std::find(begin, end, std::uint8_t{0});
    if (nul == end) Fail();
    return {begin, nul};
  }

  [[noreturn]] static void Fail() {
    throw TCliError("not a readable ELF image: a table points outside the file");
  }

 private:
  std::span<const std::uint8_t> FImage;
  bool FBigEndian;
};

struct TSection {
  std::uint32_t Type;
  std::uint64_t Offset, Size, EntrySize;
  std::uint32_t Link, Info;
};

}  // namespace

TElfNeeds ReadElfNeeds(std::span<const std::uint8_t> image) {
  if (image.size() < 52 || image[0] != 0x7f || image[1] != 'E' || image[2] != 'L' ||
      image[3] != 'F' || (image[4] != 1 && image[4] != 2) || (image[5] != 1 && image[5] != 2)) {
    throw TCliError("not an ELF image");
  }
  TElfNeeds needs;
  needs.Elf64 = image[4] == 2;
  needs.BigEndian = image[5] == 2;
  const TElfReader r(image, needs.BigEndian);
  const bool w = needs.Elf64;
  needs.Machine = static_cast<std::uint16_t>(r.Read(18, 2));
  const std::uint64_t sectionTable = r.Read(w ? 40 : 32, w ? 8 : 4);
  const std::uint64_t entrySize = r.Read(w ? 58 : 46, 2);
  const std::uint64_t count = r.Read(w ? 60 : 48, 2);
  if (count > 0 && (entrySize < (w ? 64u : 40u) || sectionTable > image.size() ||
                    count * entrySize > image.size() - sectionTable)) {
    TElfReader::Fail();
  }

  std::vector<TSection> sections;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t at = sectionTable + i * entrySize;
    const unsigned word = w ? 8 : 4;
    sections.push_back({static_cast<std::uint32_t>(r.Read(at + 4, 4)),
                        r.Read(at + (w ? 24 : 16), word), r.Read(at + (w ? 32 : 20), word),
                        r.Read(at + (w ? 56 : 36), word),
                        static_cast<std::uint32_t>(r.Read(at + (w ? 40 : 24), 4)),
                        static_cast<std::uint32_t>(r.Read(at + (w ? 44 : 28), 4))});
  }
  const auto strings = [&](const TSection& section) -> const TSection& {
    if (section.Link >= sections.size() || section.Offset > image.size() ||
        section.Size > image.size() - section.Offset) {
      TElfReader::Fail();
    }
    return sections[section.Link];
  };
  // Far more than any real program needs; a bound for images whose tables loop.
  constexpr std::size_t kMaxVersions = 100000;

  bool hash = false, gnuHash = false;
  for (const TSection& section : sections) {
    if (section.Type == kShtDynamic) {
      const TSection& table = strings(section);
      const unsigned entry = w ? 16 : 8;
      for (std::uint64_t at = section.Offset; at + entry <= section.Offset + section.Size;
           at += entry) {
        const std::uint64_t tag = r.Read(at, entry / 2);
        if (tag == kDtNull) break;
        if (tag == kDtHash) hash = true;
        if (tag == kDtGnuHash) gnuHash = true;
        if (tag == kDtNeeded)
          needs.Needed.push_back(
              r.Text(table.Offset, table.Size, r.Read(at + entry / 2, entry / 2)));
      }
    } else if (section.Type == kShtGnuVerneed) {
      // sh_info counts the entries; each names a library and chains its versions.
      const TSection& table = strings(section);
      std::uint64_t at = section.Offset;
      for (std::uint32_t i = 0; i < section.Info; ++i) {
        const std::string library = r.Text(table.Offset, table.Size, r.Read(at + 4, 4));
        std::uint64_t aux = at + r.Read(at + 8, 4);
        for (std::uint64_t j = r.Read(at + 2, 2); j > 0; --j) {
          if (needs.Versions.size() >= kMaxVersions) TElfReader::Fail();
          needs.Versions.emplace_back(library,
                                      r.Text(table.Offset, table.Size, r.Read(aux + 8, 4)));
          const std::uint64_t auxNext = r.Read(aux + 12, 4);
          if (auxNext == 0) break;
          aux += auxNext;
        }
        const std::uint64_t next = r.Read(at + 12, 4);
        if (next == 0) break;
        at += next;
      }
    }
  }
  needs.GnuHashOnly = gnuHash && !hash;
  return needs;
}

std::vector<std::string> RpmRequires(const std::vector<TElfNeeds>& images) {
  std::vector<std::string> dependencies;
  for (const TElfNeeds& image : images) {
    const std::string marker = image.Elf64 ? "(64bit)" : "";
    for (const std::string& library : image.Needed)
      dependencies.push_back(marker.empty() ? library : library + "()" + marker);
    for (const auto& [library, version] : image.Versions) {
      if (version != "GLIBC_PRIVATE")
        dependencies.push_back(library + "(" + version + ")" + marker);
    }
    if (image.GnuHashOnly) dependencies.emplace_back("rtld(GNU_HASH)");
  }
  std::sort(dependencies.begin(), dependencies.end());
  dependencies.erase(std::unique(dependencies.begin(), dependencies.end()), dependencies.end());
  return dependencies;
}

std::string RpmArchitecture(const TElfNeeds& image) {
  struct TArch {
    std::uint16_t Machine;
    bool Elf64, BigEndian;
    const char* Name;
  };
  constexpr TArch kArchitectures[] = {
      {62, true, false, "x86_64"},   {183, true, false, "aarch64"}, {3, false, false, "i686"},
      {40, false, false, "armv7hl"}, {243, true, false, "riscv64"}, {21, true, false, "ppc64le"},
      {22, true, true, "s390x"},
  };
  for (const TArch& arch : kArchitectures) {
    if (arch.Machine == image.Machine && arch.Elf64 == image.Elf64 &&
        arch.BigEndian == image.BigEndian)
      return arch.Name;
  }
  throw TCliError("the runtime is built for a machine (ELF machine " +
                  std::to_string(image.Machine) + ") that RPM packages are not made for here");
}

}  // namespace velloc::cli
