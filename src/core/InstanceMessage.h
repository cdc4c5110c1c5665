// What a later start of a single-instance application hands to the instance already running:
// its command-line arguments. Every later start hands over what it can, so that the running
// window always comes forward; the bytes come from another process, so the reader takes nothing
// on trust and keeps only what is well formed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloc {

inline constexpr std::size_t kMaxInstanceMessage = 64 * 1024;
inline constexpr std::size_t kMaxInstanceArguments = 256;

// "velloc-args 1\n", then each argument as "<length>:<bytes>\n". Bytes that are not UTF-8 (and
// NUL) become U+FFFD. Arguments beyond the limits are left out from the first one that does not
// fit: a list cut short keeps every argument in its place.
std::string EncodeInstanceMessage(const std::vector<std::string>& arguments);
// The arguments of a message as far as it is well formed: a tail that is cut short, malformed
// or beyond the limits is left out; bytes that are not UTF-8 (and NUL) become U+FFFD. None when
// the bytes are no later start's message at all.
std::optional<std::vector<std::string>> DecodeInstanceMessage(std::string_view message);

}  // namespace velloc
