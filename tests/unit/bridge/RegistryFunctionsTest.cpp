// The registry functions, run through the bridge as a page calls them, on the SQLite store in a
// scratch XDG_CONFIG_HOME (never the user's own store).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "bridge/BrowserExternalModule.h"
#include "core/StrUtils.h"
#include "platform/fake/FakeValueStore.h"
#include "platform/linux/SqliteValueStore.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;
using platform::TStoredValue;
using platform::TValueType;

constexpr int kWriteValue = 13001, kReadValue = 13002, kValueExist = 13003, kDeleteValue = 13004,
              kKeyExist = 13005, kDeleteKey = 13006;

struct TReply {
  bool Replied = false;
  bool Success = false;
  std::string Result;  // JSON text

  bool operator==(const TReply&) const = default;
};

TReply Ok(std::string_view result) {
  return {true, true, std::string(result)};
}
TReply Failure(std::string_view text) {
  return {true, false, TStrUtils::StringToJsonString(text)};
}
const TReply kNoReply{};

std::ostream& operator<<(std::ostream& out, const TReply& reply) {
  if (!reply.Replied) return out << "(no reply)";
  return out << (reply.Success ? "success " : "failure ") << reply.Result;
}

// Sends one message to the module; the reply it got, split into success and result text.
TReply Call(TBrowserExternalModule& module, int id, std::string_view data) {
  std::vector<std::string> replies;
  const std::string message =
      "{\"id\": " + std::to_string(id) + ", \"uuid\": \"u1\", \"data\": " + std::string(data) + "}";
  module.BrowserWebMessageReceived(
      {message, "vlx:///index.html", [&](std::string_view reply) { replies.emplace_back(reply); }});
  EXPECT_LE(replies.size(), 1u);
  if (replies.empty()) return {};
  rapidjson::Document reply;
  reply.Parse(replies[0].data(), replies[0].size());
  EXPECT_FALSE(reply.HasParseError()) << replies[0];
  if (reply.HasParseError()) return {};
  const bool success = reply["success"].GetBool();
  const std::string prefix = std::string("{\"uuid\": \"u1\", \"success\": ") +
                             (success ? "true" : "false") + ", \"result\": ";
  EXPECT_TRUE(replies[0].starts_with(prefix)) << replies[0];
  return {true, success, replies[0].substr(prefix.size(), replies[0].size() - prefix.size() - 1)};
}

class RegistryFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-registry-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    if (saved) FSavedConfig = saved;
    ::setenv("XDG_CONFIG_HOME", FRoot.c_str(), 1);
    FStore.emplace(platform::TSqliteValueStore::DefaultPath(),
                   [this](const std::string& message) { FReports.push_back(message); });
    FModule.SetValueStore(&*FStore);
    FModule.SetOnFault([this](TBridgeFault fault, std::string_view) { FFaults.push_back(fault); });
  }
  void TearDown() override {
    FStore.reset();
    if (FSavedConfig)
      ::setenv("XDG_CONFIG_HOME", FSavedConfig->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(FRoot);
  }

  TReply Call(int id, std::string_view data) { return bridge::Call(FModule, id, data); }

  fs::path FRoot;
  std::optional<std::string> FSavedConfig;
  std::optional<platform::TSqliteValueStore> FStore;
  TBrowserExternalModule FModule;
  std::vector<TBridgeFault> FFaults;
  std::vector<std::string> FReports;
};

TEST_F(RegistryFunctions, TheStoreLivesInTheUsersConfigFolder) {
  EXPECT_EQ(FStore->Path(), (FRoot / "velloc" / "registry.db").string());
  EXPECT_EQ(Call(kWriteValue, R"({"key": "K", "name": "n", "value": "v"})"), Ok("true"));
  EXPECT_TRUE(fs::is_regular_file(FRoot / "velloc" / "registry.db"));
}

