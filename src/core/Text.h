// Text helpers shared by every layer. Strings are UTF-8 std::string throughout the code base;
// the few rules that are defined on UTF-16 code units convert at the point of use.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velloc::text {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The bytes with every malformed UTF-8 sequence replaced by U+FFFD (one per byte that cannot
// start a sequence); well-formed text comes back unchanged.
std::string ToValidUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8 and hold at least one multi-byte sequence.
bool IsMultiByteUtf8(std::string_view bytes);

// Legacy single-byte decodings into UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);
std::string Windows1252ToUtf8(std::string_view bytes);

// UTF-16 (either byte order) into UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian);

// UTF-8 to UTF-16 code units and back. Malformed UTF-8 bytes become U+FFFD each.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes one code point at `pos` and advances it; a malformed sequence yields U+FFFD and
// consumes one byte.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
std::string AsciiLower(std::string_view s);
bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b);
bool AsciiStartsWithIgnoreCase(std::string_view s, std::string_view prefix);

// Removes characters with codes up to 32 (blanks and control characters) at both ends.
std::string_view TrimControl(std::string_view s);

// Upper-cases letters beyond ASCII as well, for names that compare case-insensitively in
// the user's locale (configuration sections and keys).
std::string LocaleUpper(std::string_view utf8);

void ReplaceAll(std::string& s, std::string_view from, std::string_view to);

// True for C0 controls, DEL and the C1 controls U+0080 to U+009F.
constexpr bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The text with every control character written as "\xNN" (C1 controls as "\u00NN") and each
// backslash doubled, so that names from a package cannot drive a terminal. Malformed UTF-8
// bytes are written as "\xNN" too.
std::string EscapeControl(std::string_view utf8);

// At most `maxBytes` bytes of the text, cut at a character boundary and ended with "..." when
// cut; `maxBytes` must be at least 3. Text shown by the display system goes through this: an X
// request has a size limit, and laying out megabytes of text costs gigabytes.
std::string Abbreviate(std::string_view utf8, std::size_t maxBytes);

}  // namespace velloc::text
