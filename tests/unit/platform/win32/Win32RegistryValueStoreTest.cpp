// The registry store on the real registry below HKEY_CURRENT_USER (Wine's, in the tests'
// private prefix): key creation, types, letter case, deletion, listing, and what other writers
// do meanwhile. Every case works below a key of its own that is removed afterwards.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32RegistryValueStore.h"

namespace velloc::platform {
namespace {

using namespace std::string_literals;

TStoredValue Text(std::string_view text, TValueType type = TValueType::String) {
  return {type, std::string(text)};
}

class Win32RegistryValueStore : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = "Software\\VellocTest-" + std::to_string(::GetCurrentProcessId());
    FWideRoot = L"Software\\VellocTest-" + std::to_wstring(::GetCurrentProcessId());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, FWideRoot.c_str());
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, FWideRoot.c_str()); }
  std::string Key(const std::string& below) const { return FRoot + "\\" + below; }

  std::string FRoot;
  std::wstring FWideRoot;
  TWin32RegistryValueStore FStore;
};

TEST_F(Win32RegistryValueStore, WritingCreatesTheWholePathAndReadsBack) {
  const std::string key = Key("Vendor\\App\\Settings");
  EXPECT_FALSE(FStore.KeyExists(Key("Vendor")));
  ASSERT_EQ(FStore.WriteValue(key, "Greeting", Text("Hello, 世界")), TWriteResult::Written);
  EXPECT_TRUE(FStore.KeyExists(Key("Vendor")));
  EXPECT_TRUE(FStore.KeyExists(Key("Vendor\\App")));
  const TReadResult read = FStore.ReadValue(key, "Greeting");
  EXPECT_TRUE(read.KeyFound);
  ASSERT_TRUE(read.Value);
  EXPECT_EQ(*read.Value, Text("Hello, 世界"));

  // An empty text is a value of its own; writing again replaces.
  ASSERT_EQ(FStore.WriteValue(key, "Empty", Text("")), TWriteResult::Written);
  EXPECT_EQ(FStore.ReadValue(key, "Empty").Value, Text(""));
  ASSERT_EQ(FStore.WriteValue(key, "Greeting", Text("again")), TWriteResult::Written);
  EXPECT_EQ(FStore.ReadValue(key, "Greeting").Value, Text("again"));

  // What the registry holds is what any other program reads: UTF-16 with one terminating zero.
  wchar_t data[16] = {};
  DWORD size = sizeof data, type = 0;
  const std::wstring wideKey = FWideRoot + L"\\Vendor\\App\\Settings";
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), L"Greeting", RRF_RT_ANY, &type, data,
                           &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6 * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(data), L"again");
}

TEST_F(Win32RegistryValueStore, MissingKeysAndValuesAreToldApart) {
  const std::string key = Key("App");
  const TReadResult noKey = FStore.ReadValue(key, "Name");
  EXPECT_FALSE(noKey.KeyFound);
  EXPECT_FALSE(noKey.Value);
  EXPECT_FALSE(FStore.ValueExists(key, "Name"));
  EXPECT_FALSE(FStore.DeleteValue(key, "Name"));
  EXPECT_FALSE(FStore.DeleteKey(key));
  EXPECT_FALSE(FStore.ListKey(key));

  ASSERT_EQ(FStore.WriteValue(key, "Other", Text("x")), TWriteResult::Written);
  const TReadResult noValue = FStore.ReadValue(key, "Name");
  EXPECT_TRUE(noValue.KeyFound);
  EXPECT_FALSE(noValue.Value);
  EXPECT_FALSE(FStore.ValueExists(key, "Name"));
  EXPECT_FALSE(FStore.DeleteValue(key, "Name"));

  EXPECT_TRUE(FStore.ValueExists(key, "Other"));
  EXPECT_TRUE(FStore.DeleteValue(key, "Other"));
  EXPECT_FALSE(FStore.ValueExists(key, "Other"));
  EXPECT_TRUE(FStore.KeyExists(key));  // deleting its last value leaves the key
}