TEST_F(RegistryFunctions, MissingArguments) {
  const struct {
    int id;
    std::string_view data, failure;
  } cases[] = {
      {kWriteValue, R"({"name": "n", "value": "v"})", "Missing registry key."},
      {kWriteValue, R"({"key": "K", "value": "v"})", "Missing value name."},
      {kWriteValue, R"({"key": "", "name": "", "value": "v"})", "Missing registry key."},
      {kWriteValue, R"({"key": null, "name": "n"})", "Missing registry key."},
      {kReadValue, "{}", "Missing registry key."},  // the key before the name
      {kReadValue, R"({"key": "K"})", "Missing value name."},
      {kValueExist, "{}", "Missing registry key."},
      {kValueExist, R"({"key": "K", "name": ""})", "Missing value name."},
      {kDeleteValue, R"({"name": "n"})", "Missing registry key."},
      {kDeleteValue, R"({"key": "K"})", "Missing value name."},
      {kKeyExist, "{}", "Missing registry key."},
      {kKeyExist, R"({"name": ""})", "Missing registry key."},
      {kDeleteKey, R"({"key": ""})", "Missing registry key."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Call(c.id, c.data), Failure(c.failure)) << c.id << " " << c.data;
  // keyExist and deleteKey take no name.
  EXPECT_EQ(Call(kKeyExist, R"({"key": "K"})"), Ok("false"));
  EXPECT_EQ(Call(kDeleteKey, R"({"key": "K"})"), Ok("false"));
  EXPECT_FALSE(FStore->KeyExists("K"));
  EXPECT_TRUE(FFaults.empty());
}

// The calls of a page in order, each with the reply it must get.
TEST_F(RegistryFunctions, CallsInOrder) {
  const struct {
    int id;
    std::string_view data;
    TReply reply;
  } steps[] = {
      // A missing path is created whole; a leading backslash names the same key.
      {kWriteValue, R"({"key": "Software\\Vendor\\App", "name": "Colour", "value": "blue"})",
       Ok("true")},
      {kKeyExist, R"({"key": "Software"})", Ok("true")},
      {kKeyExist, R"({"key": "\\Software\\Vendor"})", Ok("true")},
      {kReadValue, R"({"key": "\\Software\\Vendor\\App", "name": "Colour"})", Ok(R"("blue")")},
      // Letter case is ignored for keys and names, ASCII and beyond.
      {kReadValue, R"({"key": "SOFTWARE\\vendor\\APP", "name": "cOLOUR"})", Ok(R"("blue")")},
      {kWriteValue,
       R"({"key": "Software\\Vendor\\App", "name": "Stra\u00dfe \u00c4", "value": "x"})",
       Ok("true")},
      {kReadValue, R"({"key": "Software\\Vendor\\App", "name": "stra\u00dfe \u00e4"})",
       Ok(R"("x")")},
      // An absent value stores the empty string.
      {kWriteValue, R"({"key": "Software\\Vendor\\App", "name": "Empty"})", Ok("true")},
      {kValueExist, R"({"key": "Software\\Vendor\\App", "name": "empty"})", Ok("true")},
      {kReadValue, R"({"key": "Software\\Vendor\\App", "name": "Empty"})", Ok(R"("")")},
      // A number is written as the text it was sent as.
      {kWriteValue, R"({"key": "Software\\Vendor\\App", "name": "N", "value": 12.50})", Ok("true")},
      {kReadValue, R"({"key": "Software\\Vendor\\App", "name": "N"})", Ok(R"("12.50")")},
      // Text that JSON must escape comes back unchanged.
      {kWriteValue,
       R"({"key": "Software\\Vendor\\App", "name": "Odd", "value": "a\"b\\c\n\u20ac\ud83d\ude00"})",
       Ok("true")},
      {kReadValue, R"({"key": "Software\\Vendor\\App", "name": "Odd"})",
       Ok(TStrUtils::StringToJsonString("a\"b\\c\n\xE2\x82\xAC\xF0\x9F\x98\x80"))},
      // Missing keys and values read as the empty string; only the existence tests tell.
      {kReadValue, R"({"key": "Software\\Nobody", "name": "Colour"})", Ok(R"("")")},
      {kReadValue, R"({"key": "Software\\Vendor\\App", "name": "Nothing"})", Ok(R"("")")},
      {kValueExist, R"({"key": "Software\\Nobody", "name": "Colour"})", Ok("false")},
      {kValueExist, R"({"key": "Software\\Vendor\\App", "name": "Nothing"})", Ok("false")},
      {kKeyExist, R"({"key": "Software\\Nobody"})", Ok("false")},
      {kKeyExist, R"({"key": "Software\\Nobody"})", Ok("false")},  // a read creates nothing
      // Deleting a value: once true, then false.
      {kDeleteValue, R"({"key": "software\\vendor\\app", "name": "COLOUR"})", Ok("true")},
      {kDeleteValue, R"({"key": "Software\\Vendor\\App", "name": "Colour"})", Ok("false")},
      {kDeleteValue, R"({"key": "Software\\Nobody", "name": "Colour"})", Ok("false")},
      {kValueExist, R"({"key": "Software\\Vendor\\App", "name": "Colour"})", Ok("false")},
      // Deleting a key takes its nested subtree; a second time there is nothing to delete.
      {kWriteValue, R"({"key": "Software\\Vendor\\App\\A\\B\\C", "name": "deep", "value": "1"})",
       Ok("true")},
      {kWriteValue, R"({"key": "Software\\Vendor\\Other", "name": "kept", "value": "2"})",
       Ok("true")},
      {kDeleteKey, R"({"key": "\\SOFTWARE\\Vendor\\App"})", Ok("true")},
      {kKeyExist, R"({"key": "Software\\Vendor\\App\\A\\B"})", Ok("false")},
      {kKeyExist, R"({"key": "Software\\Vendor\\App"})", Ok("false")},
      {kReadValue, R"({"key": "Software\\Vendor\\App\\A\\B\\C", "name": "deep"})", Ok(R"("")")},
      {kReadValue, R"({"key": "Software\\Vendor\\Other", "name": "kept"})", Ok(R"("2")")},
      {kDeleteKey, R"({"key": "Software\\Vendor\\App"})", Ok("false")},
      // Paths that name no key: false, never a failure.
      {kWriteValue, R"({"key": "Software\\\\Twice", "name": "n", "value": "v"})", Ok("false")},
      {kWriteValue, R"({"key": "Software\\", "name": "n", "value": "v"})", Ok("false")},
      {kKeyExist, R"({"key": "\\\\Software"})", Ok("false")},
      // The root itself: it exists, but a page never deletes every application's keys.
      {kKeyExist, R"({"key": "\\"})", Ok("true")},
      {kDeleteKey, R"({"key": "\\"})", Ok("false")},
      {kKeyExist, R"({"key": "Software\\Vendor\\Other"})", Ok("true")},
  };
  for (const auto& s : steps)
    EXPECT_EQ(Call(s.id, s.data), s.reply) << s.id << " " << s.data;
  EXPECT_TRUE(FFaults.empty());
  EXPECT_TRUE(FReports.empty());
  // The stored names keep their first spelling.
  const auto listing = FStore->ListKey("software\\vendor\\app");
  EXPECT_FALSE(listing);
  const auto vendor = FStore->ListKey("software\\vendor");
  ASSERT_TRUE(vendor);
  EXPECT_EQ(vendor->Path, "Software\\Vendor");
}

