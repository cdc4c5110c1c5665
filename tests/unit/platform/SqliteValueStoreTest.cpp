// The SQLite value store on scratch files: the key tree, letter case, the file's permissions and
// location, several users of one file, and damaged files.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "platform/linux/SqliteValueStore.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

TStoredValue Text(std::string_view text, TValueType type = TValueType::String) {
  return {type, std::string(text)};
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs one SQL statement on the file with a connection of its own; the first column of the
// first row.
std::string Sql(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string answer;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
      answer = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    else
      answer = std::string("error: ") + sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return answer;
}

class SqliteValueStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-store-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
    FFile = FRoot / "config" / "velloc" / "registry.db";
  }
  void TearDown() override { fs::remove_all(FRoot); }

  TSqliteValueStore MakeStore() {
    return TSqliteValueStore(FFile.string(),
                             [this](const std::string& message) { FReports.push_back(message); });
  }

  fs::path FRoot, FFile;
  std::vector<std::string> FReports;
};

TEST(SqliteValueStoreFold, FoldsLetterCaseAsTheRegistry) {
  const struct {
    std::string_view text, folded;
  } cases[] = {
      {"Software\\Vendor", "SOFTWARE\\VENDOR"},
      {"abc-XYZ_09 []{}", "ABC-XYZ_09 []{}"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", "\xC3\x84\xC3\x96\xC3\x9C"},  // äöü
      {"\xC3\x9F", "\xC3\x9F"},                                  // ß has no single upper case
      {"\xCE\xB1\xCF\x89", "\xCE\x91\xCE\xA9"},                  // Greek αω
      {"\xD0\xB6", "\xD0\x96"},                                  // Cyrillic ж
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8"},                  // beyond the BMP: unchanged
      {"a\xFFz", "A\xFFZ"},                                      // not UTF-8: bytes kept
      {"\xE2\x82", "\xE2\x82"},                                  // cut sequence kept
      {"\xC0\xAF", "\xC0\xAF"},                                  // overlong kept
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TSqliteValueStore::FoldCase(c.text), c.folded) << c.text;
}

TEST(SqliteValueStorePath, DefaultPathFollowsXdg) {
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::optional<std::string> config =
      savedConfig ? std::optional<std::string>(savedConfig) : std::nullopt;
  const std::optional<std::string> home =
      savedHome ? std::optional<std::string>(savedHome) : std::nullopt;
  const struct {
    const char* config;
    const char* expected;
  } cases[] = {
      {"/x/conf", "/x/conf/velloc/registry.db"},
      {"/x/conf/", "/x/conf/velloc/registry.db"},
      {"relative/conf", "/h/.config/velloc/registry.db"},  // relative paths are ignored
      {"", "/h/.config/velloc/registry.db"},
      {nullptr, "/h/.config/velloc/registry.db"},
  };
  ::setenv("HOME", "/h", 1);
  for (const auto& c : cases) {
    if (c.config)
      ::setenv("XDG_CONFIG_HOME", c.config, 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(TSqliteValueStore::DefaultPath(), c.expected) << (c.config ? c.config : "(unset)");
  }
  if (config)
    ::setenv("XDG_CONFIG_HOME", config->c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
  if (home)
    ::setenv("HOME", home->c_str(), 1);
  else
    ::unsetenv("HOME");
}

TEST_F(SqliteValueStore, NothingIsOpenedBeforeFirstUseThenOwnerOnly) {
  auto store = MakeStore();
  EXPECT_FALSE(fs::exists(FFile.parent_path()));
  EXPECT_FALSE(store.KeyExists("A"));
  ASSERT_TRUE(fs::exists(FFile));
  EXPECT_EQ(fs::status(FFile).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(FFile.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(FFile.parent_path().parent_path()).permissions() & fs::perms::all,
            fs::perms::owner_all);
  ASSERT_EQ(store.WriteValue("A", "v", Text("1")), TWriteResult::Written);
  EXPECT_EQ(Sql(FFile, "PRAGMA journal_mode"), "wal");
  for (const char* suffix : {"-wal", "-shm"}) {
    const fs::path journal = FFile.string() + suffix;
    if (fs::exists(journal)) {
      EXPECT_EQ(fs::status(journal).permissions() & (fs::perms::group_all | fs::perms::others_all),
                fs::perms::none)
          << journal;
    }
  }
  EXPECT_TRUE(FReports.empty());
}

TEST_F(SqliteValueStore, WritesCreateTheWholePathAndKeepTheirCase) {
  auto store = MakeStore();
  ASSERT_EQ(store.WriteValue("Software\\Vendor\\App", "Colour", Text("blue")),
            TWriteResult::Written);
  // Deeper keys below an existing key keep the case that key was created with.
  ASSERT_EQ(store.WriteValue("SOFTWARE\\vendor\\App\\Sub", "x", Text("")), TWriteResult::Written);
  ASSERT_EQ(store.WriteValue("software\\VENDOR\\app", "COLOUR", Text("red")),
            TWriteResult::Written);

  const struct {
    std::string_view key;
    bool exists;
  } keys[] = {
      {"Software", true},
      {"software\\vendor", true},
      {"SOFTWARE\\VENDOR\\APP", true},
      {"Software\\Vendor\\App\\Sub", true},
      {"Software\\Vendor\\Ap", false},
      {"Software\\Vendor\\App\\Sub\\No", false},
      {"Vendor", false},
      {"Software\\\\Vendor", false},  // an empty name on the way names no key
      {"Software\\", false},
      {"\\Software", false},
      {"", true},  // the root
  };
  for (const auto& k : keys)
    EXPECT_EQ(store.KeyExists(k.key), k.exists) << k.key;

  const auto listing = store.ListKey("software\\vendor\\app");
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->Path, "Software\\Vendor\\App");
  EXPECT_EQ(listing->SubKeys, std::vector<std::string>{"Sub"});
  ASSERT_EQ(listing->Values.size(), 1u);
  EXPECT_EQ(listing->Values[0].first, "Colour");  // the first spelling stays
  EXPECT_EQ(listing->Values[0].second, Text("red"));
  const auto root = store.ListKey("");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->SubKeys, std::vector<std::string>{"Software"});
  EXPECT_FALSE(store.ListKey("Nothing"));
}

// Folding changes some names' length in bytes (ı to I, ɐ to Ɐ): every key of a path is still
// found, listed once and deleted whole, and keys that differ stay apart.
TEST_F(SqliteValueStore, FoldsThatChangeTheLengthKeepEveryKey) {
  const struct {
    std::string_view key;                // as written
    std::vector<std::string_view> same;  // other spellings of the same key
  } cases[] = {
      {"\xC9\x90", {"\xE2\xB1\xAF"}},  // ɐ, Ɐ: 2 bytes to 3
      {"\xC9\x91", {"\xE2\xB1\xAD"}},  // ɑ, Ɑ: 2 bytes to 3
      {"Software\\Yaz\xC4\xB1l\xC4\xB1m\\Ayarlar", {"SOFTWARE\\YAZILIM\\ayarlar"}},   // ı: 2 to 1
      {"\xC4\xB0stanbul\\\xC9\x90\\Sub", {"\xC4\xB0STANBUL\\\xE2\xB1\xAF\\sub"}},     // İ, ɐ
      {"Gro\xC3\x9F\\\xC7\x85", {"GRO\xC3\x9F\\\xC7\x84", "gro\xC3\x9F\\\xC7\x86"}},  // ß, ǅ Ǆ ǆ
  };
  auto store = MakeStore();
  for (const auto& c : cases)
    ASSERT_EQ(store.WriteValue(c.key, "v", Text(c.key)), TWriteResult::Written) << c.key;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(store.ReadValue(c.key, "V").Value, Text(c.key));
    for (const std::string_view same : c.same)
      EXPECT_EQ(store.ReadValue(same, "v").Value, Text(c.key)) << same;
    // Every key on the path exists, and its parent lists it once, as it was written.
    std::string_view rest = c.key;
    std::string parent;
    for (;;) {
      const std::size_t slash = rest.find('\\');
      const std::string name(rest.substr(0, slash));
      const std::string path = parent.empty() ? name : parent + "\\" + name;
      EXPECT_TRUE(store.KeyExists(path)) << path;
      const auto listing = store.ListKey(parent);
      ASSERT_TRUE(listing) << parent;
      EXPECT_EQ(std::count(listing->SubKeys.begin(), listing->SubKeys.end(), name), 1) << path;
      if (slash == std::string_view::npos) break;
      parent = path;
      rest.remove_prefix(slash + 1);
    }
  }
  // ß has no one-letter upper case: "SS" is another key, as in the registry.
  EXPECT_FALSE(store.KeyExists("GROSS"));
  // Writing the parent again finds it: one Yazılım, holding both values.
  ASSERT_EQ(store.WriteValue("software\\YAZILIM", "p", Text("1")), TWriteResult::Written);
  const auto software = store.ListKey("Software");
  ASSERT_TRUE(software);
  EXPECT_EQ(software->SubKeys, std::vector<std::string>{"Yaz\xC4\xB1l\xC4\xB1m"});
  EXPECT_TRUE(store.DeleteKey("Software\\Yaz\xC4\xB1l\xC4\xB1m"));
  EXPECT_FALSE(store.KeyExists("Software\\Yazilim\\Ayarlar"));
  EXPECT_FALSE(store.KeyExists("Software\\Yaz\xC4\xB1l\xC4\xB1m\\Ayarlar"));
  EXPECT_TRUE(store.DeleteKey("\xC4\xB0stanbul\\\xE2\xB1\xAF"));
  EXPECT_TRUE(store.KeyExists("\xC4\xB0stanbul"));
  EXPECT_FALSE(store.KeyExists("\xC4\xB0stanbul\\\xC9\x90\\Sub"));
  EXPECT_EQ(store.ReadValue("\xC9\x90", "v").Value, Text("\xC9\x90"));  // ɐ and ɑ stay apart
  EXPECT_EQ(Sql(FFile, "SELECT count(*) FROM registry_keys"), "6");
  EXPECT_TRUE(FReports.empty());
}

TEST_F(SqliteValueStore, ValuesKeepTheirTypeAndBytes) {
  auto store = MakeStore();
  const struct {
    std::string_view name;
    TStoredValue value;
  } values[] = {
      {"text", Text("caf\xC3\xA9 \xE2\x82\xAC")},
      {"expand", Text("%HOME%\\x", TValueType::ExpandString)},
      {"number", {TValueType::DWord, std::string("\x2A\0\0\0", 4)}},
      {"empty", Text("")},
      {"nul inside", {TValueType::String, std::string("a\0b", 3)}},
      {"odd type", {static_cast<TValueType>(0x1234), "z"}},
  };
  for (const auto& v : values)
    ASSERT_EQ(store.WriteValue("K", v.name, v.value), TWriteResult::Written) << v.name;
  for (const auto& v : values) {
    const TReadResult read = store.ReadValue("k", v.name);
    EXPECT_TRUE(read.KeyFound);
    ASSERT_TRUE(read.Value) << v.name;
    EXPECT_EQ(*read.Value, v.value) << v.name;
    EXPECT_TRUE(store.ValueExists("K", v.name));
  }
  EXPECT_EQ(store.ReadValue("K", "absent").KeyFound, true);
  EXPECT_FALSE(store.ReadValue("K", "absent").Value);
  EXPECT_EQ(store.ReadValue("L", "text").KeyFound, false);
  EXPECT_TRUE(store.DeleteValue("K", "TEXT"));
  EXPECT_FALSE(store.DeleteValue("K", "text"));
  EXPECT_FALSE(store.DeleteValue("L", "text"));
  EXPECT_FALSE(store.ValueExists("K", "text"));
  EXPECT_TRUE(store.KeyExists("K"));  // a key outlives its values
}

TEST_F(SqliteValueStore, NamesBeyondTheLimitsAreRefused) {
  auto store = MakeStore();
  const std::string longName(256, 'k'), longestName(255, 'k');
  const struct {
    std::string key, name;
    TWriteResult result;
  } cases[] = {
      {longestName, "v", TWriteResult::Written},
      {longName, "v", TWriteResult::KeyUnavailable},
      {std::string("a\0b", 3), "v", TWriteResult::KeyUnavailable},
      {"K", std::string(16383, 'n'), TWriteResult::Written},
      {"K", std::string(16384, 'n'), TWriteResult::ValueRefused},
      {"K", std::string("n\0m", 3), TWriteResult::ValueRefused},
  };
  for (const auto& c : cases)
    EXPECT_EQ(store.WriteValue(c.key, c.name, Text("x")), c.result)
        << c.key.size() << " " << c.name.size();
  std::string deep = "d";
  for (int i = 1; i < 512; ++i)
    deep += "\\d";
  EXPECT_EQ(store.WriteValue(deep, "v", Text("x")), TWriteResult::Written);
  EXPECT_EQ(store.WriteValue(deep + "\\d", "v", Text("x")), TWriteResult::KeyUnavailable);
  // A refused write leaves no key behind.
  EXPECT_FALSE(store.KeyExists(longName));
  EXPECT_TRUE(FReports.empty());
}

TEST_F(SqliteValueStore, DeleteKeyTakesTheWholeSubtreeAndNothingElse) {
  auto store = MakeStore();
  for (const char* key : {"A\\B", "A\\B\\C\\D", "A\\B\\C2", "A\\Bx", "A\\B]", "A\\B[", "A\\C"})
    ASSERT_EQ(store.WriteValue(key, "v", Text(key)), TWriteResult::Written);
  ASSERT_EQ(store.WriteValue("A", "v", Text("A")), TWriteResult::Written);
  EXPECT_TRUE(store.DeleteKey("a\\b"));
  for (const char* gone : {"A\\B", "A\\B\\C", "A\\B\\C\\D", "A\\B\\C2"})
    EXPECT_FALSE(store.KeyExists(gone)) << gone;
  for (const char* kept : {"A", "A\\Bx", "A\\B]", "A\\B[", "A\\C"}) {
    EXPECT_TRUE(store.KeyExists(kept)) << kept;
    EXPECT_EQ(store.ReadValue(kept, "v").Value, Text(kept)) << kept;
  }
  EXPECT_FALSE(store.DeleteKey("A\\B"));
  EXPECT_FALSE(store.DeleteKey(""));  // the root stays
  EXPECT_TRUE(store.KeyExists("A"));
  // Values of deleted keys are gone from the file too, not only out of reach.
  EXPECT_EQ(Sql(FFile, "SELECT count(*) FROM registry_values"), "5");
  // A key made again after deletion starts empty.
  ASSERT_EQ(store.WriteValue("A\\B\\C", "w", Text("new")), TWriteResult::Written);
  EXPECT_FALSE(store.ValueExists("A\\B", "v"));
}

TEST_F(SqliteValueStore, TwoUsersOfOneFileSeeEachOther) {
  auto first = MakeStore();
  auto second = MakeStore();
  ASSERT_EQ(first.WriteValue("Shared", "v", Text("1")), TWriteResult::Written);
  EXPECT_EQ(second.ReadValue("shared", "V").Value, Text("1"));
  ASSERT_EQ(second.WriteValue("Shared", "v", Text("2")), TWriteResult::Written);
  EXPECT_EQ(first.ReadValue("Shared", "v").Value, Text("2"));
  EXPECT_TRUE(second.DeleteKey("Shared"));
  EXPECT_FALSE(first.KeyExists("Shared"));
  // A reader in the middle of a read transaction does not hold up a writer.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(FFile.c_str(), &reader), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM registry_keys;", nullptr, nullptr, nullptr),
      SQLITE_OK);
  EXPECT_EQ(first.WriteValue("Shared", "v", Text("3")), TWriteResult::Written);
  sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  EXPECT_TRUE(FReports.empty());
}

