#include <gtest/gtest.h>

#include "core/IntText.h"

namespace velloc::text {
namespace {

TEST(TryStrToInt, Table) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"0", 0},
      {"800", 800},
      {"  -20", -20},
      {"+7", 7},
      {"$1F", 31},
      {"x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"12 ", std::nullopt},
      {"1024px", std::nullopt},
      {"1.5", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"abc", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(TryStrToBool, Table) {
  struct Case {
    const char* text;
    std::optional<bool> value;
  } cases[] = {
      {"0", false},          {"1", true},        {"-1", true},          {"1.5", true},
      {"0.0", false},        {"True", true},     {"FALSE", false},      {"tRuE", true},
      {"yes", std::nullopt}, {"", std::nullopt}, {"1,5", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TryStrToBool(c.text), c.value) << '"' << c.text << '"';
}

TEST(LenientStrToInt, Table) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"800", 800},
      {"800.7", 800},
      {"abc", 0},
      {"-20", -20},
      {"  42px", 42},
      {"$ff", 255},
      {"", 0},
      {"99999999999", INT32_MAX},
      {"-99999999999", INT32_MIN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LenientStrToInt(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace velloc::text