TEST_F(RegistryFunctions, ReadingTellsTheKindsOfValue) {
  const struct {
    std::string_view name;
    TStoredValue value;
    TReply reply;
  } cases[] = {
      {"plain", {TValueType::String, "C:\\Data"}, Ok(R"("C:\\Data")")},
      {"expandable", {TValueType::ExpandString, "%HOME%\\x"}, Ok(R"("%HOME%\\x")")},
      {"nul inside", {TValueType::String, std::string("before\0after", 12)}, Ok(R"("before")")},
      {"number", {TValueType::DWord, std::string("\x01\0\0\0", 4)}, kNoReply},
      {"binary", {TValueType::Binary, "ab"}, kNoReply},
      {"no type", {TValueType::None, ""}, kNoReply},
  };
  for (const auto& c : cases)
    ASSERT_EQ(FStore->WriteValue("Kinds", c.name, c.value), platform::TWriteResult::Written);
  for (const auto& c : cases) {
    const std::string data =
        "{\"key\": \"Kinds\", \"name\": " + TStrUtils::StringToJsonString(c.name) + "}";
    FFaults.clear();
    EXPECT_EQ(Call(kReadValue, data), c.reply) << c.name;
    EXPECT_EQ(FFaults.size(), c.reply.Replied ? 0u : 1u) << c.name;
    // Any kind exists, and can be deleted.
    EXPECT_EQ(Call(kValueExist, data), Ok("true")) << c.name;
  }
  FFaults.clear();
  EXPECT_EQ(Call(kDeleteValue, R"({"key": "Kinds", "name": "number"})"), Ok("true"));
  EXPECT_TRUE(FFaults.empty());
}

TEST_F(RegistryFunctions, UnusableArgumentsGetNoReply) {
  const struct {
    int id;
    std::string_view data;
  } cases[] = {
      {kWriteValue, R"({"key": {}, "name": "n"})"},
      {kWriteValue, R"({"key": "K", "name": ["n"]})"},
      {kWriteValue, R"({"key": "K", "name": "n", "value": {"a": 1}})"},
      {kReadValue, R"({"key": ["K"], "name": "n"})"},
      {kDeleteKey, R"({"key": {"k": "K"}})"},
  };
  for (const auto& c : cases) {
    FFaults.clear();
    EXPECT_EQ(Call(c.id, c.data), kNoReply) << c.data;
    EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError}) << c.data;
  }
  // A refused value argument creates no key either.
  EXPECT_FALSE(FStore->KeyExists("K"));
}

