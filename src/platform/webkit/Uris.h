// The runtime speaks "file:///" for package pages; WebKit refuses handlers for "file", so the
// module serves them under its own scheme and swaps the prefix both ways.
#pragma once

#include <string>
#include <string_view>

namespace velloc::webkit {

inline constexpr std::string_view kPackageScheme = "vlx";

bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// "file:///x" → "vlx:///x"; any other URI unchanged.
std::string ToPackageUri(std::string_view uri);

// "vlx:..." → "file:..."; any other URI unchanged.
std::string ToFileUri(std::string_view uri);

}  // namespace velloc::webkit
