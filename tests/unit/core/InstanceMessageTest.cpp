#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/InstanceMessage.h"

namespace velloc {
namespace {

TEST(InstanceMessage, ArgumentsRoundTrip) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"velloc-e2e://open?x=1"},
      {"/home/José/notes 1.md", "", "a\nb:c", std::string(1000, 'x')},
  };
  for (const auto& arguments : cases) {
    const std::string message = EncodeInstanceMessage(arguments);
    ASSERT_FALSE(message.empty());
    EXPECT_EQ(DecodeInstanceMessage(message), arguments) << message;
  }
  // Beyond the limits nothing is handed over.
  EXPECT_EQ(EncodeInstanceMessage({std::string(kMaxInstanceMessage, 'x')}), "");
  EXPECT_EQ(EncodeInstanceMessage(std::vector<std::string>(kMaxInstanceArguments + 1, "x")), "");
}

TEST(InstanceMessage, AnythingMalformedIsDroppedWhole) {
  const std::string header = "velloc-args 1\n";
  const std::string cases[] = {
      "",
      "velloc-args 2\n",
      "velloc-args 1",
      header + "3:ab\n",                   // cut short
      header + "2:abc\n",                  // the length lies
      header + "2:ab",                     // no end of line
      header + ":ab\n",                    // no length
      header + "-2:ab\n",                  // a sign
      header + "9999999:x\n",              // absurd length
      header + std::string("2:a\0\n", 5),  // NUL
      header + "2:\xC3\x28\n",             // not UTF-8
      header + "1:a\ntrailing",            // garbage after the last argument
      header + std::string(kMaxInstanceMessage, '1'),
  };
  for (const std::string& message : cases)
    EXPECT_FALSE(DecodeInstanceMessage(message)) << message.substr(0, 40);
  std::string many = header;
  for (std::size_t i = 0; i <= kMaxInstanceArguments; ++i)
    many += "1:x\n";
  EXPECT_FALSE(DecodeInstanceMessage(many));
}

}  // namespace
}  // namespace velloc
