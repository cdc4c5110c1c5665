#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/InstanceMessage.h"

namespace velloc {
namespace {

using TArgs = std::vector<std::string>;
const std::string kHeader = "velloc-args 1\n";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(InstanceMessage, ArgumentsRoundTrip) {
  const std::vector<TArgs> cases = {
      {},
      {"velloc-e2e://open?x=1"},
      {"/home/José/notes 1.md", "", "a\nb:c", std::string(1000, 'x')},
  };
  for (const auto& arguments : cases) {
    const std::string message = EncodeInstanceMessage(arguments);
    EXPECT_LE(message.size(), kMaxInstanceMessage);
    EXPECT_EQ(DecodeInstanceMessage(message), arguments) << message;
  }
}

// Every later start hands over something, so the running window comes forward: what is not
// text becomes U+FFFD, and what does not fit is left out from the first argument that does not.
TEST(InstanceMessage, WhatCannotBePassedWholeIsPassedInPart) {
  TArgs many;
  for (std::size_t i = 0; i < kMaxInstanceArguments + 10; ++i)
    many.push_back(std::to_string(i));
  const TArgs firstMany(many.begin(), many.begin() + kMaxInstanceArguments);
  const std::string half(kMaxInstanceMessage / 2, 'h');
  const struct {
    const char* name;
    TArgs arguments;
    TArgs handedOver;
  } cases[] = {
      {"not UTF-8",
       {"\xFF\xFE"
        "abc",
        "ok", "\xC3\x28"},
       {kReplacement + kReplacement + "abc", "ok", kReplacement + "("}},
      {"NUL", {std::string("a\0b", 3)}, {"a" + kReplacement + "b"}},
      {"too many", many, firstMany},
      {"too long together", {"a", half, half, "b"}, {"a", half}},
      {"one too long", {std::string(kMaxInstanceMessage, 'x'), "b"}, {}},
  };
  for (const auto& c : cases) {
    const std::string message = EncodeInstanceMessage(c.arguments);
    EXPECT_LE(message.size(), kMaxInstanceMessage) << c.name;
    EXPECT_EQ(DecodeInstanceMessage(message), c.handedOver) << c.name;
  }
}

// Bytes from another process: only a later start's message counts, and of it only the
// arguments that are well formed, up to the first that is not.
TEST(InstanceMessage, TheReaderKeepsWhatIsWellFormed) {
  const struct {
    std::string message;
    std::optional<TArgs> arguments;
  } cases[] = {
      {"", std::nullopt},
      {"velloc-args 2\n", std::nullopt},
      {"velloc-args 1", std::nullopt},
      {std::string(kMaxInstanceMessage + 10, 'x'), std::nullopt},
      {kHeader, TArgs{}},
      {kHeader + "1:a\n3:ab\n", TArgs{"a"}},    // cut short
      {kHeader + "1:a\n2:abc\n", TArgs{"a"}},   // the length lies
      {kHeader + "2:ab", TArgs{}},              // no end of line
      {kHeader + ":ab\n", TArgs{}},             // no length
      {kHeader + "-2:ab\n", TArgs{}},           // a sign
      {kHeader + "9999999:x\n", TArgs{}},       // absurd length
      {kHeader + "1:a\ntrailing", TArgs{"a"}},  // garbage after the last argument
      {kHeader + std::string("3:a\0b\n", 6), TArgs{"a" + kReplacement + "b"}},
      {kHeader + "2:\xC3\x28\n", TArgs{kReplacement + "("}},
      {kHeader + "2:ok\n" + std::string(kMaxInstanceMessage, '1'), TArgs{"ok"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeInstanceMessage(c.message), c.arguments) << c.message.substr(0, 40);
  std::string many = kHeader;
  for (std::size_t i = 0; i <= kMaxInstanceArguments; ++i)
    many += "1:x\n";
  EXPECT_EQ(DecodeInstanceMessage(many), TArgs(kMaxInstanceArguments, "x"));
}

}  // namespace
}  // namespace velloc
