// The icon of a Windows executable, replaced in place: the application's PNG goes into the
// largest image slot of the executable's first icon group, and the group is rewritten to name
// that image alone. Nothing moves, so the image layout, and the package appended after it, stay
// valid. A PNG larger than the slot is refused: the Windows runtime reserves room for one.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace velloc::package {

class PeIconError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces the icon of the PE image in `exe` with `png`; throws PeIconError when the image has
// no icon group or the PNG does not fit.
void ReplacePeIcon(std::vector<std::uint8_t>& exe, std::span<const std::uint8_t> png);

}  // namespace velloc::package
