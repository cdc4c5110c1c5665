// vlx.registry.readValue and writeValue through the whole bridge (message parsing, the handler,
// the SQLite store, the JSON reply), beside raw prepared SQLite statements doing the same work
// on the same file in the same run: look the key up by its path, then read or upsert the value
// (a write in its own BEGIN IMMEDIATE transaction, synced as the store syncs). The raw side
// binds names already folded to one letter case, so it does less than the store does.
//
// The "vs_raw" counter of a bridge benchmark is its throughput / the raw throughput (by the wall
// clock; "vs_raw_cpu" by processor time); the goal is 0.8 or more. The store file is made under
// $TMPDIR (default /tmp) and removed at the end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "bridge/BrowserExternalModule.h"
#include "core/StrUtils.h"
#include "platform/linux/SqliteValueStore.h"

namespace {

namespace fs = std::filesystem;
using velloc::TStrUtils;
using velloc::bridge::TBrowserExternalModule;
using velloc::platform::TSqliteValueStore;

constexpr int kKeys = 1000;

std::string KeyPath(int i) {
  return "Software\\Vendor" + std::to_string(i % 10) + "\\Application" + std::to_string(i);
}
std::string ValueName(int i) {
  return "Setting" + std::to_string(i % 7);
}

// The store file, filled once with kKeys keys of 7 values each.
const std::string& StoreFile() {
  static const std::string file = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp ? tmp : "/tmp") + "/velloc-bench-registry-XXXXXX";
    if (!::mkdtemp(folder.data())) throw std::runtime_error("mkdtemp");
    const std::string path = folder + "/registry.db";
    // The store makes its tables; the filling goes in one transaction beside it.
    TSqliteValueStore store(path);
    store.WriteValue("Software", "made", {velloc::platform::TValueType::String, "1"});
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const auto sql = [&](const std::string& text) {
      if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    };
    const auto quoted = [](const std::string& text) { return "'" + text + "'"; };
    for (int v = 0; v < 10; ++v) {
      const std::string vendor = "Software\\Vendor" + std::to_string(v);
      sql("INSERT INTO registry_keys(parent, fold, path) SELECT id, " +
          quoted(TSqliteValueStore::FoldCase(vendor)) + ", " + quoted(vendor) +
          " FROM registry_keys WHERE fold = 'SOFTWARE'");
    }
    for (int i = 0; i < kKeys; ++i) {
      const std::string key = KeyPath(i);
      const std::string parent = key.substr(0, key.find_last_of('\\'));
      sql("INSERT INTO registry_keys(parent, fold, path) SELECT id, " +
          quoted(TSqliteValueStore::FoldCase(key)) + ", " + quoted(key) +
          " FROM registry_keys WHERE fold = " + quoted(TSqliteValueStore::FoldCase(parent)));
      for (int v = 0; v < 7; ++v) {
        sql("INSERT INTO registry_values(key, fold, name, type, data) VALUES ("
            "(SELECT id FROM registry_keys WHERE fold = " +
            quoted(TSqliteValueStore::FoldCase(key)) + "), " +
            quoted(TSqliteValueStore::FoldCase(ValueName(v))) + ", " + quoted(ValueName(v)) +
            ", 1, CAST('value " + std::to_string(i) + "' AS BLOB))");
      }
    }
    sql("COMMIT");
    sqlite3_close(db);
    return path;
  }();
  return file;
}

// Raw time per operation, wall clock and processor, for the ratios.
std::map<std::string, std::pair<double, double>> gRawSeconds;

double ProcessSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// When a benchmark's loop started, by both clocks.
struct TStart {
  std::chrono::steady_clock::time_point Wall = std::chrono::steady_clock::now();
  double Cpu = ProcessSeconds();
};

