// The single-instance lock: held until the process ends, however it ends, and nothing on disk
// that could be removed from under it.
#include <csignal>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "platform/linux/LinuxSystem.h"

namespace velloc::platform {
namespace {

using R = TInstanceLockResult;

std::string UniqueName(const std::string& base) {
  return base + "-" + std::to_string(::getpid());
}

TEST(LinuxInstanceLock, HeldUntilTheHolderDiesEvenByKill) {
  const std::string name = UniqueName("lock-test");
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
}

TEST(LinuxInstanceLock, LongNamesStayDistinct) {
  const std::string base = UniqueName(std::string(240, 'x'));
  const std::string a = base + "a", b = base + "b";
  EXPECT_LE(TLinuxSystem::InstanceLockAddress(a).size(), 107u);
  EXPECT_NE(TLinuxSystem::InstanceLockAddress(a), TLinuxSystem::InstanceLockAddress(b));
  TLinuxSystem system({});
  EXPECT_EQ(system.CreateInstanceLock(a), R::Created);
  EXPECT_EQ(system.CreateInstanceLock(b), R::Created);
  EXPECT_EQ(system.CreateInstanceLock(a), R::AlreadyExists);
  // The user's id is part of the name: other users' instances are theirs.
  EXPECT_NE(TLinuxSystem::InstanceLockAddress("x").find("/" + std::to_string(::getuid()) + "/"),
            std::string::npos);
}

}  // namespace
}  // namespace velloc::platform
