#include "core/IntText.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/Text.h"

namespace velloc::text {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Prefix {
  std::size_t pos = 0;
  bool negative = false;
  bool hex = false;
};

// Leading blanks, sign and hexadecimal marker.
Prefix ReadPrefix(std::string_view s) {
  Prefix p;
  while (p.pos < s.size() && s[p.pos] == ' ')
    ++p.pos;
  if (p.pos < s.size() && (s[p.pos] == '+' || s[p.pos] == '-')) {
    p.negative = s[p.pos] == '-';
    ++p.pos;
  }
  if (p.pos < s.size() && (s[p.pos] == '$' || s[p.pos] == 'x' || s[p.pos] == 'X')) {
    p.hex = true;
    ++p.pos;
  } else if (p.pos + 1 < s.size() && s[p.pos] == '0' &&
             (s[p.pos + 1] == 'x' || s[p.pos + 1] == 'X')) {
    p.hex = true;
    p.pos += 2;
  }
  return p;
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t WrapHex(std::uint64_t value, bool negative) {
  const auto bits = static_cast<std::uint32_t>(value);
  const auto wrapped = static_cast<std::int32_t>(bits);
  return negative ? static_cast<std::int32_t>(0u - bits) : wrapped;
}

}  // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view s) {
  const Prefix p = ReadPrefix(s);
  if (p.pos >= s.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = p.pos; i < s.size(); ++i) {
    const int digit = p.hex ? HexValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (p.hex ? 16u : 10u) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  if (p.hex) return WrapHex(value, p.negative);
  const std::int64_t signedValue =
      p.negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  if (signedValue < kInt32Min || signedValue > kInt32Max) return std::nullopt;
  return static_cast<std::int32_t>(signedValue);
}

std::optional<bool> TryStrToBool(std::string_view s) {
  if (const auto i = TryStrToInt(s)) return *i != 0;
  // Decimal numbers with a fraction or an exponent; the full stop is the separator whatever
  // the locale, since page and configuration texts are locale-neutral.
  const std::string_view t = TrimControl(s);
  if (!t.empty()) {
    double d = 0;
    const auto* first = t.data();
    const auto* last = t.data() + t.size();
    if (*first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, last, d, std::chars_format::general);
    if (ec == std::errc() && ptr == last) return d != 0.0;
  }
  if (AsciiEqualsIgnoreCase(s, "true")) return true;
  if (AsciiEqualsIgnoreCase(s, "false")) return false;
  return std::nullopt;
}

std::int32_t LenientStrToInt(std::string_view s) {
  const Prefix p = ReadPrefix(s);
  std::uint64_t value = 0;
  bool overflow = false;
  for (std::size_t i = p.pos; i < s.size(); ++i) {
    const int digit = p.hex ? HexValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (digit < 0) break;
    value = value * (p.hex ? 16u : 10u) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      break;
    }
  }
  if (p.hex && !overflow) return WrapHex(value, p.negative);
  if (overflow)
    return p.negative ? std::numeric_limits<std::int32_t>::min()
                      : std::numeric_limits<std::int32_t>::max();
  const std::int64_t v =
      p.negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  if (v > kInt32Max) return std::numeric_limits<std::int32_t>::max();
  if (v < kInt32Min) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace velloc::text