TEST_F(SqliteValueStore, AWriterWaitsForAnotherWriter) {
  auto store = MakeStore();
  ASSERT_EQ(store.WriteValue("K", "v", Text("1")), TWriteResult::Written);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(FFile.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  // The other writer finishes while this one waits on the busy timeout.
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  EXPECT_EQ(store.WriteValue("K", "v", Text("2")), TWriteResult::Written);
  release.join();
  sqlite3_close(other);
  EXPECT_EQ(store.ReadValue("K", "v").Value, Text("2"));
  EXPECT_TRUE(FReports.empty());
}

// Processes that start on a store that does not exist yet and write at once: every write and
// every read succeeds, none sees "database is locked".
TEST_F(SqliteValueStore, SeveralProcessesAtOnce) {
  constexpr int kProcesses = 4, kWrites = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      TSqliteValueStore store(FFile.string(), [&](const std::string&) { ++failures; });
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
        failures += store.WriteValue("Shared\\Key", name, Text(name)) != TWriteResult::Written;
        failures += store.WriteValue("Own" + std::to_string(p) + "\\K" + std::to_string(i % 3), "v",
                                     Text(name)) != TWriteResult::Written;
        failures += store.ReadValue("shared\\key", name).Value != Text(name);
        if (i % 10 == 9) failures += !store.DeleteKey("Own" + std::to_string(p));
      }
      ::_exit(failures > 100 ? 100 : failures);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed calls in one process";
  }
  auto store = MakeStore();
  const auto listing = store.ListKey("Shared\\Key");
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->Values.size(), static_cast<std::size_t>(kProcesses * kWrites));
  EXPECT_EQ(Sql(FFile, "PRAGMA integrity_check"), "ok");
}

