#include "tools/velloc/TerminalText.h"

#include <cstdint>

namespace velloc::cli {
namespace {

// "\xNN" for a byte, "\uNNNN" for a character.
void AppendEscaped(std::string& out, unsigned value, bool character) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += character ? "\\u" : "\\x";
  for (int shift = character ? 12 : 4; shift >= 0; shift -= 4)
    out.push_back(kHex[(value >> shift) & 0xF]);
}

// The length of the UTF-8 sequence a lead byte starts; 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::string TTerminalText::Add(std::string_view bytes) {
  std::string data = FHeld;
  data.append(bytes);
  FHeld.clear();
  std::string out;
  out.reserve(data.size());
  std::size_t i = 0;
  while (i < data.size()) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (byte < 0x80) {
      if (byte == '\n' || byte == '\t' || (byte >= 0x20 && byte != 0x7F)) {
        out.push_back(data[i]);
      } else {
        AppendEscaped(out, byte, false);
      }
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(byte);
    std::size_t valid = length ? 1 : 0;
    while (valid > 0 && valid < length && i + valid < data.size() &&
           IsContinuation(static_cast<unsigned char>(data[i + valid])))
      ++valid;
    if (valid > 0 && valid < length && i + valid == data.size()) {
      FHeld = data.substr(i);  // the rest of the character has not arrived yet
      break;
    }
    std::uint32_t codePoint = 0;
    if (valid == length && length > 0) {
      codePoint = byte & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k)
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(data[i + k]) & 0x3F);
      static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
      if (codePoint < kMinimum[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
          codePoint > 0x10FFFF)
        valid = 0;
    }
    if (valid != length || length == 0) {
      AppendEscaped(out, byte, false);
      ++i;
      continue;
    }
    // The C1 controls are control characters as well: U+009B is the escape sequence CSI.
    if (codePoint >= 0x80 && codePoint <= 0x9F) {
      AppendEscaped(out, codePoint, true);
    } else {
      out.append(data, i, length);
    }
    i += length;
  }
  return out;
}

std::string TTerminalText::Finish() {
  std::string out;
  for (const char c : FHeld)
    AppendEscaped(out, static_cast<unsigned char>(c), false);
  FHeld.clear();
  return out;
}

}  // namespace velloc::cli
