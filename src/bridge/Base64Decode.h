// The lenient base64 decoder of vlx.base64.decodeToFile. It never rejects input: pages are told
// to pass bare base64, and whatever they pass decodes to some bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velloc::bridge {

// Decodes the text in groups of four characters from its start (standard alphabet, "=" as fill);
// characters after the last complete group are ignored. Each group gives three bytes; when the
// last character of the last complete group is "=" the output loses its last byte, and one
// more when the character before it is "=" too.
//
// Characters count as UTF-16 code units, as pages count them (a character beyond U+FFFF is two).
// Every character outside the alphabet, blanks and line breaks included, and every "=" that is
// not fill, stands for the value 0.
std::vector<std::uint8_t> DecodeBase64Lenient(std::string_view text);

}  // namespace velloc::bridge
