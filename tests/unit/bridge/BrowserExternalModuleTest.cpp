#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "bridge/BrowserExternalModule.h"
#include "bridge/JsonText.h"
#include "bridge/VlxSharedJavascript.h"

namespace velloc::bridge {
namespace {

constexpr std::string_view kAppPage = "vlx:///index.html";
constexpr std::string_view kHelloReply = R"({"uuid": "u1", "success": true, "result": "2026.10"})";

class Bridge : public ::testing::Test {
 protected:
  Bridge() {
    FModule.SetOnFault([this](TBridgeFault fault, std::string_view) { FFaults.push_back(fault); });
  }

  void Send(std::string_view json, std::string_view sourceUri = kAppPage) {
    FModule.BrowserWebMessageReceived(
        {json, sourceUri, [this](std::string_view reply) { FReplies.emplace_back(reply); }});
  }

  TBrowserExternalModule FModule;
  std::vector<std::string> FReplies;
  std::vector<TBridgeFault> FFaults;
};

TEST_F(Bridge, DispatchOutcomes) {
  using F = TBridgeFault;
  const struct {
    const char* json;
    std::optional<std::string_view> reply;
    std::optional<TBridgeFault> fault;
  } cases[] = {
      {R"({"id": 10001, "uuid": "u1", "data": {}})", kHelloReply, {}},
      {R"({"id": "10001", "uuid": "u1", "data": {}})", kHelloReply, {}},
      {R"({"id": " 0x2711", "uuid": "u1", "data": {}})", kHelloReply, {}},
      {R"({"data": {}, "uuid": "u1", "id": 10001, "extra": [1]})", kHelloReply, {}},
      {R"({"id": 10002, "uuid": 7, "data": {"x": 1}})",
       R"({"uuid": "7", "success": true, "result": true})",
       {}},
      {R"({"id": 20001, "uuid": "u2", "data": {}})",
       R"({"uuid": "u2", "success": false, "result": "Not supported"})",
       {}},
      // dropped silently: not an integer, or not in the table
      {R"({"id": 99999, "uuid": "u1", "data": {}})", {}, {}},
      {R"({"id": "abc", "uuid": "u1", "data": {}})", {}, {}},
      {R"({"id": 10001.0, "uuid": "u1", "data": {}})", {}, {}},
      {R"({"id": true, "uuid": "u1", "data": {}})", {}, {}},
      {R"({"id": 4294977297, "uuid": "u1", "data": {}})", {}, {}},
      // malformed: no reply, and a fault
      {R"({"id": 10001, "uuid": "u1"})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": "u1", "data": null})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": "u1", "data": []})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": "u1", "data": "{}"})", {}, F::MalformedMessage},
      {R"({"id": 10001, "data": {}})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": null, "data": {}})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": ["u1"], "data": {}})", {}, F::MalformedMessage},
      {R"({"id": {}, "uuid": "u1", "data": {}})", {}, F::MalformedMessage},
      {R"({"uuid": "u1", "data": {}})", {}, F::MalformedMessage},
      {R"("hello")", {}, F::MalformedMessage},
      {R"([10001, "u1", {}])", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": "u1", "data": {})", {}, F::MalformedMessage},
      {R"({"id": 10001, "uuid": "u1", "data": {}} x)", {}, F::MalformedMessage},
      {"", {}, F::MalformedMessage},
      {"{\"id\": 10001, \"uuid\": \"\xFF\", \"data\": {}}", {}, F::MalformedMessage},
  };
  for (const auto& c : cases) {
    FReplies.clear();
    FFaults.clear();
    Send(c.json);
    if (c.reply) {
      EXPECT_EQ(FReplies, std::vector<std::string>{std::string(*c.reply)}) << c.json;
    } else {
      EXPECT_TRUE(FReplies.empty()) << c.json;
    }
    if (c.fault) {
      EXPECT_EQ(FFaults, std::vector<TBridgeFault>{*c.fault}) << c.json;
    } else {
      EXPECT_TRUE(FFaults.empty()) << c.json;
    }
  }
}

