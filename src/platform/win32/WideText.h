// UTF-8 <-> UTF-16 at the Win32 boundary: the code base speaks UTF-8, the W functions take
// wchar_t strings. Malformed UTF-8 and lone surrogates become U+FFFD, so a bad name from a page
// or a package can never reach a Win32 call half-converted.
#pragma once

#include <string>
#include <string_view>

namespace velloc::platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code (a Win32 error or an HRESULT), without the line end and
// final full stop it carries; "Error <code>" when the system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace velloc::platform::win32
