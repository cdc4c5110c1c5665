// What the display stack survives: the bounds that text and window sizes from a page or a
// package are kept within before they reach X11, GTK or WebKit. No GTK header here, so the
// rules can be tested headless.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/Text.h"
#include "platform/Window.h"

namespace velloc::platform::gtk {

// A title travels to the X server as window properties (UTF-8 and a legacy encoding that can
// be longer). A core X request carries at most 256 KiB, and a title of megabytes fails with
// BadLength and ends the process; no window manager shows more than a line of it anyway.
inline constexpr std::size_t kMaxTitleBytes = 4096;

// A message dialog lays its whole text out in one label and sizes its window to fit: text of
// megabytes costs gigabytes of layout, and a label taller than the screen hides the buttons.
// 40 lines of about 50 characters fit a 1024-pixel screen.
inline constexpr std::size_t kMaxMessageBytes = 2000;
inline constexpr std::size_t kMaxMessageLines = 40;

// X11 keeps window sizes in 16 bits and WebKit's web process crashes at 32,767 pixels; below
// that, the window's buffers grow with its area. Measured under Xvfb: a 16,384-pixel square
// took the runtime to 2.2 GB and 22 s per resize, 8,192 to 660 MB and 3 s. 8,192 pixels holds
// an 8K screen and two 4K screens side by side.
inline constexpr int kMaxWindowExtent = 8192;

inline std::string DisplayTitle(std::string_view title) {
  return text::Abbreviate(title, kMaxTitleBytes);
}

inline std::string DisplayMessage(std::string_view message) {
  // Past the newline that ends line kMaxMessageLines, or npos when there are fewer lines.
  std::size_t end = 0;
  for (std::size_t line = 0; line < kMaxMessageLines && end != std::string_view::npos; ++line) {
    end = message.find('\n', end);
    if (end != std::string_view::npos) ++end;
  }
  const bool tooManyLines = end != std::string_view::npos && end < message.size();
  if (!tooManyLines || end + 2 > kMaxMessageBytes)
    return text::Abbreviate(message, kMaxMessageBytes);
  return std::string(message.substr(0, end - 1)) + "...";
}

// A size in pixels as the display can have it; 0 and below are left for the caller's rules
// (no limit, or the smallest size).
inline int ClampExtent(int value) {
  return std::min(value, kMaxWindowExtent);
}

inline TRect ClampBounds(const TRect& bounds) {
  return {std::clamp(bounds.Top, -kMaxWindowExtent, kMaxWindowExtent),
          std::clamp(bounds.Left, -kMaxWindowExtent, kMaxWindowExtent),
          std::clamp(bounds.Width, 1, kMaxWindowExtent),
          std::clamp(bounds.Height, 1, kMaxWindowExtent)};
}

inline TSizeConstraints ClampConstraints(const TSizeConstraints& limits) {
  const auto clamp = [](int value) { return value <= 0 ? 0 : ClampExtent(value); };
  return {clamp(limits.MaxWidth), clamp(limits.MaxHeight), clamp(limits.MinWidth),
          clamp(limits.MinHeight)};
}

}  // namespace velloc::platform::gtk
