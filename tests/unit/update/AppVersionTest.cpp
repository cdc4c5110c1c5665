#include <gtest/gtest.h>

#include "update/AppVersion.h"

namespace velloc::update {
namespace {

TEST(AppVersionTest, Order) {
  struct Case {
    const char* Lower;
    const char* Higher;
  };
  const Case cases[] = {
      {"1.0.0", "2.0.0"},
      {"1.9", "1.10"},  // numbers, not text
      {"1.2.9", "1.2.10"},
      {"1.2", "1.2.0.1"},
      {"0.9.9.9", "1"},
      {"2.0.0-beta", "2.0.0"},  // a pre-release comes before its release
      {"2.0.0-alpha", "2.0.0-beta"},
      {"2.0.0-beta.2", "2.0.0-beta.10"},  // numeric words as numbers
      {"2.0.0-1", "2.0.0-alpha"},         // numbers before words
      {"2.0.0-beta", "2.0.0-beta.1"},     // a shorter tag first
      {"1.99.99", "2.0.0-rc.1"},
      {"999999998", "999999999"},
  };
  for (const Case& c : cases) {
    const auto lower = TAppVersion::Parse(c.Lower);
    const auto higher = TAppVersion::Parse(c.Higher);
    ASSERT_TRUE(lower && higher) << c.Lower << " " << c.Higher;
    EXPECT_LT(*lower, *higher) << c.Lower << " < " << c.Higher;
    EXPECT_GT(*higher, *lower) << c.Higher << " > " << c.Lower;
  }
}

TEST(AppVersionTest, Equal) {
  const std::pair<const char*, const char*> cases[] = {
      {"1.2", "1.2.0"}, {"1", "1.0.0.0"}, {"01.2", "1.2"}, {"2.0-rc.01", "2.0.0-rc.1"}};
  for (const auto& [a, b] : cases) {
    EXPECT_EQ(*TAppVersion::Parse(a), *TAppVersion::Parse(b)) << a << " = " << b;
  }
}

TEST(AppVersionTest, NotVersions) {
  for (const char* text : {"", " 1.0", "1.0 ", "v1.0", "1..0", "1.", ".1", "1.2.3.4.5", "1.0+build",
                           "1.0-", "1.0-beta..1", "1.0-be ta", "one", "-1", "1,0",
                           "1000000000",  // ten digits do not fit
                           "12345678901234567890123456789012345678901234567890123456789012345"}) {
    EXPECT_FALSE(TAppVersion::Parse(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace velloc::update
