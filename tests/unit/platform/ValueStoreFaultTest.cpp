// Writers of the value store killed with SIGKILL at random moments: afterwards the file passes
// SQLite's integrity check and holds every value whose write had been acknowledged.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <poll.h>
#include <random>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include "platform/linux/SqliteValueStore.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kKills = 40;
constexpr int kMaxLifeMs = 120;

// The child: writes values in a loop, creating keys as it goes and now and then deleting a
// scratch subtree, and writes "key|name|value" to `ack` once each write has returned.
[[noreturn]] void WriteUntilKilled(const std::string& file, int round, int ack) {
  TSqliteValueStore store(file);
  for (int i = 0;; ++i) {
    const std::string key = "Round" + std::to_string(round % 4) + "\\K" + std::to_string(i % 5);
    const std::string name = "v" + std::to_string(round) + "-" + std::to_string(i);
    const std::string value = std::string(static_cast<std::size_t>(i % 300), 'x') + name;
    if (store.WriteValue(key, name, {TValueType::String, value}) == TWriteResult::Written) {
      const std::string line = key + "|" + name + "|" + value + "\n";
      // One write of less than PIPE_BUF bytes: the line arrives whole or not at all.
      if (::write(ack, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(3);
    }
    const std::string scratch =
        "Scratch\\R" + std::to_string(round) + "\\S" + std::to_string(i % 3);
    store.WriteValue(scratch, "s", {TValueType::String, value});
    if (i % 4 == 3) store.DeleteKey("Scratch\\R" + std::to_string(round));
  }
}

std::string QueryText(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  std::string answer = "(error)";
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    answer = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  return answer;
}

TEST(ValueStoreFault, KilledWritersLoseNoAcknowledgedWrite) {
  char pattern[] = "/tmp/velloc-store-fault-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  const std::string file = (root / "velloc" / "registry.db").string();
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> lifeMs(0, kMaxLifeMs);

  std::map<std::pair<std::string, std::string>, std::string> acknowledged;
  int killedMidWrite = 0;
  for (int round = 0; round < kKills; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      WriteUntilKilled(file, round, fds[1]);
    }
    ::close(fds[1]);
    std::string received;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(lifeMs(random));
    bool killed = false;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (!killed && left.count() <= 0) {
        ::kill(pid, SIGKILL);
        killed = true;
      }
      pollfd poll{fds[0], POLLIN, 0};
      ::poll(&poll, 1, killed ? 1000 : static_cast<int>(left.count()));
      if (!(poll.revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "round " << round << " ended otherwise: " << status;
    killedMidWrite += received.empty() ? 0 : 1;
    for (std::size_t start = 0, end; (end = received.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = received.substr(start, end - start);
      const std::size_t bar1 = line.find('|'), bar2 = line.find('|', bar1 + 1);
      acknowledged[{line.substr(0, bar1), line.substr(bar1 + 1, bar2 - bar1 - 1)}] =
          line.substr(bar2 + 1);
    }
  }
  // Most rounds live long enough to acknowledge writes; the rest die opening or setting up.
  EXPECT_GT(killedMidWrite, kKills / 4);
  ASSERT_FALSE(acknowledged.empty());

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  EXPECT_EQ(QueryText(db, "PRAGMA integrity_check"), "ok");
  sqlite3_close(db);

  std::vector<std::string> reports;
  TSqliteValueStore store(file, [&](const std::string& message) { reports.push_back(message); });
  int missing = 0;
  for (const auto& [where, value] : acknowledged) {
    const TReadResult read = store.ReadValue(where.first, where.second);
    if (!read.Value || read.Value->Data != value) {
      if (++missing <= 5) ADD_FAILURE() << "lost " << where.first << " " << where.second;
    }
  }
  EXPECT_EQ(missing, 0) << "of " << acknowledged.size() << " acknowledged writes";
  EXPECT_TRUE(reports.empty());
  std::printf("%zu acknowledged writes over %d kills\n", acknowledged.size(), kKills);
  fs::remove_all(root);
}

}  // namespace
}  // namespace velloc::platform
