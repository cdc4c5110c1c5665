#include "platform/linux/SqliteValueStore.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>

#include <glib.h>

namespace velloc::platform {
namespace {

// How long a call waits for another process's write before it gives up.
constexpr int kBusyTimeoutMs = 5000;
// The registry's limits: a key name of 255 characters, 512 levels, a value name of 16383.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxValueNameLength = 16383;
// How often an open store looks whether its file is still the one at its path.
constexpr std::chrono::milliseconds kRecheckInterval{500};
// The layout of the tables below; a file of a later layout is left alone.
constexpr int kSchemaVersion = 1;

// Keys: one row per key, found by its whole folded path, so a lookup is one index probe at any
// depth, and a subtree is the range of paths that start with the key's path and a backslash.
// Values: one row per value, found by key and folded name.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS registry_keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  fold TEXT NOT NULL UNIQUE,
  path TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS registry_keys_parent ON registry_keys(parent);
CREATE TABLE IF NOT EXISTS registry_values(
  key INTEGER NOT NULL,
  fold TEXT NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, fold)
) WITHOUT ROWID;
PRAGMA user_version = 1;
)sql";

constexpr std::array kStatementText = {
    "SELECT id, path FROM registry_keys WHERE fold = ?1",
    "INSERT INTO registry_keys(parent, fold, path) VALUES (?1, ?2, ?3)",
    "SELECT type, data FROM registry_values WHERE key = ?1 AND fold = ?2",
    "INSERT INTO registry_values(key, fold, name, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM registry_values WHERE key = ?1 AND fold = ?2",
    "DELETE FROM registry_values WHERE key IN (SELECT id FROM registry_keys "
    "WHERE id = ?1 OR (fold >= ?2 AND fold < ?3))",
    "DELETE FROM registry_keys WHERE id = ?1 OR (fold >= ?2 AND fold < ?3)",
    "SELECT path FROM registry_keys WHERE parent = ?1 ORDER BY fold",
    "SELECT name, type, data FROM registry_values WHERE key = ?1 ORDER BY fold",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

static_assert(kStatementText.size() == 12);

// Characters, not bytes: every byte that does not continue a UTF-8 sequence.
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

bool ValidName(std::string_view name, std::size_t maxLength) {
  return name.find('\0') == std::string_view::npos && CharacterCount(name) <= maxLength;
}

// Whether a path names a key: see SplitKeyPath; no allocation, for the calls that only look.
bool ValidKeyPath(std::string_view path) {
  if (path.empty()) return true;
  std::size_t depth = 0;
  for (;;) {
    const std::size_t end = path.find('\\');
    const std::string_view part = path.substr(0, end);
    if (part.empty() || !ValidName(part, kMaxKeyNameLength) || ++depth > kMaxKeyDepth) return false;
    if (end == std::string_view::npos) return true;
    path.remove_prefix(end + 1);
  }
}

// The components of a key path; no value when the path names no key (an empty component, a
// NUL, a name or depth beyond the registry's limits). An empty path is the root.
std::optional<std::vector<std::string_view>> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  if (path.empty()) return parts;
  for (;;) {
    const std::size_t end = path.find('\\');
    const std::string_view part = path.substr(0, end);
    if (part.empty() || !ValidName(part, kMaxKeyNameLength) || parts.size() == kMaxKeyDepth)
      return std::nullopt;
    parts.push_back(part);
    if (end == std::string_view::npos) return parts;
    path.remove_prefix(end + 1);
  }
}

// The length of the valid UTF-8 sequence at the start of `text` and its code point; 0 when the
// bytes there are not one.
std::size_t DecodeUtf8(std::string_view text, gunichar& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  gunichar value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not characters.
  static constexpr gunichar kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
    return 0;
  codePoint = value;
  return length;
}

// "file:" and the path, every byte a URI may not hold as it is percent-encoded.
std::string FileUri(std::string_view path) {
  std::string uri = "file:";
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
        std::string_view("/-._~").find(c) != std::string_view::npos) {
      uri.push_back(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", b);
      uri += hex;
    }
  }
  return uri;
}

