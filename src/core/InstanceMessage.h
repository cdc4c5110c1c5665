// What a later start of a single-instance application hands to the instance already running:
// its command-line arguments. The bytes come from another process, so the reader takes nothing
// on trust: a message beyond the limits, cut short, malformed or not UTF-8 is dropped whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloc {

inline constexpr std::size_t kMaxInstanceMessage = 64 * 1024;
inline constexpr std::size_t kMaxInstanceArguments = 256;

// "velloc-args 1\n", then each argument as "<length>:<bytes>\n". Empty when the arguments do
// not fit the limits (the later start then hands over nothing).
std::string EncodeInstanceMessage(const std::vector<std::string>& arguments);
std::optional<std::vector<std::string>> DecodeInstanceMessage(std::string_view message);

}  // namespace velloc