// A store file moved away while open is let go: later calls use a new file at the path, and
// the moved file keeps what it had.
TEST_F(SqliteValueStore, AFileMovedAwayIsLetGo) {
  auto store = MakeStore();
  ASSERT_EQ(store.WriteValue("K", "v", Text("old")), TWriteResult::Written);
  // Moved as a user moves a store away: with its journal files.
  const fs::path moved = FRoot / "moved.db";
  for (const char* suffix : {"", "-wal", "-shm"}) {
    if (fs::exists(FFile.string() + suffix))
      fs::rename(FFile.string() + suffix, moved.string() + suffix);
  }
  // Another application makes a new store at the path meanwhile; letting go of the moved file
  // must not take the new file's journal with it.
  auto other = MakeStore();
  ASSERT_EQ(other.WriteValue("Other", "v", Text("kept")), TWriteResult::Written);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_FALSE(store.KeyExists("K"));
  EXPECT_EQ(store.ReadValue("Other", "v").Value, Text("kept"));
  ASSERT_EQ(store.WriteValue("K", "v", Text("new")), TWriteResult::Written);
  EXPECT_EQ(TSqliteValueStore(moved.string()).ReadValue("K", "v").Value, Text("old"));
  EXPECT_EQ(MakeStore().ReadValue("K", "v").Value, Text("new"));
  EXPECT_EQ(other.ReadValue("Other", "v").Value, Text("kept"));
  EXPECT_EQ(Sql(FFile, "PRAGMA integrity_check"), "ok");
  EXPECT_TRUE(FReports.empty());
}

