// The application icon. An executable on Linux carries no icon resource, so the package holds
// one under a fixed entry name: the icon the author gave to `velloc pack --icon`, else Velloc's
// own. The runtime shows it as the window icon and the tray icon.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velloc::package {

inline constexpr std::string_view kAppIconEntry = "vlx-icon";

// Larger icons are refused by the packer; no desktop shows more than a few hundred pixels.
inline constexpr std::size_t kMaxAppIconBytes = 4u << 20;

enum class TAppIconFormat { Unknown, Png, Svg };

// PNG by its signature; SVG as text that opens with markup and has an <svg element early on.
inline TAppIconFormat AppIconFormat(std::span<const std::uint8_t> data) {
  constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() >= sizeof kPng && std::equal(std::begin(kPng), std::end(kPng), data.begin()))
    return TAppIconFormat::Png;
  const std::string_view text(reinterpret_cast<const char*>(data.data()),
                              std::min<std::size_t>(data.size(), 4096));
  std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  start = text.find_first_not_of(" \t\r\n", start);
  if (start != std::string_view::npos && text[start] == '<' &&
      text.find("<svg", start) != std::string_view::npos)
    return TAppIconFormat::Svg;
  return TAppIconFormat::Unknown;
}

}  // namespace velloc::package
