#include "bridge/WindowNames.h"

#include <array>
#include <charconv>
#include <cmath>

#include "core/Text.h"

namespace velloc::bridge {
namespace {

constexpr std::array<std::string_view, 6> kBorderNames = {"none",   "single",     "sizeable",
                                                          "dialog", "toolwindow", "sizetoolwindow"};

}  // namespace

std::string_view BorderStyleName(platform::TBorderStyle style) {
  const auto index = static_cast<std::size_t>(style);
  return index < kBorderNames.size() ? kBorderNames[index] : "sizeable";
}

std::optional<platform::TBorderStyle> BorderStyleFromName(std::string_view name) {
  for (std::size_t i = 0; i < kBorderNames.size(); ++i) {
    if (kBorderNames[i] == name) return static_cast<platform::TBorderStyle>(i);
  }
  return std::nullopt;
}

std::string_view WindowStateName(platform::TWindowState state) {
  switch (state) {
    case platform::TWindowState::Minimized:
      return "minimized";
    case platform::TWindowState::Maximized:
      return "maximized";
    case platform::TWindowState::Normal:
      break;
  }
  return "normal";
}

std::string FormatFloat(double value, char decimalSeparator) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  // to_chars writes the shortest general form already; only the separator is the locale's.
  for (char& c : text) {
    if (c == '.') c = decimalSeparator;
  }
  return text;
}

std::optional<double> ParseFloatWithDot(std::string_view text) {
  const std::string_view t = text::TrimControl(text);
  if (t.empty()) return std::nullopt;
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (*first == '+') ++first;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace velloc::bridge