std::string ErrorText(sqlite3* db, int code) {
  return db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

bool IsDamage(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// The folders of the store are created owner-only, as the file is.
bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
    return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

// A statement borrowed from the cache: bound on the way in, reset and cleared on the way out so
// that no read transaction stays open between calls.
class TSqliteValueStore::TQuery {
 public:
  explicit TQuery(sqlite3_stmt* statement) : FStatement(statement) {}
  ~TQuery() {
    if (FStatement) {
      sqlite3_reset(FStatement);
      sqlite3_clear_bindings(FStatement);
    }
  }
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  explicit operator bool() const { return FStatement != nullptr; }
  TQuery& Bind(int index, long long value) {
    if (FCode == SQLITE_OK) FCode = sqlite3_bind_int64(FStatement, index, value);
    return *this;
  }
  TQuery& Bind(int index, std::string_view text) {
    if (FCode == SQLITE_OK)
      FCode = sqlite3_bind_text64(FStatement, index, text.data(), text.size(), SQLITE_STATIC,
                                  SQLITE_UTF8);
    return *this;
  }
  TQuery& BindBlob(int index, std::string_view bytes) {
    // Never null, even for no bytes: the column is NOT NULL.
    static const char kEmpty = 0;
    if (FCode == SQLITE_OK)
      FCode = sqlite3_bind_blob64(FStatement, index, bytes.empty() ? &kEmpty : bytes.data(),
                                  bytes.size(), SQLITE_STATIC);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the error.
  int Step() {
    if (FCode != SQLITE_OK) return FCode;
    return sqlite3_step(FStatement);
  }
  long long Int(int column) const { return sqlite3_column_int64(FStatement, column); }
  std::string Text(int column) const {
    const void* bytes = sqlite3_column_blob(FStatement, column);
    const int size = sqlite3_column_bytes(FStatement, column);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string();
  }

 private:
  sqlite3_stmt* FStatement;
  int FCode = SQLITE_OK;
};

TSqliteValueStore::TSqliteValueStore(std::string path, TReport report)
    : FPath(std::move(path)), FReport(std::move(report)) {}

TSqliteValueStore::~TSqliteValueStore() {
  if (FDb && Replaced(true)) LetGoOfMovedFile();
  Close();
}

std::string TSqliteValueStore::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* user = ::getpwuid(::getuid());
      home = user ? user->pw_dir : "";
    }
    folder = std::string(home) + "/.config";
  }
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder + "/velloc/registry.db";
}

std::string TSqliteValueStore::FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.front());
    if (c < 0x80) {
      folded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A')
                                            : static_cast<char>(c));
      text.remove_prefix(1);
      continue;
    }
    gunichar codePoint = 0;
    const std::size_t length = DecodeUtf8(text, codePoint);
    if (length == 0) {
      // Not UTF-8: the byte stands for itself.
      folded.push_back(text.front());
      text.remove_prefix(1);
      continue;
    }
    const gunichar upper = codePoint < 0x10000 ? g_unichar_toupper(codePoint) : codePoint;
    char buffer[8];
    folded.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(upper, buffer)));
    text.remove_prefix(length);
  }
  return folded;
}

void TSqliteValueStore::Report(const std::string& message) {
  // A store that stays unusable says so once, not on every call.
  if (message == FLastReport) return;
  FLastReport = message;
  if (FReport) {
    FReport(message);
  } else {
    std::fprintf(stderr, "velloc: %s\n", message.c_str());
  }
}

void TSqliteValueStore::Failed(int code, std::string_view what) {
  const std::string detail = ErrorText(FDb, code);
  if (IsDamage(code)) {
    Report("the registry store " + FPath + " is damaged (" + detail +
           "); it is left as it is, and registry calls find nothing until it is repaired or "
           "moved away");
    // Closed at the start of the next call, when no statement is in use any more.
    FDamaged = true;
  } else {
    Report("registry store " + FPath + ": " + std::string(what) + ": " + detail);
  }
}

