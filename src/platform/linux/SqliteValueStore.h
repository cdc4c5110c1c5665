// IValueStore on a per-user SQLite database, shared by every application of the user.
//
// The file is opened on first use, so constructing the store costs nothing. WAL journal, a busy
// timeout and BEGIN IMMEDIATE for writes let several processes use it at once; every write is
// one transaction synced to disk before the call returns. A file that is damaged or cannot be
// opened makes every operation answer "not there" (false, no value) with a message through the
// report callback; the file is never replaced or repaired, and the next call tries again.
//
// One connection, used from one thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ValueStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velloc::platform {

class TSqliteValueStore final : public IValueStore {
 public:
  // Receives one line per problem (standard error when no callback is given).
  using TReport = std::function<void(const std::string& message)>;

  explicit TSqliteValueStore(std::string path, TReport report = {});
  ~TSqliteValueStore() override;
  TSqliteValueStore(const TSqliteValueStore&) = delete;
  TSqliteValueStore& operator=(const TSqliteValueStore&) = delete;

  // $XDG_CONFIG_HOME/velloc/registry.db (an absolute XDG_CONFIG_HOME only), else
  // ~/.config/velloc/registry.db.
  static std::string DefaultPath();

  // Opens the file now, creating it (owner-only) when it does not exist; the reason when it
  // cannot be used.
  std::optional<std::string> Open();
  const std::string& Path() const { return FPath; }

  // The letter-case folding that key and value names are compared by: each character of the
  // Basic Multilingual Plane to its simple upper case, as the registry does.
  static std::string FoldCase(std::string_view text);

  TWriteResult WriteValue(std::string_view key, std::string_view name,
                          const TStoredValue& value) override;
  TReadResult ReadValue(std::string_view key, std::string_view name) override;
  bool ValueExists(std::string_view key, std::string_view name) override;
  bool DeleteValue(std::string_view key, std::string_view name) override;
  bool KeyExists(std::string_view key) override;
  bool DeleteKey(std::string_view key) override;
  std::optional<TKeyListing> ListKey(std::string_view key) override;

 private:
  enum TStatementId : std::size_t {
    kFindKey,
    kInsertKey,
    kReadValue,
    kWriteValue,
    kDeleteValue,
    kDeleteSubtreeValues,
    kDeleteSubtreeKeys,
    kListSubKeys,
    kListValues,
    kBegin,
    kCommit,
    kRollback,
    kStatementCount
  };
  struct TKey {
    long long Id = 0;  // 0: the root
    std::string Path;  // as created
  };
  class TQuery;

  sqlite3* Connection();
  // The connection when it may write; a read-only store says so and gives none.
  sqlite3* WritableConnection();
  // Whether the path no longer leads to the open file (looked at now, or at most every so often).
  bool Replaced(bool now);
  void LetGoOfMovedFile();
  std::string OpenConnection();
  void Close();
  sqlite3_stmt* Statement(TStatementId id);
  // Reports a failed SQLite call; a damaged file also closes the connection before the next call.
  void Failed(int code, std::string_view what);
  void Report(const std::string& message);
  // The key of a folded path (its Path only when asked for); no value when it does not exist or
  // the store failed.
  std::optional<TKey> FindKey(const std::string& foldedPath, bool& failed, bool withPath = false);
  std::optional<TKey> CreateKeyPath(std::string_view key, bool& failed);
  bool Step(TStatementId id, std::string_view what);  // runs a statement without rows
  void Rollback();

  std::string FPath;
  TReport FReport;
  std::string FLastReport;
  sqlite3* FDb = nullptr;
  bool FDamaged = false;                  // the file turned out damaged during this call
  bool FReadOnly = false;                 // this user may only read the file
  std::uint64_t FDevice = 0, FInode = 0;  // the file that is open
  std::chrono::steady_clock::time_point FCheckedAt;
  bool FReplaced = false;
  std::array<sqlite3_stmt*, kStatementCount> FStatements{};
};

}  // namespace velloc::platform
