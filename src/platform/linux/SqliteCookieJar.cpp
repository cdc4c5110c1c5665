#include "platform/linux/SqliteCookieJar.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "browser/DocumentCookies.h"

namespace velloc::platform {
namespace {

constexpr int kBusyTimeoutMs = 2000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS cookies(
  name TEXT NOT NULL,
  path TEXT NOT NULL,
  value TEXT NOT NULL,
  expires INTEGER,
  secure INTEGER NOT NULL,
  created INTEGER NOT NULL,
  PRIMARY KEY(name, path)
);
)sql";

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
  void Bind(int index, std::string_view text) {
    sqlite3_bind_text(FStatement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  void Bind(int index, std::int64_t value) { sqlite3_bind_int64(FStatement, index, value); }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(FStatement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(FStatement, column)))
                : std::string();
  }

 private:
  sqlite3_stmt* FStatement = nullptr;
};

bool Execute(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

TSqliteCookieJar::~TSqliteCookieJar() {
  if (FDb) sqlite3_close(FDb);
}

std::int64_t TSqliteCookieJar::NowMicroseconds() const {
  if (Now) return Now() * 1'000'000;
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool TSqliteCookieJar::Open() {
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

std::string TSqliteCookieJar::Read(std::string_view documentPath) {
  if (!Open()) return {};
  const std::int64_t now = NowMicroseconds() / 1'000'000;
  TStatement select(FDb,
                    "SELECT name, value, path, expires, secure, created FROM cookies "
                    "WHERE expires IS NULL OR expires > ?1 ORDER BY created, rowid");
  if (!select) return {};
  select.Bind(1, now);
  std::vector<browser::TDocumentCookie> cookies;
  while (sqlite3_step(select.Get()) == SQLITE_ROW) {
    browser::TDocumentCookie cookie;
    cookie.Name = select.Text(0);
    cookie.Value = select.Text(1);
    cookie.Path = select.Text(2);
    if (sqlite3_column_type(select.Get(), 3) != SQLITE_NULL)
      cookie.Expires = sqlite3_column_int64(select.Get(), 3);
    cookie.Secure = sqlite3_column_int(select.Get(), 4) != 0;
    cookie.Created = sqlite3_column_int64(select.Get(), 5);
    cookies.push_back(std::move(cookie));
  }
  return browser::DocumentCookieText(std::move(cookies), documentPath, now);
}

void TSqliteCookieJar::Write(std::string_view text, std::string_view documentPath) {
  const std::int64_t micros = NowMicroseconds();
  const std::int64_t now = micros / 1'000'000;
  const auto cookie = browser::ParseDocumentCookie(text, documentPath, now);
  if (!cookie || !Open()) return;
  if (!Execute(FDb, "BEGIN IMMEDIATE")) return;
  bool ok = true;
  if (cookie->Expires && *cookie->Expires <= now) {
    TStatement remove(FDb, "DELETE FROM cookies WHERE name = ?1 AND path = ?2");
    remove.Bind(1, cookie->Name);
    remove.Bind(2, cookie->Path);
    ok = remove && sqlite3_step(remove.Get()) == SQLITE_DONE;
  } else {
    // A cookie set again keeps its place among the others: its creation time stays.
    TStatement upsert(FDb,
                      "INSERT INTO cookies(name, path, value, expires, secure, created) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(name, path) DO UPDATE SET "
                      "value = excluded.value, expires = excluded.expires, "
                      "secure = excluded.secure");
    upsert.Bind(1, cookie->Name);
    upsert.Bind(2, cookie->Path);
    upsert.Bind(3, cookie->Value);
    if (cookie->Expires) upsert.Bind(4, *cookie->Expires);
    upsert.Bind(5, std::int64_t{cookie->Secure});
    upsert.Bind(6, micros);
    ok = upsert && sqlite3_step(upsert.Get()) == SQLITE_DONE;
  }
  // Expired cookies go, and beyond the limit the oldest (the latest rows last among equal times).
  TStatement prune(FDb,
                   "DELETE FROM cookies WHERE expires <= ?1 OR rowid IN (SELECT rowid FROM "
                   "cookies ORDER BY created DESC, rowid DESC LIMIT -1 OFFSET ?2)");
  prune.Bind(1, now);
  prune.Bind(2, static_cast<std::int64_t>(browser::kMaxDocumentCookies));
  ok = ok && prune && sqlite3_step(prune.Get()) == SQLITE_DONE;
  Execute(FDb, ok ? "COMMIT" : "ROLLBACK");
}

void TSqliteCookieJar::EndSession() {
  if (Open()) Execute(FDb, "DELETE FROM cookies WHERE expires IS NULL");
}

void StartCookieSession(const std::string& cookieFile) {
  const int fd = ::open((cookieFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) TSqliteCookieJar(cookieFile).EndSession();
  // Held, shared, until the process ends: later instances see that this one runs.
  ::flock(fd, LOCK_SH);
}

}  // namespace velloc::platform
