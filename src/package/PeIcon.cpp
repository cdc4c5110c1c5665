#include "package/PeIcon.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace velloc::package {
namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::size_t kGroupHeaderSize = 6;
constexpr std::size_t kGroupEntrySize = 14;

std::uint32_t Read(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  if (at + static_cast<std::size_t>(bytes) > b.size()) throw PeIconError("damaged PE image");
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}

void Write(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct TSection {
  std::uint32_t Rva, VirtualSize, RawOffset, RawSize;
};

// A resource's data: where its data entry lies in the file, and its bytes.
struct TResourceData {
  std::size_t EntryOffset;
  std::size_t DataOffset;
  std::uint32_t Size;
  std::uint32_t Id;
};

class TPeResources {
 public:
  explicit TPeResources(const std::vector<std::uint8_t>& exe) : FExe(exe) {
    if (Read(exe, 0, 2) != 0x5A4D) throw PeIconError("not a Windows executable");
    const std::size_t pe = Read(exe, 0x3C, 4);
    if (Read(exe, pe, 4) != 0x00004550) throw PeIconError("not a Windows executable");
    const std::uint32_t sections = Read(exe, pe + 6, 2);
    const std::uint32_t optionalSize = Read(exe, pe + 20, 2);
    const std::size_t optional = pe + 24;
    const std::uint32_t magic = Read(exe, optional, 2);
    const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    if (Read(exe, optional + (magic == 0x20B ? 108 : 92), 4) <= 2) {
      throw PeIconError("the executable has no resources");
    }
    FRootRva = Read(exe, directories + 2 * 8, 4);
    if (FRootRva == 0) throw PeIconError("the executable has no resources");
    const std::size_t table = optional + optionalSize;
    for (std::uint32_t i = 0; i < sections; ++i) {
      const std::size_t s = table + i * 40;
      FSections.push_back(
          {Read(exe, s + 12, 4), Read(exe, s + 8, 4), Read(exe, s + 20, 4), Read(exe, s + 16, 4)});
    }
    FRoot = Offset(FRootRva, 16);
  }

  std::size_t Offset(std::uint32_t rva, std::size_t length) const {
    for (const TSection& s : FSections) {
      if (rva >= s.Rva &&
          rva - s.Rva + length <= std::min(s.RawSize, std::max(s.VirtualSize, s.RawSize))) {
        const std::size_t at = s.RawOffset + (rva - s.Rva);
        if (at + length > FExe.size()) break;
        return at;
      }
    }
    throw PeIconError("damaged PE resources");
  }

  // Every resource of one type, first language of each.
  std::vector<TResourceData> OfType(std::uint32_t type) const {
    std::vector<TResourceData> found;
    const auto entries = [this](std::size_t directory) {
      const std::uint32_t count = Read(FExe, directory + 12, 2) + Read(FExe, directory + 14, 2);
      std::vector<std::pair<std::uint32_t, std::uint32_t>> list;
      for (std::uint32_t i = 0; i < count && i < 4096; ++i) {
        const std::size_t e = directory + 16 + i * 8;
        list.emplace_back(Read(FExe, e, 4), Read(FExe, e + 4, 4));
      }
      return list;
    };
    const auto subdirectory = [this](std::uint32_t offset) {
      if ((offset & 0x80000000u) == 0) throw PeIconError("damaged PE resources");
      return Offset(FRootRva + (offset & 0x7FFFFFFFu), 16);
    };
    for (const auto& [typeId, typeOffset] : entries(FRoot)) {
      if (typeId != type) continue;
      for (const auto& [id, nameOffset] : entries(subdirectory(typeOffset))) {
        const auto languages = entries(subdirectory(nameOffset));
        if (languages.empty() || (languages[0].second & 0x80000000u) != 0) continue;
        const std::size_t entry = Offset(FRootRva + languages[0].second, 16);
        const std::uint32_t size = Read(FExe, entry + 4, 4);
        found.push_back({entry, Offset(Read(FExe, entry, 4), size), size, id});
      }
    }
    return found;
  }

 private:
  const std::vector<std::uint8_t>& FExe;
  std::vector<TSection> FSections;
  std::uint32_t FRootRva = 0;
  std::size_t FRoot = 0;
};

// The PNG's size from its header; 0 stands for 256 or more, as icon directories write it.
std::uint8_t IconDimension(std::uint32_t pixels) {
  return pixels >= 256 ? 0 : static_cast<std::uint8_t>(pixels);
}

}  // namespace

void ReplacePeIcon(std::vector<std::uint8_t>& exe, std::span<const std::uint8_t> png) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin())) {
    throw PeIconError("the Windows icon must be a PNG image");
  }
  const TPeResources resources(exe);
  const std::vector<TResourceData> groups = resources.OfType(kRtGroupIcon);
  const std::vector<TResourceData> icons = resources.OfType(kRtIcon);
  if (groups.empty() || icons.empty()) throw PeIconError("the executable has no icon");
  const TResourceData& group = groups.front();
  if (group.Size < kGroupHeaderSize + kGroupEntrySize) throw PeIconError("damaged icon group");

  // The group's largest image is the slot.
  const std::uint32_t count = Read(exe, group.DataOffset + 4, 2);
  std::optional<TResourceData> slot;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = group.DataOffset + kGroupHeaderSize + i * kGroupEntrySize;
    if (entry + kGroupEntrySize > group.DataOffset + group.Size) break;
    const std::uint32_t id = Read(exe, entry + 12, 2);
    for (const TResourceData& icon : icons) {
      if (icon.Id == id && (!slot || icon.Size > slot->Size)) slot = icon;
    }
  }
  if (!slot) throw PeIconError("the executable's icon group names no image");
  if (png.size() > slot->Size) {
    throw PeIconError("the icon is " + std::to_string(png.size()) +
                      " bytes; the Windows runtime has room for " + std::to_string(slot->Size));
  }

  std::copy(png.begin(), png.end(), exe.begin() + static_cast<std::ptrdiff_t>(slot->DataOffset));
  std::fill_n(exe.begin() + static_cast<std::ptrdiff_t>(slot->DataOffset + png.size()),
              slot->Size - png.size(), std::uint8_t{0});
  Write(exe, slot->EntryOffset + 4, static_cast<std::uint32_t>(png.size()), 4);

  // The group names that image alone, with the PNG's own size.
  const auto pngWord = [&png](std::size_t at) {
    return (std::uint32_t{png[at]} << 24) | (std::uint32_t{png[at + 1]} << 16) |
           (std::uint32_t{png[at + 2]} << 8) | png[at + 3];
  };
  const std::size_t entry = group.DataOffset + kGroupHeaderSize;
  Write(exe, group.DataOffset + 4, 1, 2);
  exe[entry] = IconDimension(pngWord(16));
  exe[entry + 1] = IconDimension(pngWord(20));
  exe[entry + 2] = 0;  // colour count
  exe[entry + 3] = 0;
  Write(exe, entry + 4, 1, 2);   // planes
  Write(exe, entry + 6, 32, 2);  // bits per pixel
  Write(exe, entry + 8, static_cast<std::uint32_t>(png.size()), 4);
  Write(exe, entry + 12, slot->Id, 2);
  Write(exe, group.EntryOffset + 4, static_cast<std::uint32_t>(kGroupHeaderSize + kGroupEntrySize),
        4);
}

}  // namespace velloc::package
