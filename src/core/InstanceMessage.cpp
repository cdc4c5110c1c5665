#include "core/InstanceMessage.h"

#include "core/Text.h"

namespace velloc {
namespace {

constexpr std::string_view kHeader = "velloc-args 1\n";

}  // namespace

std::string EncodeInstanceMessage(const std::vector<std::string>& arguments) {
  if (arguments.size() > kMaxInstanceArguments) return {};
  std::string message(kHeader);
  for (const std::string& argument : arguments) {
    message += std::to_string(argument.size());
    message += ':';
    message += argument;
    message += '\n';
  }
  if (message.size() > kMaxInstanceMessage) return {};
  return message;
}

std::optional<std::vector<std::string>> DecodeInstanceMessage(std::string_view message) {
  if (message.size() > kMaxInstanceMessage || message.substr(0, kHeader.size()) != kHeader) {
    return std::nullopt;
  }
  message.remove_prefix(kHeader.size());
  std::vector<std::string> arguments;
  while (!message.empty()) {
    if (arguments.size() == kMaxInstanceArguments) return std::nullopt;
    std::size_t length = 0;
    std::size_t digits = 0;
    while (digits < message.size() && message[digits] >= '0' && message[digits] <= '9') {
      if (digits == 6) return std::nullopt;  // no argument is a megabyte long
      length = length * 10 + static_cast<std::size_t>(message[digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits >= message.size() || message[digits] != ':') return std::nullopt;
    message.remove_prefix(digits + 1);
    if (length >= message.size() || message[length] != '\n') return std::nullopt;
    const std::string_view argument = message.substr(0, length);
    if (!text::IsValidUtf8(argument) || argument.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
    arguments.emplace_back(argument);
    message.remove_prefix(length + 1);
  }
  return arguments;
}

}  // namespace velloc
