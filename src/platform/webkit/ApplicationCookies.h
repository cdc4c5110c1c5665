// The cookies of package documents. WebKit keeps cookies for web addresses only: on a "vlx:" page
// document.cookie would read "" and lose what it writes. The module keeps them itself, by
// libsoup's cookie rules (those of WebKit's own jar), for a document taken as
// "https://velloc.localhost/<its path>": one secure host of the application's, as on Windows.
//
// They live in one SQLite file of the application's data folder, which every web process of every
// instance opens itself: document.cookie is synchronous, and the file is the one place all of
// them reach at once. WAL journal, a busy timeout and BEGIN IMMEDIATE let several processes use
// it at the same time. libsoup's own SQLite jar (SoupCookieJarDB) cannot be that store: it reads
// the file once, when it opens, so it never sees what other processes write, and it does not
// write session cookies, which the windows of a running application share.
//
// The file is opened on first use; a file that cannot be used reads as no cookies and keeps
// nothing, with one message on standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct sqlite3;

namespace velloc::webkit {

// The host that application documents have for their cookies. Under ".localhost" (RFC 6761) it
// can never be a real site's; it is the application's host on Windows too, so that `Domain=`
// behaves alike on both platforms: the host itself is taken, any other domain refused.
inline constexpr const char* kCookieHost = "velloc.localhost";

// At most this many cookies are kept; beyond it the oldest go, as browsers limit a site.
inline constexpr std::size_t kMaxApplicationCookies = 180;

class TApplicationCookies {
 public:
  explicit TApplicationCookies(std::string path) : FPath(std::move(path)) {}
  ~TApplicationCookies();
  TApplicationCookies(const TApplicationCookies&) = delete;
  TApplicationCookies& operator=(const TApplicationCookies&) = delete;

  // What document.cookie reads in the package document whose URI has this path
  // ("/sub/page.html", escaped as in the URI).
  std::string Read(std::string_view documentPath);
  // `document.cookie = text` in that document.
  void Write(std::string_view text, std::string_view documentPath);
  // Forgets the cookies that last only as long as the application's session.
  void EndSession();

 private:
  bool Open();

  std::string FPath;
  sqlite3* FDb = nullptr;
  bool FFailed = false;
};

// Session cookies last while any instance of the application runs, as a browser's last until it
// quits: the first instance to start ends the last session. The process holds a shared lock on
// a file beside the cookies for as long as it runs (the descriptor is not inherited).
void StartCookieSession(const std::string& cookieFile);

}  // namespace velloc::webkit
