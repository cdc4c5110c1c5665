// The Linux shell on the real system: commands through /bin/sh on a GLib main loop, programs
// started with their arguments split as a shell would, refusals in the system's words.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

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

// Whether a process has ended: gone, or a zombie no one has reaped yet.
bool Ended(pid_t pid) {
  if (::kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// The command's shell and a child it left running in the background, from the file it wrote.
std::vector<pid_t> CommandProcesses(const fs::path& file) {
  std::vector<pid_t> pids;
  std::ifstream in(file);
  for (long pid = 0; in >> pid;)
    pids.push_back(static_cast<pid_t>(pid));
  return pids;
}

// A command that writes without end gives the first 64 MiB, and ends with all it started.
TEST_F(LinuxShell, OutputBeyondTheLimitIsCutAndTheCommandEnded) {
  TLinuxShell shell;
  const fs::path pids = FRoot / "pids";
  const std::optional<std::string> output =
      Run(shell, "echo $$ > '" + pids.string() + "'; sleep 1000 & echo $! >> '" + pids.string() +
                     "'; yes");
  ASSERT_TRUE(output);
  ASSERT_EQ(output->size(), kMaxCommandOutput);
  EXPECT_EQ(output->find_first_not_of("y\n"), std::string::npos);
  const std::vector<pid_t> started = CommandProcesses(pids);
  ASSERT_EQ(started.size(), 2u);
  for (const pid_t pid : started)
    EXPECT_TRUE(RunUntil([&] { return Ended(pid); }, std::chrono::seconds(5))) << pid;
  // Exactly the limit is no reason to end anything.
  const fs::path done = FRoot / "done";
  const std::optional<std::string> whole =
      Run(shell, "head -c " + std::to_string(kMaxCommandOutput) +
                     " /dev/zero; sleep 0.2; echo > '" + done.string() + "'");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), kMaxCommandOutput);
  EXPECT_TRUE(fs::exists(done));
}

// Commands still running when the shell goes (the application closes) end with it, each with
// the processes it started.
TEST_F(LinuxShell, RunningCommandsEndWithTheShell) {
  const fs::path first = FRoot / "first", second = FRoot / "second";
  std::vector<pid_t> started;
  {
    TLinuxShell shell;
    // The second command and its child ignore the polite request.
    for (const auto& [file, prefix] : {std::pair{first, ""}, std::pair{second, "trap '' TERM; "}}) {
      shell.RunCommand(std::string(prefix) + "echo $$ > '" + file.string() +
                           "'; sleep 1000 & echo $! >> '" + file.string() + "'; wait",
                       "", false, [](std::string) { ADD_FAILURE() << "no answer after the end"; });
    }
    ASSERT_TRUE(RunUntil([&] {
      return CommandProcesses(first).size() == 2 && CommandProcesses(second).size() == 2;
    }));
    for (const fs::path& file : {first, second}) {
      for (const pid_t pid : CommandProcesses(file))
        started.push_back(pid);
    }
  }
  for (const pid_t pid : started)
    EXPECT_TRUE(RunUntil([&] { return Ended(pid); }, std::chrono::seconds(5))) << pid;
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

// Which files Execute starts and which it opens with their default application: only ELF images
// and "#!" scripts the user may execute are started.
TEST_F(LinuxShell, ExecuteRunsOnlyProgramsAndScripts) {
  const std::string elf = ReadFile("/bin/true");
  ASSERT_TRUE(
      elf.starts_with("\x7F"
                      "ELF"));
  const struct {
    const char* name;
    std::string bytes;
    fs::perms mode;
    TExecuteKind kind;
  } cases[] = {
      {"program", elf, fs::perms::owner_all, TExecuteKind::Run},
      {"program without x", elf, fs::perms::owner_read | fs::perms::owner_write,
       TExecuteKind::Open},
      {"script", "#!/bin/sh\necho hi\n", fs::perms::owner_all, TExecuteKind::Run},
      {"script without x", "#!/bin/sh\necho hi\n", fs::perms::owner_read, TExecuteKind::Open},
      {"document with x", "echo not a program\n", fs::perms::owner_all, TExecuteKind::Open},
      {"indented #!", " #!/bin/sh\n", fs::perms::owner_all, TExecuteKind::Open},
      {"windows program", "MZ\x90\x00", fs::perms::owner_all, TExecuteKind::Open},
      {"empty with x", "", fs::perms::owner_all, TExecuteKind::Open},
      {"three bytes",
       "\x7F"
       "EL",
       fs::perms::owner_all, TExecuteKind::Open},
  };
  for (const auto& c : cases) {
    const fs::path path = FRoot / c.name;
    std::ofstream(path, std::ios::binary) << c.bytes;
    fs::permissions(path, c.mode);
    EXPECT_EQ(ExecuteKindOf(path.string()), c.kind) << c.name;
  }
  fs::create_symlink(FRoot / "program", FRoot / "link to program");
  fs::create_symlink(FRoot / "document with x", FRoot / "link to document");
  fs::create_directory(FRoot / "folder");
  const struct {
    const char* name;
    TExecuteKind kind;
  } others[] = {
      {"link to program", TExecuteKind::Run},
      {"link to document", TExecuteKind::Open},
      {"folder", TExecuteKind::Open},
      {"missing", TExecuteKind::Open},
  };
  for (const auto& o : others)
    EXPECT_EQ(ExecuteKindOf((FRoot / o.name).string()), o.kind) << o.name;
}

// A document with an execute bit (a file on an exFAT mount, one copied with mode 0755) is never
// handed to a shell: it is opened, and its text never runs.
TEST_F(LinuxShell, ExecuteNeverRunsADocumentThroughAShell) {
  TLinuxShell shell;
  const fs::path ran = FRoot / "ran", document = FRoot / "notes.txt", script = FRoot / "script";
  std::ofstream(document) << "touch '" << ran.string() << "'\n";
  fs::permissions(document, fs::perms::owner_all);
  // Without a default application the opening fails; with one it opens the text. Either way
  // nothing is run.
  shell.Execute(document.string(), "");
  RunUntil([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_FALSE(fs::exists(ran));

  std::ofstream(script) << "#!/bin/sh\ntouch \"$1\"\n";
  fs::permissions(script, fs::perms::owner_all);
  EXPECT_TRUE(shell.Execute(script.string(), "'" + ran.string() + "'").Accepted);
  EXPECT_TRUE(RunUntil([&] { return fs::exists(ran); }));
}

}  // namespace
}  // namespace velloc::platform
