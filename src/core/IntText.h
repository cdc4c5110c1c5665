// Number text conversions used by the configuration, the bridge and the menus.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velloc::text {

// Strict integer text: optional leading blanks, an optional sign, then decimal digits or a
// hexadecimal number introduced by "$", "x" or "0x" (either case); nothing may follow. Decimal
// values must fit a signed 32-bit integer; hexadecimal ones may use all 32 bits ($FFFFFFFF is -1).
std::optional<std::int32_t> TryStrToInt(std::string_view s);

// Strict boolean text: a number (integer as above, or decimal with fraction or exponent) is
// false for zero and true otherwise; else "true" or "false" in any letter case.
std::optional<bool> TryStrToBool(std::string_view s);

// Lenient integer text: reads as far as digits go and ignores the rest; no digits gives 0.
// Values beyond 32 bits saturate.
std::int32_t LenientStrToInt(std::string_view s);

}  // namespace velloc::text