TEST_F(Win32RegistryValueStore, EveryKindRoundTrips) {
  const struct {
    const char* Name;
    TStoredValue Value;
  } cases[] = {
      {"string", Text("C:\\Program Files\\App")},
      {"expandable", Text("%USERPROFILE%\\data", TValueType::ExpandString)},
      {"string with NUL", Text("before\0after"s)},
      {"binary", {TValueType::Binary, "\x00\x01\xFE\xFF"s}},
      {"empty binary", {TValueType::Binary, ""}},
      {"dword", {TValueType::DWord, "\x78\x56\x34\x12"s}},
      {"qword", {TValueType::QWord, "\x01\x02\x03\x04\x05\x06\x07\x08"s}},
      {"multi", {TValueType::MultiString, "a\0\0\0b\0\0\0\0\0"s}},
      {"none", {TValueType::None, "\x01"s}},
      {"big-endian dword", {static_cast<TValueType>(REG_DWORD_BIG_ENDIAN), "\x12\x34\x56\x78"s}},
  };
  const std::string key = Key("Kinds");
  for (const auto& c : cases)
    ASSERT_EQ(FStore.WriteValue(key, c.Name, c.Value), TWriteResult::Written) << c.Name;
  for (const auto& c : cases) {
    const TReadResult read = FStore.ReadValue(key, c.Name);
    ASSERT_TRUE(read.Value) << c.Name;
    EXPECT_EQ(*read.Value, c.Value) << c.Name;
  }
  // The expandable text comes back unexpanded, and is what the registry's own reader sees.
  DWORD type = 0;
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, (FWideRoot + L"\\Kinds").c_str(), L"expandable",
                           RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  DWORD number = 0, size = sizeof number;
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, (FWideRoot + L"\\Kinds").c_str(), L"dword",
                           RRF_RT_REG_DWORD, nullptr, &number, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 0x12345678u);
}

TEST_F(Win32RegistryValueStore, NamesIgnoreLetterCaseAndKeepTheirOwn) {
  ASSERT_EQ(FStore.WriteValue(Key("Vendor\\MixedCase"), "ValueName", Text("1")),
            TWriteResult::Written);
  EXPECT_TRUE(FStore.KeyExists(Key("VENDOR\\mixedcase")));
  EXPECT_EQ(FStore.ReadValue(Key("vendor\\MIXEDCASE"), "valuename").Value, Text("1"));
  ASSERT_EQ(FStore.WriteValue(Key("VENDOR\\MIXEDCASE"), "VALUENAME", Text("2")),
            TWriteResult::Written);

  const auto listing = FStore.ListKey(Key("VENDOR\\mixedCASE"));
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->Path, Key("Vendor\\MixedCase"));
  ASSERT_EQ(listing->Values.size(), 1u);
  EXPECT_EQ(listing->Values[0].first, "ValueName");
  EXPECT_EQ(listing->Values[0].second, Text("2"));
}

TEST_F(Win32RegistryValueStore, ListingIsSortedWithoutLetterCase) {
  const std::string key = Key("List");
  for (const char* name : {"beta", "Alpha", "gamma", "Delta"})
    ASSERT_EQ(FStore.WriteValue(key, name, Text(name)), TWriteResult::Written);
  for (const char* sub : {"zeta", "Eta", "theta"})
    ASSERT_EQ(FStore.WriteValue(key + "\\" + sub + "\\deeper", "x", Text("")),
              TWriteResult::Written);
  const auto listing = FStore.ListKey(key);
  ASSERT_TRUE(listing);
  std::vector<std::string> names;
  for (const auto& [name, value] : listing->Values) {
    names.push_back(name);
    EXPECT_EQ(value, Text(name));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "Delta", "gamma"}));
  EXPECT_EQ(listing->SubKeys, (std::vector<std::string>{"Eta", "theta", "zeta"}));

  const auto empty = FStore.ListKey(key + "\\Eta\\deeper");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->SubKeys.empty());
  // The user's root lists the keys below it.
  const auto root = FStore.ListKey("");
  ASSERT_TRUE(root);
  EXPECT_NE(std::find(root->SubKeys.begin(), root->SubKeys.end(), "Software"), root->SubKeys.end());
}

