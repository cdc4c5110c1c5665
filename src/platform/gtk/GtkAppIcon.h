// The application's icon as the icon of every window the runtime opens.
#pragma once

#include <cstdint>
#include <span>

namespace velloc::platform::gtk {

// Decodes the icon (PNG, or SVG where the librsvg loader is installed) and makes it the default
// window icon; data that does not decode leaves the toolkit's default.
void SetDefaultWindowIcon(std::span<const std::uint8_t> icon);

}  // namespace velloc::platform::gtk