std::optional<std::string> TSqliteValueStore::Open() {
  if (FDb && Replaced(false)) LetGoOfMovedFile();
  if (FDamaged) Close();
  if (FDb) return std::nullopt;
  std::string error = OpenConnection();
  if (error.empty()) {
    FLastReport.clear();
    return std::nullopt;
  }
  Close();
  return error;
}

// A file moved away or deleted while open would take every later write with it, out of sight
// of the other applications: the path is checked again now and then, and a new file there is
// opened instead.
bool TSqliteValueStore::Replaced(bool now) {
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - FCheckedAt < kRecheckInterval) return FReplaced;
  FCheckedAt = time;
  struct stat info {};
  FReplaced = ::stat(FPath.c_str(), &info) != 0 || info.st_dev != FDevice || info.st_ino != FInode;
  return FReplaced;
}

// SQLite may remove the journal files by their names when it closes: names that may belong to
// another file by now. The moved file keeps its journal instead.
void TSqliteValueStore::LetGoOfMovedFile() {
  int keep = 1;
  sqlite3_file_control(FDb, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
  Close();
}

sqlite3* TSqliteValueStore::Connection() {
  if (const auto error = Open()) Report(*error);
  return FDb;
}

sqlite3* TSqliteValueStore::WritableConnection() {
  if (!Connection()) return nullptr;
  if (!FReadOnly) return FDb;
  Report("the registry store " + FPath + " is read-only for this user: nothing is written");
  return nullptr;
}

std::string TSqliteValueStore::OpenConnection() {
  const std::string prefix = "the registry store " + FPath + " ";
  const std::size_t slash = FPath.find_last_of('/');
  if (slash != std::string::npos && !MakeFolders(FPath.substr(0, slash)))
    return prefix + "cannot be created: " + std::strerror(errno);
  // SQLite would create the file readable by everyone; the journal files take its mode.
  int fd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // A store this user may only read (the file, its folder or the file system read-only) still
  // answers reads; its writes answer false.
  FReadOnly = false;
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    const int error = errno;
    fd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    FReadOnly = fd >= 0;
    if (fd < 0) errno = error;
  }
  if (fd < 0) return prefix + "cannot be opened: " + std::strerror(errno);
  struct stat info {};
  ::fstat(fd, &info);
  ::close(fd);
  FDevice = info.st_dev;
  FInode = info.st_ino;
  FCheckedAt = std::chrono::steady_clock::now();
  FReplaced = false;

  // A WAL store is written through its -wal file and read through its -shm file. Where they are
  // missing and cannot be made (a read-only folder or file system), nobody can write the store,
  // so it is read as an unchanging file.
  struct stat sidecar {};
  const bool fixedFolder =
      slash != std::string::npos && ::access(FPath.substr(0, slash).c_str(), W_OK) != 0;
  if (fixedFolder && ::stat((FPath + "-wal").c_str(), &sidecar) != 0) FReadOnly = true;
  const bool immutable =
      FReadOnly && fixedFolder && ::stat((FPath + "-shm").c_str(), &sidecar) != 0;
  int code =
      sqlite3_open_v2(immutable ? (FileUri(FPath) + "?immutable=1").c_str() : FPath.c_str(), &FDb,
                      (FReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                          SQLITE_OPEN_NOMUTEX | (immutable ? SQLITE_OPEN_URI : 0),
                      nullptr);
  if (code != SQLITE_OK) return prefix + "cannot be opened: " + ErrorText(FDb, code);
  sqlite3_extended_result_codes(FDb, 1);
  sqlite3_busy_timeout(FDb, kBusyTimeoutMs);

  const auto damaged = [&](int rc) {
    return prefix + "is damaged or no registry store (" + ErrorText(FDb, rc) +
           "); it is left as it is: move it away to start a new one";
  };
  // Switching to WAL takes the file's exclusive lock for a moment and does not wait for it.
  std::string journal;
  for (int attempt = 0;; ++attempt) {
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(FDb, FReadOnly ? "PRAGMA journal_mode" : "PRAGMA journal_mode = WAL",
                              -1, &statement, nullptr);
    if (code == SQLITE_OK) {
      code = sqlite3_step(statement);
      if (code == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        journal = text ? reinterpret_cast<const char*>(text) : "";
        code = SQLITE_OK;
      }
    }
    sqlite3_finalize(statement);
    if ((code & 0xFF) != SQLITE_BUSY || attempt == kBusyTimeoutMs / 10) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (IsDamage(code)) return damaged(code);
  if (code != SQLITE_OK) return prefix + "cannot be opened: " + ErrorText(FDb, code);
  if (journal != "wal" && !FReadOnly)
    return prefix + "cannot use a write-ahead log (journal mode " + journal + ")";

  // Each acknowledged write reaches the disk before the call returns.
  code = sqlite3_exec(FDb, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return prefix + "cannot be opened: " + ErrorText(FDb, code);

  // Damage is found before anything is written into it.
  {
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(FDb, "PRAGMA quick_check", -1, &statement, nullptr);
    std::string verdict;
    if (code == SQLITE_OK && (code = sqlite3_step(statement)) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      verdict = text ? reinterpret_cast<const char*>(text) : "";
      code = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (IsDamage(code)) return damaged(code);
    if (code != SQLITE_OK) return prefix + "cannot be read: " + ErrorText(FDb, code);
    for (char& c : verdict)
      if (c == '\n') c = ' ';
    if (verdict != "ok")
      return prefix + "is damaged (" + verdict + "); it is left as it is: move it away to " +
             "start a new one, and save what is left with sqlite3's .dump (see the README)";
  }

  const auto schemaVersion = [&](int& version) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(FDb, "PRAGMA user_version", -1, &statement, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      version = sqlite3_column_int(statement, 0);
      rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    return rc;
  };
  int version = 0;
  if ((code = schemaVersion(version)) != SQLITE_OK)
    return prefix + "cannot be read: " + ErrorText(FDb, code);
  if (version == 0) {
    // Another process may be creating the tables too: the write lock orders the two.
    code = sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = schemaVersion(version);
    if (code == SQLITE_OK && version == 0) {
      code = sqlite3_exec(FDb, kSchema, nullptr, nullptr, nullptr);
      version = kSchemaVersion;
    }
    if (code == SQLITE_OK) code = sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
      const std::string detail = ErrorText(FDb, code);
      sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
      return prefix + "cannot be set up: " + detail;
    }
  }
  if (version != kSchemaVersion)
    return prefix + "has a layout this version does not know (" + std::to_string(version) +
           "); it is left as it is";
  return {};
}

void TSqliteValueStore::Close() {
  for (sqlite3_stmt*& statement : FStatements) {
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  if (FDb) {
    sqlite3_close_v2(FDb);
    FDb = nullptr;
  }
  FDamaged = false;
}

sqlite3_stmt* TSqliteValueStore::Statement(TStatementId id) {
  if (!FDb) return nullptr;
  if (!FStatements[id]) {
    const int code = sqlite3_prepare_v3(FDb, kStatementText[id], -1, SQLITE_PREPARE_PERSISTENT,
                                        &FStatements[id], nullptr);
    if (code != SQLITE_OK) {
      FStatements[id] = nullptr;
      Failed(code, "cannot prepare a query");
      return nullptr;
    }
  }
  return FStatements[id];
}

bool TSqliteValueStore::Step(TStatementId id, std::string_view what) {
  TQuery query(Statement(id));
  if (!query) return false;
  const int code = query.Step();
  if (code == SQLITE_DONE || code == SQLITE_ROW) return true;
  Failed(code, what);
  return false;
}

void TSqliteValueStore::Rollback() {
  if (FDb && !sqlite3_get_autocommit(FDb)) {
    TQuery query(Statement(kRollback));
    if (query) query.Step();
  }
}

std::optional<TSqliteValueStore::TKey> TSqliteValueStore::FindKey(const std::string& foldedPath,
                                                                  bool& failed, bool withPath) {
  if (foldedPath.empty()) return TKey{};
  TQuery query(Statement(kFindKey));
  if (!query) return failed = true, std::nullopt;
  const int code = query.Bind(1, foldedPath).Step();
  if (code == SQLITE_ROW) return TKey{query.Int(0), withPath ? query.Text(1) : std::string()};
  if (code != SQLITE_DONE) {
    failed = true;
    Failed(code, "cannot look up a key");
  }
  return std::nullopt;
}

// Inside the caller's write transaction: every missing key from the root down.
std::optional<TSqliteValueStore::TKey> TSqliteValueStore::CreateKeyPath(std::string_view key,
                                                                        bool& failed) {
  const auto parts = SplitKeyPath(key);
  if (!parts) return std::nullopt;
  if (auto existing = FindKey(FoldCase(key), failed, true)) return existing;
  if (failed) return std::nullopt;
  TKey parent;
  // Folded one name at a time: folding may change a name's length in bytes (ı to I, ɐ to Ɐ),
  // so the original lengths cannot cut the folded path.
  std::string prefix;
  for (const std::string_view part : *parts) {
    if (!prefix.empty()) prefix += '\\';
    prefix += FoldCase(part);
    if (auto found = FindKey(prefix, failed, true)) {
      parent = std::move(*found);
      continue;
    }
    if (failed) return std::nullopt;
    TKey child{0, parent.Path.empty() ? std::string(part) : parent.Path + "\\" + std::string(part)};
    TQuery insert(Statement(kInsertKey));
    if (!insert) return failed = true, std::nullopt;
    const int code = insert.Bind(1, parent.Id).Bind(2, prefix).Bind(3, child.Path).Step();
    if (code != SQLITE_DONE) {
      failed = true;
      Failed(code, "cannot create a key");
      return std::nullopt;
    }
    child.Id = sqlite3_last_insert_rowid(FDb);
    parent = std::move(child);
  }
  return parent;
}

TWriteResult TSqliteValueStore::WriteValue(std::string_view key, std::string_view name,
                                           const TStoredValue& value) {
  if (!ValidKeyPath(key)) return TWriteResult::KeyUnavailable;
  if (!WritableConnection() || !Step(kBegin, "cannot start a write"))
    return TWriteResult::KeyUnavailable;
  bool failed = false;
  const auto target = CreateKeyPath(key, failed);
  if (!target) {
    Rollback();
    return TWriteResult::KeyUnavailable;
  }
  bool written = ValidName(name, kMaxValueNameLength);
  if (written) {
    TQuery query(Statement(kWriteValue));
    const std::string folded = FoldCase(name);
    const int code = !query ? SQLITE_ERROR
                            : query.Bind(1, target->Id)
                                  .Bind(2, folded)
                                  .Bind(3, name)
                                  .Bind(4, static_cast<long long>(value.Type))
                                  .BindBlob(5, value.Data)
                                  .Step();
    written = code == SQLITE_DONE;
    if (!written && query) Failed(code, "cannot store a value");
  }
  if (written && Step(kCommit, "cannot store a value")) return TWriteResult::Written;
  Rollback();
  return FDamaged ? TWriteResult::KeyUnavailable : TWriteResult::ValueRefused;
}

TReadResult TSqliteValueStore::ReadValue(std::string_view key, std::string_view name) {
  TReadResult result;
  if (!ValidKeyPath(key) || !Connection()) return result;
  bool failed = false;
  const auto found = FindKey(FoldCase(key), failed);
  if (!found) return result;
  result.KeyFound = true;
  if (!ValidName(name, kMaxValueNameLength)) return result;
  TQuery query(Statement(kReadValue));
  if (!query) return result;
  const int code = query.Bind(1, found->Id).Bind(2, FoldCase(name)).Step();
  if (code == SQLITE_ROW) {
    result.Value = TStoredValue{static_cast<TValueType>(query.Int(0)), query.Text(1)};
  } else if (code != SQLITE_DONE) {
    Failed(code, "cannot read a value");
    result.KeyFound = !FDamaged;
  }
  return result;
}

bool TSqliteValueStore::ValueExists(std::string_view key, std::string_view name) {
  return ReadValue(key, name).Value.has_value();
}

bool TSqliteValueStore::DeleteValue(std::string_view key, std::string_view name) {
  if (!ValidKeyPath(key) || !ValidName(name, kMaxValueNameLength) || !WritableConnection())
    return false;
  bool failed = false;
  const auto found = FindKey(FoldCase(key), failed);
  if (!found) return false;
  TQuery query(Statement(kDeleteValue));
  if (!query) return false;
  const int code = query.Bind(1, found->Id).Bind(2, FoldCase(name)).Step();
  if (code != SQLITE_DONE) {
    Failed(code, "cannot delete a value");
    return false;
  }
  return sqlite3_changes(FDb) > 0;
}

bool TSqliteValueStore::KeyExists(std::string_view key) {
  if (!ValidKeyPath(key) || !Connection()) return false;
  bool failed = false;
  return FindKey(FoldCase(key), failed).has_value();
}

bool TSqliteValueStore::DeleteKey(std::string_view key) {
  // The root holds every application's keys; it is never deleted.
  if (key.empty() || !ValidKeyPath(key) || !WritableConnection()) return false;
  if (!Step(kBegin, "cannot start a write")) return false;
  bool failed = false;
  const std::string folded = FoldCase(key);
  const auto found = FindKey(folded, failed);
  if (!found) {
    Rollback();
    return false;
  }
  // Below the key: every path that continues with a backslash, the character before ']'.
  const std::string below = folded + "\\", after = folded + "]";
  bool deleted = true;
  for (const TStatementId id : {kDeleteSubtreeValues, kDeleteSubtreeKeys}) {
    TQuery query(Statement(id));
    const int code =
        !query ? SQLITE_ERROR : query.Bind(1, found->Id).Bind(2, below).Bind(3, after).Step();
    if (code != SQLITE_DONE) {
      if (query) Failed(code, "cannot delete a key");
      deleted = false;
      break;
    }
  }
  if (deleted && Step(kCommit, "cannot delete a key")) return true;
  Rollback();
  return false;
}

std::optional<TKeyListing> TSqliteValueStore::ListKey(std::string_view key) {
  if (!ValidKeyPath(key) || !Connection()) return std::nullopt;
  bool failed = false;
  const auto found = FindKey(FoldCase(key), failed, true);
  if (!found) return std::nullopt;
  TKeyListing listing{found->Path, {}, {}};
  // One read transaction, so the two lists agree.
  sqlite3_exec(FDb, "BEGIN", nullptr, nullptr, nullptr);
  {
    TQuery keys(Statement(kListSubKeys));
    int code = keys ? keys.Bind(1, found->Id).Step() : SQLITE_ERROR;
    for (; code == SQLITE_ROW; code = keys.Step()) {
      const std::string path = keys.Text(0);
      const std::size_t slash = path.find_last_of('\\');
      listing.SubKeys.push_back(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    if (code != SQLITE_DONE && keys) Failed(code, "cannot list a key");
  }
  if (!FDamaged) {
    TQuery values(Statement(kListValues));
    int code = values ? values.Bind(1, found->Id).Step() : SQLITE_ERROR;
    for (; code == SQLITE_ROW; code = values.Step())
      listing.Values.emplace_back(
          values.Text(0), TStoredValue{static_cast<TValueType>(values.Int(1)), values.Text(2)});
    if (code != SQLITE_DONE && values) Failed(code, "cannot list a key");
  }
  sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
  if (FDamaged) return std::nullopt;
  return listing;
}

}  // namespace velloc::platform
