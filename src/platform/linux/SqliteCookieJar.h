// The cookies of application pages (browser/DocumentCookies.h) in one SQLite file of the
// application's data folder, so that every window and instance of the application shares them
// and they outlast a restart. The web view's processes read and write it directly: document.cookie
// is synchronous, and the file is the one place all of them reach at once. WAL journal, a busy
// timeout and BEGIN IMMEDIATE let several processes use it at the same time.
//
// The file is opened on first use; a file that cannot be used reads as no cookies and keeps
// nothing, with one message on standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct sqlite3;

namespace velloc::platform {

class TSqliteCookieJar {
 public:
  explicit TSqliteCookieJar(std::string path) : FPath(std::move(path)) {}
  ~TSqliteCookieJar();
  TSqliteCookieJar(const TSqliteCookieJar&) = delete;
  TSqliteCookieJar& operator=(const TSqliteCookieJar&) = delete;

  // What document.cookie reads in the document whose URL has this path ("/sub/page.html").
  std::string Read(std::string_view documentPath);
  // `document.cookie = text` in that document.
  void Write(std::string_view text, std::string_view documentPath);
  // Forgets the cookies that last only as long as the application's session.
  void EndSession();

  // The clock, in seconds since 1970, for tests; the system's when empty.
  std::function<std::int64_t()> Now;

 private:
  bool Open();
  std::int64_t NowMicroseconds() const;

  std::string FPath;
  sqlite3* FDb = nullptr;
  bool FFailed = false;
};

// Session cookies last while any instance of the application runs, as a browser's last until it
// quits: the first instance to start ends the last session. The process holds a shared lock on
// a file beside the cookies for as long as it runs (the descriptor is not inherited).
void StartCookieSession(const std::string& cookieFile);

}  // namespace velloc::platform
