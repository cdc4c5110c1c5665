// Cross-origin reads of the application's documents, when its arguments ask for them
// ("--disable-web-security"). The flag itself never reaches the browser: it would switch off the
// same-origin policy between frames too, and a remote frame could then script an application
// page and its bridge. Instead the backend sees the fetch and XHR requests of every page
// (a filter of those two kinds), and answers the ones whose Origin is the application's
// (Chromium sets the header; a page cannot forge it): a preflight with its permission, any other
// request by making it again outside the browser and answering with the server's status,
// headers and body plus CORS headers for the application's origin only. Remote documents keep
// ordinary CORS; navigations and no-cors loads go to the network as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <windows.h>
#include <winhttp.h>

#include "browser/CrossOriginReads.h"
#include "platform/webview2/WebView2Origin.h"

namespace velloc::platform::webview2 {

using THeaderList = std::vector<std::pair<std::string, std::string>>;

// A request of an application document to a web server, as the page made it.
struct TForwardRequest {
  std::string Method = "GET";
  std::string Uri;
  THeaderList Headers;
  std::vector<std::uint8_t> Body;
};

// The server's answer, redirects followed; the body read whole.
struct TForwardResponse {
  int StatusCode = 0;
  std::string ReasonPhrase;
  THeaderList Headers;
  std::vector<std::uint8_t> Body;
};

// Makes a request and calls `done` on the UI thread with the answer, or with no value when
// there is none (no connection, a body too large): the page then sees the browser's own
// failure. `done` is called once.
using TForwarder = std::function<void(TForwardRequest request,
                                      std::function<void(std::optional<TForwardResponse>)> done)>;

// The value of the first header of that name (letter case ignored).
std::optional<std::string> HeaderValue(const THeaderList& headers, std::string_view name);

// Whether the backend answers this request for the page: an http(s) request of another origin
// whose Origin header is the application's.
bool IsCrossOriginReadOfApplication(std::string_view uri, const THeaderList& headers);

// The answer to a CORS preflight (an OPTIONS request naming the method it asks for), or no
// value for any other request.
std::optional<TResourceAnswer> PreflightAnswer(std::string_view method, const THeaderList& headers);

// The page's headers as they go to the server: without what the browser added for itself
// (Origin, Referer, fetch metadata) and what the request layer sets (Host, lengths, encodings).
THeaderList ForwardedRequestHeaders(const THeaderList& headers);

// The server's answer as the page gets it: its status and headers without its own CORS headers,
// cookies (the browser's cookie store is not the forwarder's) and transfer encodings, with CORS
// headers that let the application's origin, and only it, read everything.
TResourceAnswer CrossOriginAnswer(TForwardResponse response);

// The forwarder of the runtime: WinHTTP with the system's proxy settings, one thread per request,
// the answer delivered to the UI thread through a message-only window. Made on the UI thread.
// Redirects are followed here, one request at a time, by the core's rule
// (browser::NextRequest): the page's Authorization goes to its own origin only. No cookies go
// or are kept, in any credentials mode: the browser's cookie store is not WinHTTP's. WebView2
// does not say when a page drops a request whose answer is pending, so a read runs to its end
// or to kMaxBodyBytes; it has a connection of its own (WinHTTP opens as many per server as are
// asked for), so it holds up no other read of the server.
class TWinHttpForwarder {
 public:
  // Bodies larger than this are not forwarded (the answer is read whole before the page sees
  // it).
  static constexpr std::size_t kMaxBodyBytes = browser::kMaxForwardedBodyBytes;

  TWinHttpForwarder();
  ~TWinHttpForwarder();
  TWinHttpForwarder(const TWinHttpForwarder&) = delete;
  TWinHttpForwarder& operator=(const TWinHttpForwarder&) = delete;

  // Blocking: makes the request on the calling thread. No value when it cannot be made.
  std::optional<TForwardResponse> Send(const TForwardRequest& request) const;

  // The TForwarder of a web view. An answer that comes after the forwarder has gone is dropped.
  TForwarder Forwarder();

 private:
  struct TShared;
  std::shared_ptr<TShared> FShared;
};

}  // namespace velloc::platform::webview2
