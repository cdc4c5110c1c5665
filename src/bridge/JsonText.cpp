#include "bridge/JsonText.h"

#include <vector>

namespace velloc::bridge {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of a "\uXXXX" escape whose backslash is at `at`, or -1.
int EscapedUnit(std::string_view json, std::size_t at) {
  if (at + 6 > json.size() || json[at] != '\\' || json[at + 1] != 'u') return -1;
  int unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const int digit = HexDigit(json[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

bool IsHigh(int unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(int unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::optional<std::string> ReplaceLoneSurrogates(std::string_view json) {
  std::vector<std::size_t> lone;  // offsets of the escapes to replace
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (json[i] != '\\') continue;
    const int unit = EscapedUnit(json, i);
    if (unit < 0) {
      ++i;  // any other escape, "\\" included: its second character is not a backslash
      continue;
    }
    if (IsHigh(unit) && IsLow(EscapedUnit(json, i + 6))) {
      i += 11;  // a pair
    } else {
      if (IsHigh(unit) || IsLow(unit)) lone.push_back(i);
      i += 5;
    }
  }
  if (lone.empty()) return std::nullopt;
  std::string fixed(json);
  for (const std::size_t at : lone)
    fixed.replace(at + 2, 4, "fffd");
  return fixed;
}

}  // namespace velloc::bridge