TEST_F(Win32RegistryValueStore, DeleteKeyTakesTheWholeSubtreeAndNothingElse) {
  for (const char* path : {"Doomed\\a\\b\\c", "Doomed\\a\\d", "Doomed\\e", "Kept\\f"})
    ASSERT_EQ(FStore.WriteValue(Key(path), "v", Text(path)), TWriteResult::Written);
  ASSERT_EQ(FStore.WriteValue(Key("Doomed"), "own", Text("")), TWriteResult::Written);
  ASSERT_EQ(FStore.WriteValue(Key("DoomedSibling"), "v", Text("")), TWriteResult::Written);

  EXPECT_TRUE(FStore.DeleteKey(Key("DOOMED")));
  EXPECT_FALSE(FStore.KeyExists(Key("Doomed")));
  EXPECT_FALSE(FStore.KeyExists(Key("Doomed\\a\\b")));
  EXPECT_TRUE(FStore.KeyExists(Key("Kept\\f")));
  EXPECT_TRUE(FStore.KeyExists(Key("DoomedSibling")));
  EXPECT_FALSE(FStore.DeleteKey(Key("Doomed")));
}

TEST_F(Win32RegistryValueStore, TheRootAndNamesWithNulAreNeverTouched) {
  ASSERT_EQ(FStore.WriteValue(FRoot, "v", Text("kept")), TWriteResult::Written);
  // A NUL would end the name at the system call and name the key above.
  const std::string withNul = FRoot + "\0\\junk"s;
  EXPECT_FALSE(FStore.DeleteKey(withNul));
  EXPECT_EQ(FStore.WriteValue(withNul, "v", Text("x")), TWriteResult::KeyUnavailable);
  EXPECT_FALSE(FStore.KeyExists(withNul));
  EXPECT_FALSE(FStore.ReadValue(withNul, "v").KeyFound);
  EXPECT_EQ(FStore.WriteValue(FRoot, "v\0other"s, Text("x")), TWriteResult::ValueRefused);
  // A refused name creates no key on the way.
  EXPECT_EQ(FStore.WriteValue(Key("NotMade"), "v\0"s, Text("x")), TWriteResult::ValueRefused);
  EXPECT_FALSE(FStore.KeyExists(Key("NotMade")));
  EXPECT_FALSE(FStore.DeleteValue(FRoot, "v\0other"s));
  EXPECT_FALSE(FStore.ValueExists(FRoot, "v\0other"s));
  EXPECT_EQ(FStore.ReadValue(FRoot, "v").Value, Text("kept"));

  for (const std::string& root : {""s, "\\"s, "\\\\"s})
    EXPECT_FALSE(FStore.DeleteKey(root)) << root;
  EXPECT_TRUE(FStore.KeyExists("Software"));
  EXPECT_TRUE(FStore.KeyExists(FRoot));
}

TEST_F(Win32RegistryValueStore, ChangesByOthersAreSeenAtOnce) {
  const std::string key = Key("Shared");
  const std::wstring wideKey = FWideRoot + L"\\Shared";
  ASSERT_EQ(FStore.WriteValue(key, "v", Text("mine")), TWriteResult::Written);
  const wchar_t theirs[] = L"theirs";
  ASSERT_EQ(
      ::RegSetKeyValueW(HKEY_CURRENT_USER, wideKey.c_str(), L"v", REG_SZ, theirs, sizeof theirs),
      ERROR_SUCCESS);
  EXPECT_EQ(FStore.ReadValue(key, "v").Value, Text("theirs"));
  // Given a subkey, RegDeleteTree takes the subkey itself with its subtree.
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, wideKey.c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(FStore.KeyExists(key));
  EXPECT_FALSE(FStore.ReadValue(key, "v").KeyFound);
}

}  // namespace
}  // namespace velloc::platform
