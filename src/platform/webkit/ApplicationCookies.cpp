#include "platform/webkit/ApplicationCookies.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <libsoup/soup.h>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::webkit {
namespace {

constexpr int kBusyTimeoutMs = 2000;

// A cookie as libsoup holds it, keyed as libsoup matches them: name, domain (the host, or
// ".velloc.localhost" for one set with its Domain attribute) and path. SameSite is not kept:
// only the application's own documents read these cookies, and they are one site.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS document_cookies(
  name TEXT NOT NULL,
  domain TEXT NOT NULL,
  path TEXT NOT NULL,
  value TEXT NOT NULL,
  expires INTEGER,
  secure INTEGER NOT NULL,
  created INTEGER NOT NULL,
  PRIMARY KEY(name, domain, path)
);
)sql";

struct TCookieFree {
  void operator()(SoupCookie* cookie) const { soup_cookie_free(cookie); }
};
using TCookie = std::unique_ptr<SoupCookie, TCookieFree>;

struct TUriUnref {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using TUri = std::unique_ptr<GUri, TUriUnref>;

// A prepared statement that finalizes itself.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &FStatement, nullptr);
  }
  ~TStatement() { sqlite3_finalize(FStatement); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  explicit operator bool() const { return FStatement != nullptr; }
  sqlite3_stmt* Get() const { return FStatement; }
  void Bind(int index, const char* text) {
    sqlite3_bind_text(FStatement, index, text, -1, SQLITE_TRANSIENT);
  }
  void Bind(int index, std::int64_t value) { sqlite3_bind_int64(FStatement, index, value); }
  const char* Text(int column) const {
    const auto* text = sqlite3_column_text(FStatement, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  bool Done() { return FStatement && sqlite3_step(FStatement) == SQLITE_DONE; }

 private:
  sqlite3_stmt* FStatement = nullptr;
};

bool Execute(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// What libsoup's rules see of a package document: the same path on the application's host.
TUri DocumentUri(std::string_view documentPath) {
  const std::string path(documentPath.starts_with('/') ? documentPath : "/");
  return TUri(g_uri_build(G_URI_FLAGS_ENCODED, "https", nullptr, kCookieHost, -1, path.c_str(),
                          nullptr, nullptr));
}

// A jar of libsoup's holding the stored cookies that have not expired (all, or those of one
// name), oldest first: libsoup lists cookies of equal path length in the order they came in.
glib::TObjectPtr<SoupCookieJar> Load(sqlite3* db, const char* name) {
  glib::TObjectPtr<SoupCookieJar> jar(soup_cookie_jar_new());
  TStatement select(db,
                    "SELECT name, value, domain, path, expires, secure FROM document_cookies "
                    "WHERE (expires IS NULL OR expires > ?1) AND (?2 IS NULL OR name = ?2) "
                    "ORDER BY created, rowid");
  if (!select) return jar;
  select.Bind(1, NowSeconds());
  if (name) select.Bind(2, name);
  while (sqlite3_step(select.Get()) == SQLITE_ROW) {
    TCookie cookie(
        soup_cookie_new(select.Text(0), select.Text(1), select.Text(2), select.Text(3), -1));
    if (sqlite3_column_type(select.Get(), 4) != SQLITE_NULL) {
      GDateTime* expires = g_date_time_new_from_unix_utc(sqlite3_column_int64(select.Get(), 4));
      if (!expires) continue;
      soup_cookie_set_expires(cookie.get(), expires);
      g_date_time_unref(expires);
    }
    soup_cookie_set_secure(cookie.get(), sqlite3_column_int(select.Get(), 5) != 0);
    soup_cookie_jar_add_cookie(jar.Get(), cookie.release());
  }
  return jar;
}

bool HasPrefix(const char* text, const char* prefix) {
  return g_ascii_strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

// What a page may not set though soup_cookie_parse() takes it and the jar would keep it. An
// HttpOnly cookie: a script never may set one. And what later libsoup refuses itself (3.4, 3.6)
// and Debian 12's 3.2 takes: a cookie with neither name nor value, one whose name and value
// exceed 4096 bytes, one that does not keep the promise of its "__Secure-" or "__Host-" name
// (Secure; for "__Host-" also the path "/" and no Domain), and one with no name whose value
// passes for such a name.
bool RefusedFromScript(SoupCookie* cookie) {
  const char* name = soup_cookie_get_name(cookie);
  const char* value = soup_cookie_get_value(cookie);
  if (soup_cookie_get_http_only(cookie)) return true;
  if ((!*name && !*value) || std::strlen(name) + std::strlen(value) > 4096) return true;
  if (!*name && (HasPrefix(value, "__Secure-") || HasPrefix(value, "__Host-"))) return true;
  const bool secure = soup_cookie_get_secure(cookie);
  if (HasPrefix(name, "__Secure-") && !secure) return true;
  return HasPrefix(name, "__Host-") &&
         (!secure || std::strcmp(soup_cookie_get_path(cookie), "/") != 0 ||
          soup_cookie_get_domain(cookie)[0] == '.');
}

struct TChange {
  TCookie Old, New;
};

void OnJarChanged(SoupCookieJar*, SoupCookie* old, SoupCookie* replacement, gpointer data) {
  glib::Guarded("recording a cookie change", [&] {
    static_cast<std::vector<TChange>*>(data)->push_back(
        {TCookie(old ? soup_cookie_copy(old) : nullptr),
         TCookie(replacement ? soup_cookie_copy(replacement) : nullptr)});
  });
}

// Keeps what libsoup's jar decided. A cookie set again keeps its creation time, and so its place
// among the others, as RFC 6265 says and Chromium does.
bool Store(sqlite3* db, const TChange& change, std::int64_t createdMicros) {
  if (!change.New) {
    TStatement remove(db,
                      "DELETE FROM document_cookies WHERE name = ?1 AND domain = ?2 AND path = ?3");
    remove.Bind(1, soup_cookie_get_name(change.Old.get()));
    remove.Bind(2, soup_cookie_get_domain(change.Old.get()));
    remove.Bind(3, soup_cookie_get_path(change.Old.get()));
    return remove.Done();
  }
  SoupCookie* cookie = change.New.get();
  TStatement upsert(db,
                    "INSERT INTO document_cookies(name, domain, path, value, expires, secure, "
                    "created) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) "
                    "ON CONFLICT(name, domain, path) DO UPDATE SET value = excluded.value, "
                    "expires = excluded.expires, secure = excluded.secure");
  upsert.Bind(1, soup_cookie_get_name(cookie));
  upsert.Bind(2, soup_cookie_get_domain(cookie));
  upsert.Bind(3, soup_cookie_get_path(cookie));
  upsert.Bind(4, soup_cookie_get_value(cookie));
  if (GDateTime* expires = soup_cookie_get_expires(cookie))
    upsert.Bind(5, std::int64_t{g_date_time_to_unix(expires)});
  upsert.Bind(6, std::int64_t{soup_cookie_get_secure(cookie) ? 1 : 0});
  upsert.Bind(7, createdMicros);
  return upsert.Done();
}

}  // namespace

TApplicationCookies::~TApplicationCookies() {
  if (FDb) sqlite3_close(FDb);
}

bool TApplicationCookies::Open() {
  if (FDb) return true;
  if (FFailed) return false;
  // Owner-only, as the rest of the application's data.
  const mode_t previous = ::umask(077);
  const int code =
      sqlite3_open_v2(FPath.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  ::umask(previous);
  if (code == SQLITE_OK) {
    sqlite3_busy_timeout(FDb, kBusyTimeoutMs);
    // A page may set cookies in a loop: with the write-ahead log, a write that waits for the
    // disk only at checkpoints survives a crash of the application, as a browser's do.
    if (Execute(FDb, "PRAGMA journal_mode = WAL") && Execute(FDb, "PRAGMA synchronous = NORMAL") &&
        Execute(FDb, kSchema)) {
      return true;
    }
  }
  std::fprintf(stderr, "velloc: the cookies of the application's pages cannot be kept in %s: %s\n",
               FPath.c_str(), FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(code));
  sqlite3_close(FDb);
  FDb = nullptr;
  FFailed = true;
  return false;
}

std::string TApplicationCookies::Read(std::string_view documentPath) {
  if (!Open()) return {};
  const glib::TObjectPtr<SoupCookieJar> jar = Load(FDb, nullptr);
  const TUri uri = DocumentUri(documentPath);
  glib::TGFree<char> text(soup_cookie_jar_get_cookies(jar.Get(), uri.get(), FALSE));
  return text.Get() ? text.Get() : "";
}

void TApplicationCookies::Write(std::string_view text, std::string_view documentPath) {
  const TUri uri = DocumentUri(documentPath);
  TCookie cookie(soup_cookie_parse(std::string(text).c_str(), uri.get()));
  if (!cookie || RefusedFromScript(cookie.get()) || !Open()) return;
  if (!Execute(FDb, "BEGIN IMMEDIATE")) return;
  // Only a stored cookie of the same name can be replaced or removed.
  const glib::TObjectPtr<SoupCookieJar> jar = Load(FDb, soup_cookie_get_name(cookie.get()));
  std::vector<TChange> changes;
  const gulong handler = g_signal_connect(jar.Get(), "changed", G_CALLBACK(OnJarChanged), &changes);
  soup_cookie_jar_add_cookie_full(jar.Get(), cookie.release(), uri.get(), nullptr);
  g_signal_handler_disconnect(jar.Get(), handler);

  const std::int64_t createdMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count();
  bool ok = true;
  for (const TChange& change : changes)
    ok = ok && Store(FDb, change, createdMicros);
  // Expired cookies go, and beyond the limit the oldest (the latest rows last among equal times).
  TStatement prune(FDb,
                   "DELETE FROM document_cookies WHERE expires <= ?1 OR rowid IN (SELECT rowid "
                   "FROM document_cookies ORDER BY created DESC, rowid DESC LIMIT -1 OFFSET ?2)");
  prune.Bind(1, NowSeconds());
  prune.Bind(2, static_cast<std::int64_t>(kMaxApplicationCookies));
  ok = ok && prune.Done();
  Execute(FDb, ok ? "COMMIT" : "ROLLBACK");
}

void TApplicationCookies::EndSession() {
  if (Open()) Execute(FDb, "DELETE FROM document_cookies WHERE expires IS NULL");
}

void StartCookieSession(const std::string& cookieFile) {
  const int fd = ::open((cookieFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) TApplicationCookies(cookieFile).EndSession();
  // Held, shared, until the process ends: later instances see that this one runs.
  ::flock(fd, LOCK_SH);
}

}  // namespace velloc::webkit
