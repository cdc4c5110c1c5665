// Names the window functions use for border styles, states and stacking, and the number texts
// of the zoom factor.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Window.h"

namespace velloc::bridge {

// "none", "single", "sizeable", "dialog", "toolwindow", "sizetoolwindow".
std::string_view BorderStyleName(platform::TBorderStyle style);
// The style of an exact name, or no value.
std::optional<platform::TBorderStyle> BorderStyleFromName(std::string_view name);

std::string_view WindowStateName(platform::TWindowState state);

// General format with at most 15 significant digits, no trailing zeros, and the given decimal
// separator: 1.25 → "1.25" (or "1,25"), 1 → "1".
std::string FormatFloat(double value, char decimalSeparator);
// A number written with a full stop as decimal separator, whatever the locale; blanks around it
// are allowed. No value for anything else.
std::optional<double> ParseFloatWithDot(std::string_view text);

}  // namespace velloc::bridge
