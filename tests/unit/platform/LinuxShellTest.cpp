// The Linux shell on the real system: commands through /bin/sh on a GLib main loop, programs
// started with their arguments split as a shell would, refusals in the system's words.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include <gio/gio.h>

#include "platform/linux/LinuxShell.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

// Runs the main loop until `done` holds or the time is up.
template <typename TPredicate>
bool RunUntil(TPredicate done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return done();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LinuxShell : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-shell-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
  }
  void TearDown() override { fs::remove_all(FRoot); }

  // The output of a command, once it has ended.
  std::optional<std::string> Run(TLinuxShell& shell, const std::string& command,
                                 const std::string& workingDir = "") {
    std::optional<std::string> output;
    shell.RunCommand(command, workingDir, false, [&](std::string out) { output = std::move(out); });
    EXPECT_TRUE(RunUntil([&] { return output.has_value(); })) << command;
    return output;
  }

  fs::path FRoot;
};

TEST_F(LinuxShell, CommandsGiveTheirWholeOutput) {
  TLinuxShell shell;
  const struct {
    std::string command, workingDir, output;
  } cases[] = {
      {"echo out; echo err >&2; echo out2", "", "out\nerr\nout2\n"},
      {"printf '%s' 'q\"\\b'; exit 3", "", "q\"\\b"},  // the exit status is not reported
      {"pwd", FRoot.string(), FRoot.string() + "\n"},
      {"printf 'a\\000\\377'", "", std::string("a\0\xff", 3)},  // raw bytes, decoded later
      {"echo x", (FRoot / "missing").string(), ""},             // cannot start: no output
      {"head -c 300000 /dev/zero | tr '\\0' y", "", std::string(300000, 'y')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(shell, c.command, c.workingDir), c.output) << c.command;
  }
}

TEST_F(LinuxShell, CommandsRunSideBySideAndEndWithTheShell) {
  std::optional<std::string> slow, fast, orphan;
  {
    TLinuxShell shell;
    shell.RunCommand("sleep 1; echo slow", "", false, [&](std::string out) { slow = out; });
    shell.RunCommand("echo fast", "", false, [&](std::string out) { fast = out; });
    ASSERT_TRUE(RunUntil([&] { return fast.has_value(); }));
    EXPECT_FALSE(slow.has_value());
    ASSERT_TRUE(RunUntil([&] { return slow.has_value(); }));
    EXPECT_EQ(*slow, "slow\n");
    shell.RunCommand("sleep 0.3; echo late", "", false, [&](std::string out) { orphan = out; });
  }
  // The shell is gone: the command's end is not reported to a caller that may be gone too.
  RunUntil([] { return false; }, std::chrono::milliseconds(800));
  EXPECT_FALSE(orphan.has_value());
}

TEST_F(LinuxShell, ExecuteStartsProgramsWithTheirArgumentsOrRefuses) {
  TLinuxShell shell;
  const fs::path marker = FRoot / "marker";
  const TOutcome started =
      shell.Execute("/bin/sh", "-c 'printf \"%s|%s\" \"$1\" \"$2\" > \"$0\"' " + marker.string() +
                                   " 'a b' \"c\\\"d\"");
  EXPECT_TRUE(started.Accepted) << started.ErrorText;
  EXPECT_TRUE(RunUntil([&] { return fs::exists(marker) && !ReadFile(marker).empty(); }));
  EXPECT_EQ(ReadFile(marker), "a b|c\"d");

  // A bare name is looked up along PATH; blank arguments are no arguments.
  EXPECT_TRUE(shell.Execute("true", "  ").Accepted);

  const TOutcome missing = shell.Execute((FRoot / "no such file.txt").string(), "");
  EXPECT_FALSE(missing.Accepted);
  EXPECT_EQ(missing.ErrorText, "No such file or directory");

  const TOutcome unbalanced = shell.Execute("/bin/true", "'open");
  EXPECT_FALSE(unbalanced.Accepted);
  EXPECT_FALSE(unbalanced.ErrorText.empty());
}

}  // namespace
}  // namespace velloc::platform