// A file that is no store, or a store with a damaged page: every call finds nothing, the
// reason is reported once, and the file is left exactly as it was.
TEST_F(SqliteValueStore, DamagedFilesAreReportedAndLeftAlone) {
  {
    auto store = MakeStore();
    for (int i = 0; i < 200; ++i)
      ASSERT_EQ(store.WriteValue("Key" + std::to_string(i) + "\\Sub", "value",
                                 Text(std::string(100, 'x'))),
                TWriteResult::Written);
  }
  ASSERT_EQ(Sql(FFile, "PRAGMA wal_checkpoint(TRUNCATE)"), "0");
  const std::string intact = ReadBytes(FFile);
  ASSERT_GT(intact.size(), 4u * 4096u);

  const struct {
    std::string_view what;
    std::string bytes;
    std::string_view reported;
  } cases[] = {
      {"not a database", std::string(8192, 'g'), "is damaged or no registry store"},
      {"damaged page",
       intact.substr(0, 4096 * 2) + std::string(4096, '\x55') + intact.substr(4096 * 3),
       "is damaged"},
  };
  for (const auto& c : cases) {
    fs::remove(FFile.string() + "-wal");
    fs::remove(FFile.string() + "-shm");
    std::ofstream(FFile, std::ios::binary | std::ios::trunc) << c.bytes;
    FReports.clear();
    auto store = MakeStore();
    EXPECT_EQ(store.WriteValue("New", "v", Text("x")), TWriteResult::KeyUnavailable) << c.what;
    EXPECT_FALSE(store.ReadValue("Key1\\Sub", "value").KeyFound) << c.what;
    EXPECT_FALSE(store.ValueExists("Key1\\Sub", "value")) << c.what;
    EXPECT_FALSE(store.KeyExists("Key1")) << c.what;
    EXPECT_FALSE(store.DeleteKey("Key1")) << c.what;
    EXPECT_FALSE(store.DeleteValue("Key1\\Sub", "value")) << c.what;
    EXPECT_FALSE(store.ListKey("")) << c.what;
    ASSERT_EQ(FReports.size(), 1u) << c.what;
    EXPECT_EQ(FReports[0].find('\n'), std::string::npos) << FReports[0];
    EXPECT_NE(FReports[0].find(FFile.string()), std::string::npos) << FReports[0];
    EXPECT_NE(FReports[0].find(c.reported), std::string::npos) << FReports[0];
    EXPECT_TRUE(store.Open().has_value()) << c.what;
    EXPECT_EQ(ReadBytes(FFile), c.bytes) << c.what;
  }
}