TEST_F(Bridge, AnswersOnlyTheApplicationsDocuments) {
  const std::string hello = R"({"id": 10001, "uuid": "u1", "data": {}})";
  for (const char* uri :
       {"vlx:///index.html", "VLX:///sub/page.html", "file:///tmp/a.html", "FILE:///C:/x.html"}) {
    FReplies.clear();
    Send(hello, uri);
    EXPECT_EQ(FReplies, std::vector<std::string>{std::string(kHelloReply)}) << uri;
  }
  EXPECT_TRUE(FFaults.empty());
  for (const char* uri :
       {"https://example.com/", "http://localhost/", "about:blank", "about:srcdoc",
        "data:text/html,x", "blob:vlx:///1", "vlxx:///a", "", " vlx:///index.html"}) {
    FReplies.clear();
    FFaults.clear();
    Send(hello, uri);
    EXPECT_TRUE(FReplies.empty()) << uri;
    EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::ForeignSource}) << uri;
  }
}

TEST_F(Bridge, ForeignDocumentRunsNoHandler) {
  int closeRequests = 0;
  FModule.SetOnAppCloseRequest([&] { ++closeRequests; });
  Send(R"({"id": 50001, "uuid": "u", "data": {}})", "https://example.com/");
  EXPECT_EQ(closeRequests, 0);
  Send(R"({"id": 50001, "uuid": "u", "data": {}})");
  EXPECT_EQ(closeRequests, 1);
  EXPECT_TRUE(FReplies.empty());  // close never replies
}

TEST_F(Bridge, UuidIsEscapedInTheReply) {
  Send(R"({"id": 10001, "uuid": "a\"b\\c</x>", "data": {}})");
  ASSERT_EQ(FReplies.size(), 1u);
  EXPECT_EQ(FReplies[0], R"({"uuid": "a\"b\\c<\/x>", "success": true, "result": "2026.10"})");
  rapidjson::Document reply;
  reply.Parse(FReplies[0].c_str());
  ASSERT_FALSE(reply.HasParseError());
  EXPECT_STREQ(reply["uuid"].GetString(), "a\"b\\c</x>");
}

TEST(JsonText, LoneSurrogatesBecomeReplacementCharacters) {
  const struct {
    std::string_view in;
    std::optional<std::string_view> out;
  } cases[] = {
      {R"({"t": "plain"})", std::nullopt},
      {R"({"t": "\ud83d\ude00"})", std::nullopt},  // a pair
      {R"({"t": "\\ud800"})", std::nullopt},       // an escaped backslash, then text
      {R"({"t": "\u00e9\n\""})", std::nullopt},
      {R"({"t": "\ud800"})", R"({"t": "\ufffd"})"},
      {R"({"t": "\uDC00x"})", R"({"t": "\ufffdx"})"},
      {R"({"t": "\ud83d\ud83d\ude00"})", R"({"t": "\ufffd\ud83d\ude00"})"},
      {R"({"t": "\ude00\ud83d"})", R"({"t": "\ufffd\ufffd"})"},
      {R"({"t": "\\\ud800"})", R"({"t": "\\\ufffd"})"},
      {R"({"t": "\ud8"})", std::nullopt},  // cut short: the parser's to refuse
  };
  for (const auto& c : cases) {
    const auto fixed = ReplaceLoneSurrogates(c.in);
    ASSERT_EQ(fixed.has_value(), c.out.has_value()) << c.in;
    if (fixed) {
      EXPECT_EQ(*fixed, *c.out) << c.in;
    }
  }
}

TEST_F(Bridge, MessageWithALoneSurrogateIsAnswered) {
  Send(R"({"id": 10001, "uuid": "cut\ud83d", "data": {}})");
  ASSERT_EQ(FReplies.size(), 1u);
  rapidjson::Document reply;
  reply.Parse(FReplies[0].c_str());
  ASSERT_FALSE(reply.HasParseError());
  EXPECT_STREQ(reply["uuid"].GetString(), "cut\xEF\xBF\xBD");
}