// A NUL would cut a name short at the system's calls and address another key or value: a key
// or name holding one names nothing, and every function answers as for one that is not there.
TEST_F(RegistryFunctions, NamesHoldingANulNameNothing) {
  ASSERT_EQ(Call(kWriteValue, R"({"key": "K", "name": "a", "value": "keep"})"), Ok("true"));
  const struct {
    int id;
    std::string_view data;
    TReply reply;
  } cases[] = {
      {kWriteValue, R"({"key": "K", "name": "a\u0000b", "value": "v"})", Ok("false")},
      {kWriteValue, R"({"key": "K\u0000x", "name": "a", "value": "v"})", Ok("false")},
      {kWriteValue, R"({"key": "New", "name": "\u0000", "value": "v"})", Ok("false")},
      {kReadValue, R"({"key": "K", "name": "a\u0000b"})", Ok(R"("")")},
      {kReadValue, R"({"key": "K\u0000", "name": "a"})", Ok(R"("")")},
      {kValueExist, R"({"key": "K", "name": "a\u0000"})", Ok("false")},
      {kDeleteValue, R"({"key": "K", "name": "a\u0000b"})", Ok("false")},
      {kDeleteValue, R"({"key": "K\u0000", "name": "a"})", Ok("false")},
      {kKeyExist, R"({"key": "K\u0000x"})", Ok("false")},
      {kDeleteKey, R"({"key": "K\u0000x"})", Ok("false")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Call(c.id, c.data), c.reply) << c.id << " " << c.data;
  EXPECT_TRUE(FFaults.empty());
  EXPECT_EQ(Call(kReadValue, R"({"key": "K", "name": "a"})"), Ok(R"("keep")"));
  EXPECT_FALSE(FStore->KeyExists("New"));
  const auto listing = FStore->ListKey("K");
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->Values.size(), 1u);
}

// A damaged store: the calls answer as for keys that do not exist, the reason goes to the
// report once, and the file stays as it was.
TEST_F(RegistryFunctions, ADamagedStoreAnswersWithoutFailing) {
  const fs::path file = FStore->Path();
  fs::create_directories(file.parent_path());
  const std::string garbage(4096, 'g');
  std::ofstream(file, std::ios::binary) << garbage;
  const struct {
    int id;
    std::string_view data;
    TReply reply;
  } cases[] = {
      {kWriteValue, R"({"key": "K", "name": "n", "value": "v"})", Ok("false")},
      {kReadValue, R"({"key": "K", "name": "n"})", Ok(R"("")")},
      {kValueExist, R"({"key": "K", "name": "n"})", Ok("false")},
      {kDeleteValue, R"({"key": "K", "name": "n"})", Ok("false")},
      {kKeyExist, R"({"key": "K"})", Ok("false")},
      {kDeleteKey, R"({"key": "K"})", Ok("false")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Call(c.id, c.data), c.reply) << c.id;
  EXPECT_EQ(FReports.size(), 1u);
  EXPECT_TRUE(FFaults.empty());
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            garbage);
}

TEST(RegistryFunctionsWithoutStore, StoreOutcomesAndNoStore) {
  platform::fake::TFakeValueStore store;
  TBrowserExternalModule module;
  std::vector<TBridgeFault> faults;
  module.SetOnFault([&](TBridgeFault fault, std::string_view) { faults.push_back(fault); });
  const std::string_view write = R"({"key": "\\K", "name": "n", "value": "v"})";

  // Without a store no function answers.
  EXPECT_EQ(Call(module, kKeyExist, R"({"key": "K"})"), kNoReply);
  // The missing-argument failures come first even so.
  EXPECT_EQ(Call(module, kKeyExist, "{}"), Failure("Missing registry key."));

  module.SetValueStore(&store);
  const struct {
    platform::TWriteResult result;
    TReply reply;
  } cases[] = {
      {platform::TWriteResult::Written, Ok("true")},
      {platform::TWriteResult::KeyUnavailable, Ok("false")},
      {platform::TWriteResult::ValueRefused, kNoReply},  // the value could not be stored
  };
  for (const auto& c : cases) {
    store.WriteResult = c.result;
    EXPECT_EQ(Call(module, kWriteValue, write), c.reply);
  }
  EXPECT_EQ(store.Calls.back(), "WriteValue K|n=v");
  // deleteKey tests the key first and deletes nothing that is not there.
  store.Calls.clear();
  EXPECT_EQ(Call(module, kDeleteKey, R"({"key": "K"})"), Ok("false"));
  EXPECT_EQ(store.Calls, std::vector<std::string>{"KeyExists K|"});
  EXPECT_EQ(faults.size(), 2u);
}

}  // namespace
}  // namespace velloc::bridge
