#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/SystemText.h"

namespace velloc::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one well-formed sequence; returns its length, or 0 when malformed.
std::size_t DecodeOne(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1Fu;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0Fu;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<std::uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control of equal value.
constexpr std::array<char16_t, 32> kCp1252C1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp;
    const std::size_t len = DecodeOne(bytes, pos, cp);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::string ToValidUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size())
    AppendUtf8(out, NextCodePoint(bytes, pos));
  return out;
}

bool IsMultiByteUtf8(std::string_view bytes) {
  bool multi = false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp;
    const std::size_t len = DecodeOne(bytes, pos, cp);
    if (len == 0) return false;
    multi = multi || len > 1;
    pos += len;
  }
  return multi;
}

char32_t NextCodePoint(std::string_view utf8, std::size_t& pos) {
  char32_t cp;
  const std::size_t len = DecodeOne(utf8, pos, cp);
  if (len == 0) {
    ++pos;
    return kReplacement;
  }
  pos += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Cp437ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    AppendUtf8(out, b < 0x80 ? b : kCp437High[b - 0x80u]);
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kCp1252C1[b - 0x80u] : b);
  }
  return out;
}

std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto hi = bigEndian ? bytes[i] : bytes[i + 1];
    const auto lo = bigEndian ? bytes[i + 1] : bytes[i];
    units.push_back(static_cast<char16_t>((hi << 8) | lo));
  }
  return Utf16ToUtf8(units);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = NextCodePoint(utf8, pos);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{utf16[i + 1]} - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD inside AppendUtf8
    }
  }
  return out;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool AsciiStartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && AsciiEqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimControl(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<std::uint8_t>(s[b]) <= 32)
    ++b;
  while (e > b && static_cast<std::uint8_t>(s[e - 1]) <= 32)
    --e;
  return s.substr(b, e - b);
}

std::string LocaleUpper(std::string_view utf8) {
  // ASCII-only text, the common case of keys and names, needs no trip through the system.
  const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    std::string out(utf8);
    for (char& c : out)
      c = AsciiUpper(c);
    return out;
  }
  std::u16string units = Utf8ToUtf16(utf8);
  platform::UpperCaseByLocale(units);
  return Utf16ToUtf8(units);
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
}

std::string EscapeControl(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  char hex[8];
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    char32_t cp = 0;
    const std::size_t length = DecodeOne(utf8, pos, cp);
    if (length == 0) {
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(utf8[pos]));
      out += hex;
      ++pos;
      continue;
    }
    pos += length;
    if (cp == '\\') {
      out += "\\\\";
    } else if (cp < 0x80 && IsControl(cp)) {
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(cp));
      out += hex;
    } else if (IsControl(cp)) {
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(cp));
      out += hex;
    } else {
      out.append(utf8.substr(start, length));
    }
  }
  return out;
}

std::string Abbreviate(std::string_view utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return std::string(utf8);
  std::size_t cut = maxBytes - 3;
  // Back to the start of a character: continuation bytes are 10xxxxxx.
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
    --cut;
  std::string out(utf8.substr(0, cut));
  out += "...";
  return out;
}

}  // namespace velloc::text
