#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "platform/webkit/ApplicationCookies.h"

namespace velloc::webkit {
namespace {

class ApplicationCookies : public ::testing::Test {
 protected:
  testing::ScratchDir FDir;
  std::string FPath = (FDir / "cookies.db").string();
  // Two stores on one file: two windows (web processes) of the application.
  TApplicationCookies FFirst{FPath}, FSecond{FPath};
};

TEST_F(ApplicationCookies, SharedSetReplacedAndDeleted) {
  FFirst.Write("a=1", "/index.html");
  FFirst.Write("b=2; max-age=60", "/index.html");
  FSecond.Write("c=3; path=/sub", "/index.html");
  // The document's folder is the path of a cookie that names none.
  FSecond.Write("d=4", "/sub/page.html");
  EXPECT_EQ(FSecond.Read("/index.html"), "a=1; b=2");
  EXPECT_EQ(FFirst.Read("/sub/page.html"), "c=3; d=4; a=1; b=2");
  // Set again, from another document and window: the new value in the old place.
  FSecond.Write("a=changed", "/other.html");
  EXPECT_EQ(FFirst.Read("/index.html"), "a=changed; b=2");
  FFirst.Write("a=; expires=Thu, 01 Jan 1970 00:00:00 GMT", "/index.html");
  FFirst.Write("c=; max-age=0; path=/sub", "/index.html");
  EXPECT_EQ(FSecond.Read("/sub/page.html"), "d=4; b=2");
}

TEST_F(ApplicationCookies, KeptAcrossARestartExceptSessionCookies) {
  FFirst.Write("session=1", "/index.html");
  FFirst.Write("kept=2; max-age=3600", "/index.html");
  TApplicationCookies later(FPath);
  EXPECT_EQ(later.Read("/index.html"), "session=1; kept=2");
  later.EndSession();
  EXPECT_EQ(later.Read("/index.html"), "kept=2");
}

TEST_F(ApplicationCookies, TheOldestGoBeyondTheLimit) {
  for (std::size_t i = 0; i < kMaxApplicationCookies + 5; ++i)
    FFirst.Write("c" + std::to_string(i) + "=x", "/index.html");
  const std::string text = FSecond.Read("/index.html");
  EXPECT_EQ(text.find("c4=x"), std::string::npos) << text;
  EXPECT_EQ(text.find("c5=x"), 0u) << text;
  EXPECT_NE(text.find("c184=x"), std::string::npos) << text;
}

// What a page may set, and what it may not though libsoup's parser takes it. The application's
// host is the only domain a cookie may name.
TEST_F(ApplicationCookies, WhatAPageMaySet) {
  const struct {
    std::string text;
    const char* reads;
  } cases[] = {
      {"a=1; Secure; SameSite=Strict", "a=1"},
      {"lonely", "lonely"},
      {"a=1; Domain=velloc.localhost", "a=1"},
      {"a=1; Domain=example.com", ""},
      {"a=1; Domain=localhost", ""},
      {"a=1; HttpOnly", ""},
      {"", ""},
      {"=", ""},
      {"a=" + std::string(4095, 'x'), nullptr},
      {"a=" + std::string(4096, 'x'), ""},
      {"__Secure-a=1; Secure", "__Secure-a=1"},
      {"__Secure-a=1", ""},
      {"__Host-a=1; Secure; Path=/", "__Host-a=1"},
      {"__Host-a=1; Secure; Path=/sub", ""},
      {"__host-a=1; Path=/", ""},
      {"__Host-a=1; Secure; Path=/; Domain=velloc.localhost", ""},
      {"=__Secure-a; Secure", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    FFirst.Write(c.text, "/index.html");
    EXPECT_EQ(FFirst.Read("/index.html"), c.reads ? c.reads : c.text);
    FFirst.EndSession();
  }
}

TEST_F(ApplicationCookies, AnUnusableFileKeepsNothing) {
  TApplicationCookies cookies((FDir / "missing-folder/cookies.db").string());
  cookies.Write("a=1", "/");
  EXPECT_EQ(cookies.Read("/"), "");
}

}  // namespace
}  // namespace velloc::webkit
