#include "core/InstanceMessage.h"

#include "core/Text.h"

namespace velloc {
namespace {

constexpr std::string_view kHeader = "velloc-args 1\n";

// Text that every reader takes as it is: valid UTF-8 without NUL, which the page's string and
// the platform's C strings would end at.
std::string Sanitized(std::string_view argument) {
  std::string clean = text::ToValidUtf8(argument);
  text::ReplaceAll(clean, std::string_view("\0", 1), "\xEF\xBF\xBD");  // U+FFFD
  return clean;
}

}  // namespace

std::string EncodeInstanceMessage(const std::vector<std::string>& arguments) {
  std::string message(kHeader);
  for (std::size_t i = 0; i < arguments.size() && i < kMaxInstanceArguments; ++i) {
    const std::string argument = Sanitized(arguments[i]);
    std::string item = std::to_string(argument.size()) + ':' + argument + '\n';
    if (message.size() + item.size() > kMaxInstanceMessage) break;
    message += item;
  }
  return message;
}

std::optional<std::vector<std::string>> DecodeInstanceMessage(std::string_view message) {
  if (message.substr(0, kHeader.size()) != kHeader) return std::nullopt;
  message = message.substr(0, kMaxInstanceMessage);
  message.remove_prefix(kHeader.size());
  std::vector<std::string> arguments;
  while (!message.empty() && arguments.size() < kMaxInstanceArguments) {
    std::size_t length = 0;
    std::size_t digits = 0;
    while (digits < message.size() && digits < 6 && message[digits] >= '0' &&
           message[digits] <= '9') {
      length = length * 10 + static_cast<std::size_t>(message[digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits >= message.size() || message[digits] != ':') break;
    message.remove_prefix(digits + 1);
    if (length >= message.size() || message[length] != '\n') break;
    arguments.push_back(Sanitized(message.substr(0, length)));
    message.remove_prefix(length + 1);
  }
  return arguments;
}

}  // namespace velloc