TEST_F(SqliteValueStore, UnusableFilesAreReported) {
  const struct {
    std::string_view what;
    std::function<void()> make;
    std::string_view reported;
  } cases[] = {
      {"a folder in the way", [&] { fs::create_directories(FFile); }, "cannot be opened"},
      {"no permission",
       [&] {
         fs::create_directories(FFile.parent_path());
         std::ofstream{FFile};
         fs::permissions(FFile, fs::perms::none);
       },
       "cannot be opened"},
      {"a later layout",
       [&] {
         fs::create_directories(FFile.parent_path());
         Sql(FFile, "PRAGMA user_version = 7");
       },
       "layout"},
  };
  for (const auto& c : cases) {
    fs::remove_all(FRoot / "config");
    c.make();
    if (c.what == "no permission" && ::geteuid() == 0) continue;  // root reads anything
    FReports.clear();
    auto store = MakeStore();
    EXPECT_EQ(store.WriteValue("K", "v", Text("x")), TWriteResult::KeyUnavailable) << c.what;
    EXPECT_FALSE(store.KeyExists("K")) << c.what;
    ASSERT_EQ(FReports.size(), 1u) << c.what;
    EXPECT_NE(FReports[0].find(c.reported), std::string::npos) << FReports[0];
  }
}

// Runs `body` in a child process bound by file permissions (as nobody when this is root, who is
// not); true when it returned true.
bool InChildBoundByPermissions(const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A store this user may only read (the file, its folder, or both read-only) still answers every
// read; writes answer as for a key that cannot be created, and say why once.
TEST_F(SqliteValueStore, AReadOnlyStoreStillAnswersReads) {
  const struct {
    std::string_view what;
    fs::perms file, folder;
  } cases[] = {
      {"file read-only", fs::perms::owner_read, fs::perms::owner_all},
      {"folder read-only", fs::perms::owner_read | fs::perms::owner_write,
       fs::perms::owner_read | fs::perms::owner_exec},
      {"both read-only", fs::perms::owner_read, fs::perms::owner_read | fs::perms::owner_exec},
  };
  const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::permissions(FFile.parent_path(), fs::perms::owner_all, ec);
    fs::remove_all(FRoot / "config", ec);
    fs::permissions(FRoot, fs::perms::all);  // the child must reach its store
    {
      auto store = MakeStore();
      ASSERT_EQ(store.WriteValue("App\\Sub", "v", Text("kept")), TWriteResult::Written);
    }
    for (const fs::path& path : {FRoot / "config", FFile.parent_path(), FFile})
      ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0) << path;
    fs::permissions(FFile, c.file);
    fs::permissions(FFile.parent_path(), c.folder);
    EXPECT_TRUE(InChildBoundByPermissions([&] {
      std::vector<std::string> reports;
      TSqliteValueStore store(FFile.string(),
                              [&](const std::string& message) { reports.push_back(message); });
      const auto listing = store.ListKey("app");
      return store.ReadValue("APP\\sub", "V").Value == Text("kept") &&
             store.ValueExists("App\\Sub", "v") && store.KeyExists("App") && listing &&
             listing->SubKeys == std::vector<std::string>{"Sub"} &&
             store.WriteValue("App", "w", Text("x")) == TWriteResult::KeyUnavailable &&
             !store.DeleteValue("App\\Sub", "v") && !store.DeleteKey("App") &&
             store.ReadValue("App\\Sub", "v").Value == Text("kept") && reports.size() == 1 &&
             reports[0].find("read-only") != std::string::npos;
    }));
  }
  fs::permissions(FFile.parent_path(), fs::perms::owner_all);
}

// Once the file is usable again, the same store object works without a restart.
TEST_F(SqliteValueStore, RecoversOnceTheFileIsMovedAway) {
  fs::create_directories(FFile.parent_path());
  std::ofstream(FFile, std::ios::binary) << std::string(4096, 'g');
  auto store = MakeStore();
  EXPECT_EQ(store.WriteValue("K", "v", Text("x")), TWriteResult::KeyUnavailable);
  fs::rename(FFile, FFile.string() + ".damaged");
  EXPECT_EQ(store.WriteValue("K", "v", Text("x")), TWriteResult::Written);
  EXPECT_EQ(store.ReadValue("K", "v").Value, Text("x"));
  EXPECT_EQ(FReports.size(), 1u);
}

}  // namespace
}  // namespace velloc::platform
