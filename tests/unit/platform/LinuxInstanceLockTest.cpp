// The single-instance lock: a file lock in a folder only the user can enter, held until the
// process ends, however it ends; another user can neither hold it nor keep the application from
// starting.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "platform/linux/LinuxSystem.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;
using R = TInstanceLockResult;

constexpr uid_t kNobody = 65534;

// Sets an environment variable for the life of the object.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (FOld)
      ::setenv(FName, FOld->c_str(), 1);
    else
      ::unsetenv(FName);
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// A scratch root with a runtime folder and a temporary folder of its own, both world-writable
// and sticky as /tmp is, so that another user can try to get in first.
class LinuxInstanceLock : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-lock-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
    ::chmod(FRoot.c_str(), 0755);
    FRuntime = FRoot / "run";
    FTemp = FRoot / "tmp";
    for (const fs::path& folder : {FRuntime, FTemp}) {
      fs::create_directory(folder);
      ::chmod(folder.c_str(), 01777);
    }
    FRuntimeEnv.emplace("XDG_RUNTIME_DIR", FRuntime.string());
    FTempEnv.emplace("TMPDIR", FTemp.string());
  }
  void TearDown() override {
    FRuntimeEnv.reset();
    FTempEnv.reset();
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }

  fs::path LockFolder() const { return FRuntime / "velloc"; }
  fs::path TempLockFolder() const { return FTemp / ("velloc-" + std::to_string(::geteuid())); }

  // Whether another process of this user finds the lock held.
  static bool HeldElsewhere(const std::string& name) {
    const pid_t child = ::fork();
    if (child == 0) {
      TLinuxSystem system({});
      ::_exit(system.CreateInstanceLock(name) == R::AlreadyExists ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  fs::path FRoot, FRuntime, FTemp;
  std::optional<TScopedEnv> FRuntimeEnv, FTempEnv;
};

TEST_F(LinuxInstanceLock, HeldUntilTheHolderDiesEvenByKill) {
  const std::string name = "lock-test";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TLinuxSystem system({});
    const char result = system.CreateInstanceLock(name) == R::Created ? 'y' : 'n';
    (void)!::write(ready[1], &result, 1);
    ::pause();
    ::_exit(0);
  }
  char result = 0;
  ASSERT_EQ(::read(ready[0], &result, 1), 1);
  ASSERT_EQ(result, 'y');

  TLinuxSystem system({});
  EXPECT_EQ(system.CreateInstanceLock(name), R::AlreadyExists);
  EXPECT_EQ(system.CreateInstanceLock(name + "-other"), R::Created);

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(system.CreateInstanceLock(name), R::Created);
  EXPECT_EQ(system.CreateInstanceLock(name), R::AlreadyExists);  // now this process holds it
  ::close(ready[0]);
  ::close(ready[1]);

  // The lock lives in a folder only this user can enter.
  struct stat info {};
  ASSERT_EQ(::lstat(LockFolder().c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, ::geteuid());
  EXPECT_TRUE(fs::is_regular_file(LockFolder() / "lock-test.lock"));
}

TEST_F(LinuxInstanceLock, LongNamesStayDistinctFileNames) {
  const std::string base(250, 'x');
  const std::string a = base + "a", b = base + "b";
  EXPECT_EQ(TLinuxSystem::InstanceLockFileName("App"), "App.lock");
  EXPECT_EQ(TLinuxSystem::InstanceLockFileName(std::string(250, 'y')).size(), 255u);
  EXPECT_LE(TLinuxSystem::InstanceLockFileName(a).size(), 255u);
  EXPECT_NE(TLinuxSystem::InstanceLockFileName(a), TLinuxSystem::InstanceLockFileName(b));
  TLinuxSystem system({});
  EXPECT_EQ(system.CreateInstanceLock(a), R::Created);
  EXPECT_EQ(system.CreateInstanceLock(b), R::Created);
  EXPECT_EQ(system.CreateInstanceLock(a), R::AlreadyExists);
}

TEST_F(LinuxInstanceLock, FoldersFollowTheRuntimeFolderElseTheTemporaryFolder) {
  EXPECT_EQ(TLinuxSystem::InstanceLockFolders(),
            (std::vector<std::string>{LockFolder().string(), TempLockFolder().string()}));
  for (const char* runtime : {"", "relative/run"}) {
    const TScopedEnv env("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(TLinuxSystem::InstanceLockFolders(),
              std::vector<std::string>{TempLockFolder().string()})
        << runtime;
    TLinuxSystem system({});
    const std::string name = std::string("fallback") + (runtime[0] ? "1" : "2");
    EXPECT_EQ(system.CreateInstanceLock(name), R::Created);
    EXPECT_TRUE(HeldElsewhere(name));
    struct stat info {};
    ASSERT_EQ(::lstat(TempLockFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
}

// What this user's own files can hold at the lock's place, left from a time the folder was not
// private or placed by a careless tool: never followed, never keeping the lock from working.
TEST_F(LinuxInstanceLock, WhatLiesAtTheLocksPlaceIsNeverFollowed) {
  const fs::path elsewhere = FRoot / "elsewhere";
  fs::create_directory(elsewhere);
  const struct {
    const char* what;
    std::function<void()> prepare;
    bool runtimeFolderUsed;
  } cases[] = {
      {"folder is a link", [&] { fs::create_directory_symlink(elsewhere, LockFolder()); }, false},
      {"folder is a file", [&] { std::ofstream(LockFolder()) << "x"; }, false},
      {"folder open to all",
       [&] {
         fs::create_directory(LockFolder());
         ::chmod(LockFolder().c_str(), 0777);
       },
       true},
      {"lock is a link",
       [&] {
         fs::create_directory(LockFolder());
         ::chmod(LockFolder().c_str(), 0700);
         std::ofstream(elsewhere / "target") << "keep";
         fs::create_symlink(elsewhere / "target", LockFolder() / "App.lock");
       },
       true},
      {"lock is a folder",
       [&] {
         fs::create_directories(LockFolder() / "App.lock");
         ::chmod(LockFolder().c_str(), 0700);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(LockFolder(), ec);
    fs::remove_all(TempLockFolder(), ec);
    c.prepare();
    const pid_t child = ::fork();
    if (child == 0) {
      TLinuxSystem system({});
      if (system.CreateInstanceLock("App") != R::Created) ::_exit(2);
      ::pause();
      ::_exit(0);
    }
    ::usleep(100000);
    EXPECT_TRUE(HeldElsewhere("App"));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the holder could not take the lock";
    const fs::path used = c.runtimeFolderUsed ? LockFolder() : TempLockFolder();
    struct stat info {};
    ASSERT_EQ(::lstat((used / "App.lock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    ASSERT_EQ(::lstat(used.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  std::ifstream target(elsewhere / "target");
  std::string kept;
  target >> kept;
  EXPECT_EQ(kept, "keep");  // the link's target was not touched
}

// Runs `squat` as another user (nobody) in a child that keeps whatever it made until killed.
// Needs root; the tests run as root in CI.
pid_t SquatAsNobody(const std::function<void()>& squat) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(3);
    squat();
    (void)!::write(ready[1], "y", 1);
    ::pause();
    ::_exit(0);
  }
  char answer = 0;
  const bool ok = ::read(ready[0], &answer, 1) == 1;
  ::close(ready[0]);
  ::close(ready[1]);
  if (!ok) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
  }
  return child;
}

// Another user makes the lock's folders first, open to all, and locks files in them: this user's
// application still starts, and keeps a lock of its own where it can.
TEST_F(LinuxInstanceLock, AnotherUserCannotSquatTheLock) {
  if (::geteuid() != 0) GTEST_SKIP() << "switching users needs root";
  const auto squatFolder = [](const fs::path& folder) {
    ::mkdir(folder.c_str(), 0777);
    ::chmod(folder.c_str(), 0777);
    const int fd = ::open((folder / "App.lock").c_str(), O_RDWR | O_CREAT, 0666);
    if (fd >= 0) ::flock(fd, LOCK_EX);
  };
  const struct {
    const char* what;
    bool squatRuntime, squatTemp;
    R expected;
  } cases[] = {
      {"runtime folder", true, false, R::Created},  // the temporary folder takes over
      {"temporary folder", false, true, R::Created},
      {"both folders", true, true, R::Failed},  // no lock: the application runs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(LockFolder(), ec);
    fs::remove_all(TempLockFolder(), ec);
    const fs::path runtime = LockFolder(), temp = TempLockFolder();
    const pid_t squatter = SquatAsNobody([&] {
      if (c.squatRuntime) squatFolder(runtime);
      if (c.squatTemp) squatFolder(temp);
    });
    ASSERT_GT(squatter, 0) << "could not become nobody";
    struct stat info {};
    if (c.squatRuntime) {
      ASSERT_EQ(::lstat(runtime.c_str(), &info), 0);
      ASSERT_EQ(info.st_uid, kNobody);
    }

    TLinuxSystem system({});
    const std::string name = "App";
    EXPECT_EQ(system.CreateInstanceLock(name), c.expected);
    if (c.expected == R::Created) {
      EXPECT_TRUE(HeldElsewhere(name));
    }
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
  }
}

}  // namespace
}  // namespace velloc::platform
