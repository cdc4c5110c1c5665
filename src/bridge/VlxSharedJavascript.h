// The page script that defines window.vlx, built into the library from js/vlx_shared.js.
#pragma once

#include <string_view>

namespace velloc::bridge {

// VLX_SHARED_JAVASCRIPT: UTF-8 script text, the same on every platform.
std::string_view VlxSharedJavascript();

}  // namespace velloc::bridge
