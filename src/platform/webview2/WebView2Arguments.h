// The browser arguments of the application (WebviewArguments, which start-up puts into
// WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS) as the browser gets them: never with web security
// switched off. "--disable-web-security" would lift the same-origin policy between all frames,
// and a remote frame could script an application page and its bridge; what the application
// asks for with it (reading web servers that send no CORS headers) it gets from the backend
// instead (WebView2CrossOrigin.h).
#pragma once

#include <string>
#include <string_view>

namespace velloc::platform::webview2 {

struct TBrowserArguments {
  std::wstring Line;              // the arguments without the switch
  bool CrossOriginReads = false;  // the switch was there
};

// Splits the line as the browser does (CommandLineToArgvW), drops every form of the switch
// Chromium accepts on Windows ("--", "-" or "/", any letter case, with or without a value),
// and joins the rest again, quoted where needed. Switches end at a bare "--".
TBrowserArguments SanitizedBrowserArguments(std::wstring_view line);

}  // namespace velloc::platform::webview2
