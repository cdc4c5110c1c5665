// Argument conversion, seen the way handlers see it: through a dispatched message.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "bridge/BrowserExternalModule.h"

namespace velloc::bridge {
namespace {

struct TReading {
  std::optional<std::string> Text;  // nullopt: conversion error
  std::optional<bool> Bool;         // nullopt: conversion error
  bool Found = false;
  std::string TryText;
};

// Dispatches a call whose data object is `dataJson` and reads its member "v" every way.
TReading Read(const std::string& dataJson) {
  TBrowserExternalModule module;
  module.SetOnFault([](TBridgeFault, std::string_view) {});
  TReading reading;
  bool ran = false;
  module.ReplaceHandler(
      30001, [&](TBrowserExternalModule&, const std::string&, const TJsonValue& data) {
        ran = true;
        try {
          reading.Text = TBrowserExternalModule::GetArgString(data, "v", "dflt");
        } catch (const EBridgeArgError&) {
        }
        try {
          reading.Bool = TBrowserExternalModule::GetArgBool(data, "v", true);
        } catch (const EBridgeArgError&) {
        }
        reading.TryText = "stale";
        reading.Found = TBrowserExternalModule::TryGetArgString(data, "v", reading.TryText);
      });
  const std::string json = R"({"id": 30001, "uuid": "u", "data": )" + dataJson + "}";
  module.BrowserWebMessageReceived({json, "vlx:///index.html", nullptr});
  EXPECT_TRUE(ran) << dataJson;
  return reading;
}

TEST(Arguments, ConversionTable) {
  const std::nullopt_t error = std::nullopt;
  const struct {
    const char* data;
    std::optional<std::string> text;
    std::optional<bool> boolean;
    bool found;
    const char* tryText;
  } cases[] = {
      {R"({})", "dflt", true, false, ""},
      {R"({"v": null})", "dflt", true, true, ""},
      {R"({"V": "x"})", "dflt", true, false, ""},  // names match with their letter case
      {R"({"v": "abc"})", "abc", error, true, "abc"},
      {R"({"v": ""})", "", error, true, ""},
      {R"({"v": "True"})", "True", true, true, "True"},
      {R"({"v": "fALSE"})", "fALSE", false, true, "fALSE"},
      {R"({"v": "0"})", "0", false, true, "0"},
      {R"({"v": "$10"})", "$10", true, true, "$10"},
      {R"({"v": "caf\u00e9"})", "caf\xC3\xA9", error, true, "caf\xC3\xA9"},
      {R"({"v": 600})", "600", true, true, "600"},
      {R"({"v": 1.5})", "1.5", true, true, "1.5"},
      {R"({"v": 800.70})", "800.70", true, true, "800.70"},  // the text as written
      {R"({"v": 0.0})", "0.0", false, true, "0.0"},
      {R"({"v": -0})", "-0", false, true, "-0"},
      {R"({"v": 1E3})", "1E3", true, true, "1E3"},
      {R"({"v": 12345678901234567890123})", "12345678901234567890123", true, true,
       "12345678901234567890123"},
      {R"({"v": true})", "true", true, true, "true"},
      {R"({"v": false})", "false", false, true, "false"},
      {R"({"v": {}})", error, error, false, ""},
      {R"({"v": [1]})", error, error, false, ""},
      {R"({"v": "first", "v": "second"})", "first", error, true, "first"},
      {R"({"v": false, "v": true})", "false", false, true, "false"},
  };
  for (const auto& c : cases) {
    const TReading r = Read(c.data);
    EXPECT_EQ(r.Text, c.text) << c.data;
    EXPECT_EQ(r.Bool, c.boolean) << c.data;
    EXPECT_EQ(r.Found, c.found) << c.data;
    EXPECT_EQ(r.TryText, c.tryText) << c.data;
  }
}

TEST(Arguments, ValuesBuiltWithoutTheDispatcher) {
  // Handlers may read nested objects that they build or parse themselves, with real numbers.
  rapidjson::Document doc;
  doc.Parse(R"({"n": 42, "u": 18446744073709551615, "d": 0.25, "z": 0, "a": [], "x": 1})");
  ASSERT_FALSE(doc.HasParseError());
  EXPECT_EQ(TBrowserExternalModule::GetArgString(doc, "n", ""), "42");
  EXPECT_EQ(TBrowserExternalModule::GetArgString(doc, "u", ""), "18446744073709551615");
  EXPECT_EQ(TBrowserExternalModule::GetArgString(doc, "d", ""), "0.25");
  EXPECT_FALSE(TBrowserExternalModule::GetArgBool(doc, "z", true));
  EXPECT_TRUE(TBrowserExternalModule::GetArgBool(doc, "d", false));
  // Reading members of something that is no object is a conversion error too.
  EXPECT_THROW(TBrowserExternalModule::GetArgString(doc["a"], "x", ""), EBridgeArgError);
  std::string value = "stale";
  EXPECT_FALSE(TBrowserExternalModule::TryGetArgString(doc["a"], "x", value));
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace velloc::bridge
