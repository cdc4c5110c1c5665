// Rules for the cross-origin reads that the runtime makes again for application documents
// ("--disable-web-security"), the same on every platform: the next request of a redirect chain
// and what it keeps of the page's request, and how large a body may be. The backends make the
// requests; each hop is made by them, so that what belongs to one server (its cookies, the
// page's Authorization for it) never goes to another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velloc::browser {

// The most bytes of one body, the page's or the server's, that a forwarded read carries. The
// runtime's own process holds what the page has not taken yet (Windows reads an answer whole
// before the page sees it; on Linux WebKit's process for the window queues the parts the web
// process has not received), so an answer that never ends would otherwise take memory without
// end. The same figure on every platform: an application that reads a body works alike on both.
inline constexpr std::uint64_t kMaxForwardedBodyBytes = std::uint64_t{256} << 20;

// Redirects one read follows before it fails, as the Fetch standard's.
inline constexpr int kMaxForwardedRedirects = 20;

// `reference` (a Location header) resolved against the absolute URI `base` (RFC 3986, 5.2),
// without its fragment.
std::string ResolveReference(std::string_view base, std::string_view reference);

// Whether two absolute http(s) URIs have one origin: scheme, host and port (a default port
// written or not), letter case of scheme and host ignored.
bool IsSameHttpOrigin(std::string_view a, std::string_view b);

// What comes after an answer of a forwarded read.
struct TRedirect {
  enum TKind {
    Final,    // the answer is the page's (not a redirect, or one without a Location)
    Follow,   // the next request, below
    Refused,  // a redirect that may not be followed: the read fails as the browser's would
  } Kind = Final;
  std::string Uri;
  std::string Method;
  // The body and the headers that describe it (Content-Type and the like) stay behind: a 303,
  // or a POST answered with 301 or 302, becomes a GET.
  bool DropsBody = false;
  // The next server is another origin: the page's Authorization stays behind for the rest of
  // the chain (the cookies are chosen for each request by its own URI anyway).
  bool CrossOrigin = false;
};

// After the answer `status` with the Location header `location` to `method` at `uri`, when
// `redirects` redirects of the read have been followed already.
TRedirect NextRequest(int status, std::string_view method, std::string_view uri,
                      std::optional<std::string_view> location, int redirects);

// The headers that describe a request's body, which go with it (Fetch's request-body-header
// names).
bool IsBodyHeader(std::string_view name);

}  // namespace velloc::browser