class TRaw {
 public:
  TRaw() {
    if (sqlite3_open_v2(StoreFile().c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      throw std::runtime_error("open");
    sqlite3_busy_timeout(FDb, 5000);
    sqlite3_exec(FDb, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr,
                 nullptr);
    FFind = Prepare("SELECT id, path FROM registry_keys WHERE fold = ?1");
    FRead = Prepare("SELECT type, data FROM registry_values WHERE key = ?1 AND fold = ?2");
    FWrite = Prepare(
        "INSERT INTO registry_values(key, fold, name, type, data) VALUES (?1, ?2, ?3, 1, ?4) "
        "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    FBegin = Prepare("BEGIN IMMEDIATE");
    FCommit = Prepare("COMMIT");
  }
  ~TRaw() {
    for (sqlite3_stmt* s : {FFind, FRead, FWrite, FBegin, FCommit})
      sqlite3_finalize(s);
    sqlite3_close(FDb);
  }
  TRaw(const TRaw&) = delete;
  TRaw& operator=(const TRaw&) = delete;

  long long Find(const std::string& foldedKey) {
    sqlite3_bind_text(FFind, 1, foldedKey.data(), static_cast<int>(foldedKey.size()),
                      SQLITE_STATIC);
    long long id = -1;
    if (sqlite3_step(FFind) == SQLITE_ROW) {
      id = sqlite3_column_int64(FFind, 0);
      benchmark::DoNotOptimize(sqlite3_column_text(FFind, 1));
    }
    sqlite3_reset(FFind);
    return id;
  }
  std::string Read(const std::string& foldedKey, const std::string& foldedName) {
    const long long id = Find(foldedKey);
    sqlite3_bind_int64(FRead, 1, id);
    sqlite3_bind_text(FRead, 2, foldedName.data(), static_cast<int>(foldedName.size()),
                      SQLITE_STATIC);
    std::string value;
    if (sqlite3_step(FRead) == SQLITE_ROW) {
      value.assign(static_cast<const char*>(sqlite3_column_blob(FRead, 1)),
                   static_cast<std::size_t>(sqlite3_column_bytes(FRead, 1)));
    }
    sqlite3_reset(FRead);
    return value;
  }
  void Write(const std::string& foldedKey, const std::string& foldedName, const std::string& name,
             const std::string& value) {
    Run(FBegin);
    const long long id = Find(foldedKey);
    sqlite3_bind_int64(FWrite, 1, id);
    sqlite3_bind_text(FWrite, 2, foldedName.data(), static_cast<int>(foldedName.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(FWrite, 3, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_blob(FWrite, 4, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    Run(FWrite);
    Run(FCommit);
  }

 private:
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, sql, -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(FDb));
    return statement;
  }
  void Run(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(FDb));
    sqlite3_reset(statement);
  }

  sqlite3* FDb = nullptr;
  sqlite3_stmt *FFind = nullptr, *FRead = nullptr, *FWrite = nullptr, *FBegin = nullptr,
               *FCommit = nullptr;
};

// Sets "vs_raw" (throughput against the raw statements', by the wall clock) and "vs_raw_cpu"
// (the same by processor time, steadier on a busy machine) on the store and bridge benchmarks.
void Finish(benchmark::State& state, const std::string& key, bool raw, const TStart& start) {
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start.Wall;
  const double iterations = static_cast<double>(state.iterations());
  const std::pair<double, double> seconds{wall.count() / iterations,
                                          (ProcessSeconds() - start.Cpu) / iterations};
  if (raw) {
    gRawSeconds[key] = seconds;
  } else if (const auto found = gRawSeconds.find(key); found != gRawSeconds.end()) {
    state.counters["vs_raw"] = found->second.first / seconds.first;
    state.counters["vs_raw_cpu"] = found->second.second / seconds.second;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_Raw_Read(benchmark::State& state) {
  TRaw raw;
  std::vector<std::string> keys, names;
  for (int i = 0; i < kKeys; ++i) {
    keys.push_back(TSqliteValueStore::FoldCase(KeyPath(i)));
    names.push_back(TSqliteValueStore::FoldCase(ValueName(i)));
  }
  int i = 0;
  const TStart start;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        raw.Read(keys[static_cast<std::size_t>(i)], names[static_cast<std::size_t>(i)]));
    i = (i + 1) % kKeys;
  }
  Finish(state, "read", true, start);
}

// One message per key, as a page sends it.
std::vector<std::string> Messages(int id, bool withValue) {
  std::vector<std::string> messages;
  for (int i = 0; i < kKeys; ++i) {
    messages.push_back("{\"id\": " + std::to_string(id) +
                       ", \"uuid\": \"0f8c3b1e-4a2d-4c6b-9e7f-123456789abc\", \"data\": "
                       "{\"key\": " +
                       TStrUtils::StringToJsonString(KeyPath(i)) +
                       ", \"name\": " + TStrUtils::StringToJsonString(ValueName(i)) +
                       (withValue ? ", \"value\": \"changed " + std::to_string(i) + "\"" : "") +
                       "}}");
  }
  return messages;
}

void BridgeBench(benchmark::State& state, const std::string& key, int id, bool withValue) {
  TSqliteValueStore store(StoreFile());
  TBrowserExternalModule module;
  module.SetValueStore(&store);
  const std::vector<std::string> messages = Messages(id, withValue);
  std::size_t replies = 0;
  std::string lastReply;
  const auto onReply = [&](std::string_view reply) {
    replies += reply.size() > 0;
    lastReply = reply;
  };
  int i = 0;
  const TStart start;
  for (auto _ : state) {
    module.BrowserWebMessageReceived(
        {messages[static_cast<std::size_t>(i)], "vlx:///index.html", onReply});
    i = (i + 1) % kKeys;
  }
  if (replies != static_cast<std::size_t>(state.iterations())) state.SkipWithError("lost replies");
  // Every call must have done its work: a write answers true, a read the stored text.
  if (lastReply.find("\"success\": true, \"result\": ") == std::string::npos ||
      lastReply.find(withValue ? "true}" : "value") == std::string::npos)
    state.SkipWithError(("unexpected reply " + lastReply).c_str());
  Finish(state, key, false, start);
}

// The store alone, without the bridge around it: where the bridge's share of the time shows.
void BM_Store_Read(benchmark::State& state) {
  TSqliteValueStore store(StoreFile());
  std::vector<std::string> keys, names;
  for (int i = 0; i < kKeys; ++i) {
    keys.push_back(KeyPath(i));
    names.push_back(ValueName(i));
  }
  std::size_t i = 0;
  const TStart start;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.ReadValue(keys[i], names[i]));
    i = (i + 1) % kKeys;
  }
  Finish(state, "read", false, start);
}

void BM_Bridge_Read(benchmark::State& state) {
  BridgeBench(state, "read", 13002, false);
}

void BM_Raw_Write(benchmark::State& state) {
  TRaw raw;
  std::vector<std::string> keys, foldedNames, names, values;
  for (int i = 0; i < kKeys; ++i) {
    keys.push_back(TSqliteValueStore::FoldCase(KeyPath(i)));
    names.push_back(ValueName(i));
    foldedNames.push_back(TSqliteValueStore::FoldCase(ValueName(i)));
    values.push_back("changed " + std::to_string(i));
  }
  std::size_t i = 0;
  const TStart start;
  for (auto _ : state) {
    raw.Write(keys[i], foldedNames[i], names[i], values[i]);
    i = (i + 1) % kKeys;
  }
  Finish(state, "write", true, start);
}

void BM_Bridge_Write(benchmark::State& state) {
  BridgeBench(state, "write", 13001, true);
}

// Raw first, so each bridge benchmark can be set against it.
BENCHMARK(BM_Raw_Read)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Store_Read)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Bridge_Read)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Raw_Write)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Bridge_Write)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::fprintf(stderr, "store: %s\n", StoreFile().c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const fs::path folder = fs::path(StoreFile()).parent_path();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
