#include "archive/Calculations.h"

#include <stdexcept>
#include <vector>

#include "core/Text.h"

namespace velloc::archive {

namespace {

// Remainder that is never negative, so a shift past 'A' wraps to 'Z'.
int FloorMod(int a, int n) {
  const int r = a % n;
  return r < 0 ? r + n : r;
}

char ShiftBack(char c, int shift) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>('A' + FloorMod(c - shift - 'A', 26));
  if (c >= 'a' && c <= 'z') return static_cast<char>('a' + FloorMod(c - shift - 'a', 26));
  return c;
}

}  // namespace

std::string CalculateWidth(std::string_view text, std::string_view key) {
  std::vector<int> shifts;
  shifts.reserve(key.size());
  for (const char k : key) {
    if (k < 'A' || k > 'Z') throw std::invalid_argument("Invalid character in CalculateWidth key.");
    shifts.push_back(k - 'A');
  }
  if (shifts.empty()) throw std::invalid_argument("CalculateWidth key is empty.");

  std::string result(text);
  std::size_t unit = 0;  // UTF-16 position in the text
  std::size_t pos = 0;
  while (pos < result.size()) {
    const std::size_t start = pos;
    const char32_t cp = text::NextCodePoint(result, pos);
    if (pos == start + 1) {
      result[start] = ShiftBack(result[start], shifts[unit % shifts.size()]);
    }
    unit += cp > 0xFFFF ? 2 : 1;
  }
  return result;
}

}  // namespace velloc::archive
