#include "bridge/Base64Decode.h"

#include <array>

#include "core/Text.h"

namespace velloc::bridge {
namespace {

constexpr std::array<std::uint8_t, 128> MakeAlphabet() {
  std::array<std::uint8_t, 128> values{};  // anything else: 0
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
constexpr std::array<std::uint8_t, 128> kValues = MakeAlphabet();

// The character marks of the text, one per UTF-16 code unit: the ASCII character itself, or
// 0x80 for a unit outside ASCII (which has no place in the alphabet and is not "=").
constexpr char kForeign = '\x80';

}  // namespace

std::vector<std::uint8_t> DecodeBase64Lenient(std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  std::array<char, 4> group{};
  std::size_t filled = 0;
  char previousLast[2] = {0, 0};  // the last two characters of the last complete group
  const auto emit = [&](char c) {
    group[filled++] = c;
    if (filled < 4) return;
    filled = 0;
    std::uint32_t bits = 0;
    for (const char g : group) {
      const auto u = static_cast<unsigned char>(g);
      bits = (bits << 6) | (u < 0x80 ? kValues[u] : 0u);
    }
    out.push_back(static_cast<std::uint8_t>(bits >> 16));
    out.push_back(static_cast<std::uint8_t>(bits >> 8));
    out.push_back(static_cast<std::uint8_t>(bits));
    previousLast[0] = group[2];
    previousLast[1] = group[3];
  };
  for (std::size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      emit(static_cast<char>(byte));
      ++pos;
    } else {
      const char32_t codePoint = text::NextCodePoint(text, pos);
      emit(kForeign);
      if (codePoint > 0xFFFF) emit(kForeign);  // a surrogate pair
    }
  }
  if (previousLast[1] == '=') {
    out.pop_back();
    if (previousLast[0] == '=') out.pop_back();
  }
  return out;
}

}  // namespace velloc::bridge