TEST_F(Bridge, HandlerErrorEndsOnlyItsMessage) {
  ASSERT_TRUE(
      FModule.ReplaceHandler(10001, [](auto&, auto&, auto&) { throw std::runtime_error("boom"); }));
  ASSERT_TRUE(FModule.ReplaceHandler(
      30001, [](TBrowserExternalModule& m, const std::string& uuid, const TJsonValue& data) {
        m.ReplySuccess(uuid, TBrowserExternalModule::GetArgString(data, "filePath", ""));
      }));
  Send(R"({"id": 10001, "uuid": "u1", "data": {}})");
  Send(R"({"id": 30001, "uuid": "u2", "data": {"filePath": {"nested": 1}}})");
  EXPECT_TRUE(FReplies.empty());
  EXPECT_EQ(FModule.FaultCount(TBridgeFault::HandlerError), 2u);

  Send(R"({"id": 10002, "uuid": "u3", "data": {}})");
  EXPECT_EQ(FReplies,
            std::vector<std::string>{R"({"uuid": "u3", "success": true, "result": true})"});
}

TEST_F(Bridge, NestedDispatchRepliesToEachSender) {
  // A handler that runs a nested main loop (a modal dialog) sees another page message meanwhile.
  std::vector<std::string> innerFrame;
  ASSERT_TRUE(FModule.ReplaceHandler(20001, [&](TBrowserExternalModule& m, const std::string& uuid,
                                                const TJsonValue&) {
    m.BrowserWebMessageReceived({R"({"id": 10002, "uuid": "inner", "data": {}})", kAppPage,
                                 [&](std::string_view reply) { innerFrame.emplace_back(reply); }});
    m.ReplySuccess(uuid, R"("picked")");
  }));
  Send(R"({"id": 20001, "uuid": "outer", "data": {}})");
  EXPECT_EQ(innerFrame,
            std::vector<std::string>{R"({"uuid": "inner", "success": true, "result": true})"});
  EXPECT_EQ(FReplies,
            std::vector<std::string>{R"({"uuid": "outer", "success": true, "result": "picked"})"});
}

TEST_F(Bridge, ReplyOutsideAMessageGoesNowhere) {
  FModule.ReplySuccess("u1", "true");
  EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::StrayReply});
}

TEST_F(Bridge, AppCloseWithoutCallbackIsHarmless) {
  Send(R"({"id": 50001, "uuid": "u", "data": {}})");
  EXPECT_TRUE(FReplies.empty());
  EXPECT_TRUE(FFaults.empty());
}

TEST(BridgeTable, EveryIdentifierHasAHandler) {
  const std::set<int> families = {10, 11, 12, 13, 14, 20, 30, 40, 50, 60, 70, 80, 90};
  const auto table = TBrowserExternalModule::FunctionTable();
  EXPECT_EQ(table.size(), 63u);
  const TBrowserExternalModule module;
  std::set<std::int32_t> ids;
  for (const auto& function : table) {
    EXPECT_TRUE(ids.insert(function.Id).second) << function.Id;
    EXPECT_TRUE(families.contains(function.Id / 1000)) << function.Id;
    EXPECT_TRUE(function.ScriptName.starts_with("vlx.")) << function.Id;
    EXPECT_NE(function.Handler, nullptr);
    EXPECT_TRUE(module.HasHandler(function.Id));
  }
  // Each family numbers its members from 1 without gaps.
  for (const std::int32_t id : ids) {
    if (id % 1000 != 1) {
      EXPECT_TRUE(ids.contains(id - 1)) << id;
    }
  }
  for (const std::int32_t id : {10003, 11006, 50009, 60013, 90002, 0, -1}) {
    EXPECT_FALSE(module.HasHandler(id)) << id;
  }
}

TEST(BridgeScript, EmbeddedFromTheSource) {
  const std::string_view script = VlxSharedJavascript();
  EXPECT_TRUE(script.starts_with("// window.vlx"));
  EXPECT_NE(script.find("window.vlx = {"), std::string_view::npos);
  EXPECT_TRUE(script.ends_with("})();\n"));
  EXPECT_EQ(script.find('\0'), std::string_view::npos);
}

}  // namespace
}  // namespace velloc::bridge
