#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "platform/linux/SqliteCookieJar.h"

namespace velloc::platform {
namespace {

class SqliteCookieJar : public ::testing::Test {
 protected:
  // Two jars on one file: two windows (web processes) of the application.
  TSqliteCookieJar& Jar(int which) {
    TSqliteCookieJar& jar = which == 0 ? FFirst : FSecond;
    jar.Now = [this] { return FNow; };
    return jar;
  }

  testing::ScratchDir FDir;
  std::string FPath = (FDir / "cookies.db").string();
  std::int64_t FNow = 1'767'225'600;
  TSqliteCookieJar FFirst{FPath}, FSecond{FPath};
};

TEST_F(SqliteCookieJar, SharedSetReplacedExpiredAndDeleted) {
  Jar(0).Write("a=1", "/index.html");
  Jar(0).Write("b=2; max-age=60", "/index.html");
  Jar(1).Write("c=3; path=/sub", "/index.html");
  EXPECT_EQ(Jar(1).Read("/index.html"), "a=1; b=2");
  EXPECT_EQ(Jar(1).Read("/sub/page.html"), "c=3; a=1; b=2");
  // Set again: the new value, the old place.
  Jar(1).Write("a=changed", "/other.html");
  EXPECT_EQ(Jar(0).Read("/index.html"), "a=changed; b=2");
  FNow += 61;
  EXPECT_EQ(Jar(0).Read("/index.html"), "a=changed");
  Jar(0).Write("a=; expires=Thu, 01 Jan 1970 00:00:00 GMT", "/index.html");
  Jar(0).Write("c=; max-age=0; path=/sub", "/index.html");
  EXPECT_EQ(Jar(1).Read("/sub/page.html"), "");
  // What a browser ignores changes nothing.
  Jar(0).Write("d=1; HttpOnly", "/index.html");
  EXPECT_EQ(Jar(1).Read("/"), "");
}

TEST_F(SqliteCookieJar, KeptAcrossARestartExceptSessionCookies) {
  Jar(0).Write("session=1", "/index.html");
  Jar(0).Write("kept=2; max-age=3600", "/index.html");
  {
    TSqliteCookieJar later(FPath);
    later.Now = [this] { return FNow; };
    EXPECT_EQ(later.Read("/index.html"), "session=1; kept=2");
    later.EndSession();
    EXPECT_EQ(later.Read("/index.html"), "kept=2");
  }
}

TEST_F(SqliteCookieJar, TheOldestGoBeyondTheLimit) {
  for (int i = 0; i < 185; ++i)
    Jar(0).Write("c" + std::to_string(i) + "=x", "/index.html");
  const std::string text = Jar(1).Read("/index.html");
  EXPECT_EQ(text.find("c4=x"), std::string::npos) << text;
  EXPECT_EQ(text.find("c5=x"), 0u) << text;
  EXPECT_NE(text.find("c184=x"), std::string::npos) << text;
}

TEST_F(SqliteCookieJar, AnUnusableFileKeepsNothing) {
  TSqliteCookieJar jar((FDir / "missing-folder/cookies.db").string());
  jar.Write("a=1", "/");
  EXPECT_EQ(jar.Read("/"), "");
}

}  // namespace
}  // namespace velloc::platform
