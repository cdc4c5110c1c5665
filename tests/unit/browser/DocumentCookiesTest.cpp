#include <gtest/gtest.h>

#include "browser/DocumentCookies.h"

namespace velloc::browser {
namespace {

constexpr std::int64_t kNow = 1'767'225'600;  // 2026-01-01 00:00:00 UTC

TEST(DocumentCookies, Dates) {
  const struct {
    const char* text;
    std::optional<std::int64_t> time;
  } cases[] = {
      {"Thu, 01 Jan 2026 00:00:00 GMT", kNow},
      {"Thu, 01-Jan-26 00:00:00 GMT", kNow},
      {"Thursday, 1 January 2026 00:00:00", kNow},
      {"Jan 1 2026 00:00:00", kNow},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Fri, 31 Dec 1999 23:59:59 GMT", 946'684'799},
      {"Tue, 29 Feb 2028 12:30:05 GMT", 1'835'440'205},
      {"Sun, 29 Feb 2027 12:30:05 GMT", std::nullopt},
      {"Thu, 32 Jan 2026 00:00:00 GMT", std::nullopt},
      {"Thu, 01 Jan 2026 24:00:00 GMT", std::nullopt},
      {"Thu, 01 Foo 2026 00:00:00 GMT", std::nullopt},
      {"Thu, 01 Jan 2026", std::nullopt},
      {"Mon, 01 Jan 1600 00:00:00 GMT", std::nullopt},
      {"", std::nullopt},
      {"tomorrow", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseCookieDate(c.text), c.time) << c.text;
}

TEST(DocumentCookies, Paths) {
  EXPECT_EQ(DefaultCookiePath("/index.html"), "/");
  EXPECT_EQ(DefaultCookiePath("/sub/page.html"), "/sub");
  EXPECT_EQ(DefaultCookiePath("/a/b/"), "/a/b");
  EXPECT_EQ(DefaultCookiePath(""), "/");
  EXPECT_TRUE(CookiePathMatches("/sub/page.html", "/sub"));
  EXPECT_TRUE(CookiePathMatches("/sub/page.html", "/sub/"));
  EXPECT_TRUE(CookiePathMatches("/sub", "/sub"));
  EXPECT_TRUE(CookiePathMatches("/x", "/"));
  EXPECT_FALSE(CookiePathMatches("/subway/page.html", "/sub"));
  EXPECT_FALSE(CookiePathMatches("/", "/sub"));
}

// What `document.cookie = text` sets on an https page, for the page /sub/page.html.
TEST(DocumentCookies, Parsing) {
  constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min();
  const struct {
    const char* text;
    bool taken;
    const char* name;
    const char* value;
    const char* path;
    std::optional<std::int64_t> expires;
    bool secure;
  } cases[] = {
      {"a=1", true, "a", "1", "/sub", std::nullopt, false},
      {"  a = 1 2  ", true, "a", "1 2", "/sub", std::nullopt, false},
      {"a=", true, "a", "", "/sub", std::nullopt, false},
      {"lonely", true, "", "lonely", "/sub", std::nullopt, false},
      {"a=b=c", true, "a", "b=c", "/sub", std::nullopt, false},
      {"a=1; path=/", true, "a", "1", "/", std::nullopt, false},
      {"a=1; Path=relative", true, "a", "1", "/sub", std::nullopt, false},
      {"a=1; max-age=60", true, "a", "1", "/sub", kNow + 60, false},
      {"a=1; max-age=0", true, "a", "1", "/sub", kNever, false},
      {"a=1; max-age=-5", true, "a", "1", "/sub", kNever, false},
      {"a=1; max-age=1e3", true, "a", "1", "/sub", std::nullopt, false},
      {"a=1; expires=Thu, 01 Jan 1970 00:00:00 GMT", true, "a", "1", "/sub", 0, false},
      {"a=1; expires=Fri, 02 Jan 2026 00:00:00 GMT; max-age=10", true, "a", "1", "/sub", kNow + 10,
       false},
      {"a=1; expires=soon", true, "a", "1", "/sub", std::nullopt, false},
      {"a=1; Secure; SameSite=Strict; Partitioned", true, "a", "1", "/sub", std::nullopt, true},
      {"__Secure-a=1; Secure", true, "__Secure-a", "1", "/sub", std::nullopt, true},
      {"__Host-a=1; Secure; Path=/", true, "__Host-a", "1", "/", std::nullopt, true},
      // What a browser ignores.
      {"", false, "", "", "", std::nullopt, false},
      {"=", false, "", "", "", std::nullopt, false},
      {"; path=/", false, "", "", "", std::nullopt, false},
      {"a=1; HttpOnly", false, "", "", "", std::nullopt, false},
      {"a=1; domain=example.com", false, "", "", "", std::nullopt, false},
      {"a=\x01", false, "", "", "", std::nullopt, false},
      {"a\x7f=1", false, "", "", "", std::nullopt, false},
      {"__Secure-a=1", false, "", "", "", std::nullopt, false},
      {"__Host-a=1; Secure", false, "", "", "", std::nullopt, false},
      {"__host-a=1; Path=/", false, "", "", "", std::nullopt, false},
      {"__Host-a", false, "", "", "", std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto cookie = ParseDocumentCookie(c.text, "/sub/page.html", kNow);
    ASSERT_EQ(cookie.has_value(), c.taken);
    if (!cookie) continue;
    EXPECT_EQ(cookie->Name, c.name);
    EXPECT_EQ(cookie->Value, c.value);
    EXPECT_EQ(cookie->Path, c.path);
    EXPECT_EQ(cookie->Expires, c.expires);
    EXPECT_EQ(cookie->Secure, c.secure);
  }
  EXPECT_TRUE(ParseDocumentCookie("a=" + std::string(4095, 'x'), "/", kNow));
  EXPECT_FALSE(ParseDocumentCookie("a=" + std::string(4096, 'x'), "/", kNow));
  // An attribute too long is ignored, not the cookie.
  const auto longPath = ParseDocumentCookie("a=1; path=/" + std::string(1100, 'p'), "/", kNow);
  ASSERT_TRUE(longPath);
  EXPECT_EQ(longPath->Path, "/");
}

// Longer paths first, then older cookies; expired ones and other paths left out.
TEST(DocumentCookies, Text) {
  const std::vector<TDocumentCookie> cookies = {
      {"root", "1", "/", std::nullopt, false, 10}, {"sub", "2", "/sub", kNow + 5, false, 20},
      {"older", "3", "/", std::nullopt, false, 5}, {"gone", "4", "/", kNow, false, 1},
      {"", "bare", "/", std::nullopt, false, 30},  {"other", "5", "/other", std::nullopt, false, 2},
  };
  EXPECT_EQ(DocumentCookieText(cookies, "/sub/page.html", kNow), "sub=2; older=3; root=1; bare");
  EXPECT_EQ(DocumentCookieText(cookies, "/index.html", kNow), "older=3; root=1; bare");
  EXPECT_EQ(DocumentCookieText(cookies, "/sub/page.html", kNow + 5), "older=3; root=1; bare");
  EXPECT_EQ(DocumentCookieText({}, "/", kNow), "");
}

}  // namespace
}  // namespace velloc::browser
