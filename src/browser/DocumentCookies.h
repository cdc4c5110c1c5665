// The cookies of application pages. The web view keeps cookies for web addresses only: on
// Linux an application page ("vlx:", a scheme of our own) would read "" from document.cookie and
// lose what it writes. The backend keeps them itself, and these are the rules it keeps them by:
// those of document.cookie on an https page (RFC 6265bis) for a site that has one host, the
// application. So a cookie has a name, a value, a path and maybe an expiry; Secure is allowed
// (application pages are secure), HttpOnly is not (a page cannot set one), and a Domain
// attribute names a host that application pages do not have, so such a cookie is refused as a
// browser refuses one for another site.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::browser {

struct TDocumentCookie {
  std::string Name;
  std::string Value;
  std::string Path;
  // Seconds since 1970 (UTC); none for a cookie that lasts as long as the application's
  // session. A time not after the moment of writing removes the cookie.
  std::optional<std::int64_t> Expires;
  bool Secure = false;
  // When the cookie was first set, in any unit that keeps the order (the store uses
  // microseconds); earlier cookies come first in the text. A replaced cookie keeps its own.
  std::int64_t Created = 0;
};

// At most this many cookies are kept; beyond it the oldest go, as browsers limit a site.
inline constexpr std::size_t kMaxDocumentCookies = 180;

// The cookie that `document.cookie = text` sets from the document at `documentPath` (its URL's
// path, "/sub/page.html") at time `now`; none when a browser would ignore it.
std::optional<TDocumentCookie> ParseDocumentCookie(std::string_view text,
                                                   std::string_view documentPath, std::int64_t now);

// The text that document.cookie reads at `documentPath`: the cookies whose path matches and that
// have not expired, longer paths first, then older ones, as "a=1; b=2".
std::string DocumentCookieText(std::vector<TDocumentCookie> cookies, std::string_view documentPath,
                               std::int64_t now);

// The parts of the rules above, for their tests.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);
std::string DefaultCookiePath(std::string_view documentPath);
bool CookiePathMatches(std::string_view requestPath, std::string_view cookiePath);

}  // namespace velloc::browser
