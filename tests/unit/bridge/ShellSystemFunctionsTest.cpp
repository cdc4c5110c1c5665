// The shell and system functions, run through the bridge as a page calls them, against fakes of
// the desktop; and the deferred replies they answer with.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "bridge/BrowserExternalModule.h"
#include "bridge/SystemTexts.h"
#include "core/StrUtils.h"
#include "core/Text.h"
#include "platform/fake/FakeNetwork.h"
#include "platform/fake/FakeNotifications.h"
#include "platform/fake/FakeSession.h"
#include "platform/fake/FakeShell.h"
#include "platform/fake/Fakes.h"

namespace velloc::bridge {
namespace {

using platform::TLinkKind;
using platform::TSessionEnd;

std::string Json(std::string_view text) {
  return TStrUtils::StringToJsonString(text);
}

// The text a JSON string literal stands for.
std::string Unquote(std::string_view literal) {
  rapidjson::Document document;
  document.Parse(literal.data(), literal.size());
  EXPECT_TRUE(!document.HasParseError() && document.IsString()) << literal;
  if (document.HasParseError() || !document.IsString()) return {};
  return {document.GetString(), document.GetStringLength()};
}

class TFakeBrowserForm : public IBridgeBrowserForm {
 public:
  platform::IWebView* View = nullptr;
  platform::IWebView* Browser() const override { return View; }
  void SetStartPageURL(const std::string&) override {}
  void InitializeBrowser() override {}
  std::string AppDirPath() const override { return "/opt/app/"; }
};

// Every reply the page received, in order: the envelope as posted.
struct TPage {
  std::vector<std::string> Replies;
  std::function<void(std::string_view)> Sink() {
    return [this](std::string_view reply) { Replies.emplace_back(reply); };
  }
};

std::string Envelope(std::string_view uuid, bool success, std::string_view result) {
  return TBrowserExternalModule::FormatReply(uuid, result, success);
}

class ShellSystemFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm.View = &FView;
    FModule = std::make_unique<TBrowserExternalModule>();
    FModule->SetBrowserForm(&FForm);
    FModule->SetShell(&FShell);
    FModule->SetWindowList(&FWindows);
    FModule->SetSession(&FSession);
    FModule->SetNetwork(&FNetwork);
    FModule->SetNotificationCenter(&FNotifications);
    FModule->SetOnFault([this](TBridgeFault fault, std::string_view) { FFaults.push_back(fault); });
  }

  void Send(int id, std::string_view data, std::string_view uuid = "u1") {
    const std::string message = "{\"id\": " + std::to_string(id) + ", \"uuid\": " + Json(uuid) +
                                ", \"data\": " + std::string(data) + "}";
    FModule->BrowserWebMessageReceived({message, "vlx:///index.html", FPage.Sink()});
  }
  // The one reply a call got at once.
  std::string Call(int id, std::string_view data) {
    FPage.Replies.clear();
    Send(id, data);
    EXPECT_EQ(FPage.Replies.size(), 1u) << id << " " << data;
    return FPage.Replies.empty() ? std::string() : FPage.Replies[0];
  }

  TPage FPage;
  TFakeBrowserForm FForm;
  platform::fake::TFakeWebView FView;
  platform::fake::TFakeShell FShell;
  platform::fake::TFakeWindowList FWindows;
  platform::fake::TFakeSession FSession;
  platform::fake::TFakeNetwork FNetwork;
  platform::fake::TFakeNotifications FNotifications;
  std::unique_ptr<TBrowserExternalModule> FModule;
  std::vector<TBridgeFault> FFaults;
};

TEST_F(ShellSystemFunctions, MissingArgumentsAreRefusedWithoutTouchingTheDesktop) {
  const struct {
    int id;
    std::string_view data, failure;
  } cases[] = {
      {70001, "{}", "Missing filePath"},
      {70001, R"({"filePath": null, "arguments": "-x"})", "Missing filePath"},
      {70001, R"({"filePath": ""})", "Missing filePath"},
      {70002, "{}", "Missing filePath"},
      {70002, R"({"filePath": ""})", "Missing filePath"},
      {70003, "{}", "Missing command"},
      {70003, R"({"command": null, "workingDir": "/tmp"})", "Missing command"},
      {70003, R"({"command": ""})", "Missing command"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Call(c.id, c.data), Envelope("u1", false, Json(c.failure))) << c.id << c.data;
  }
  EXPECT_TRUE(FShell.Executed.empty());
  EXPECT_TRUE(FShell.Explored.empty());
  EXPECT_TRUE(FShell.Commands.empty());
  EXPECT_TRUE(FFaults.empty());
}

TEST_F(ShellSystemFunctions, ExecuteAndExploreAnswerTrueOrTheTrimmedSystemText) {
  EXPECT_EQ(Call(70001, R"({"filePath": "/usr/bin/prog", "arguments": "-a 'b c'"})"),
            Envelope("u1", true, "true"));
  EXPECT_EQ(Call(70001, R"({"filePath": 42})"), Envelope("u1", true, "true"));
  ASSERT_EQ(FShell.Executed.size(), 2u);
  EXPECT_EQ(FShell.Executed[0],
            std::make_pair(std::string("/usr/bin/prog"), std::string("-a 'b c'")));
  EXPECT_EQ(FShell.Executed[1], std::make_pair(std::string("42"), std::string()));

  FShell.ExecuteOutcome = {false, "No such file or directory.\r\n"};
  EXPECT_EQ(Call(70001, R"({"filePath": "missing.txt"})"),
            Envelope("u1", false, Json("No such file or directory")));

  EXPECT_EQ(Call(70002, R"({"filePath": "/home/u/a \"b\".txt"})"), Envelope("u1", true, "true"));
  EXPECT_EQ(FShell.Explored, std::vector<std::string>{"/home/u/a \"b\".txt"});
  FShell.ExploreOutcome = {false, "Operation not permitted ..."};
  EXPECT_EQ(Call(70002, R"({"filePath": "x"})"),
            Envelope("u1", false, Json("Operation not permitted")));
}

TEST_F(ShellSystemFunctions, CommandAnswersWhenItEndsWhileOtherCallsAreAnswered) {
  Send(70003, R"({"command": "sleep 5; echo done", "workingDir": "/srv", "showWindow": true})",
       "long");
  Send(70003, R"({"command": "pwd", "showWindow": "True"})", "short");
  // Nothing is answered while the commands run, but other functions are.
  EXPECT_TRUE(FPage.Replies.empty());
  EXPECT_EQ(Call(70004, "{}"), Envelope("u1", true, "[]"));

  ASSERT_EQ(FShell.Commands.size(), 2u);
  EXPECT_EQ(FShell.Commands[0].CommandLine, "sleep 5; echo done");
  EXPECT_EQ(FShell.Commands[0].WorkingDir, "/srv");
  EXPECT_TRUE(FShell.Commands[0].ShowWindow);
  EXPECT_EQ(FShell.Commands[1].WorkingDir, "");
  EXPECT_FALSE(FShell.Commands[1].ShowWindow);  // only the exact text "true" shows it

  FPage.Replies.clear();
  FShell.Finish(1, "/home/u\n");
  FShell.Finish(0, "say \"hi\" \\ back\x01\n");
  ASSERT_EQ(FPage.Replies.size(), 2u);
  EXPECT_EQ(FPage.Replies[0], Envelope("short", true, Json("/home/u\n")));
  EXPECT_EQ(FPage.Replies[1], Envelope("long", true, Json("say \"hi\" \\ back\x01\n")));
  EXPECT_TRUE(FFaults.empty());
}

TEST_F(ShellSystemFunctions, CommandOutputIsAlwaysValidJson) {
  const std::string big(70000, 'x');
  const struct {
    std::string_view output, text;
  } cases[] = {
      {"", ""},
      {"caf\xC3\xA9 \xE2\x82\xAC\n", "caf\xC3\xA9 \xE2\x82\xAC\n"},  // UTF-8 stays
      {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},                  // Windows-1252 otherwise
      {"a\xC3", "a\xC3\x83"},                                        // a cut sequence too
      {std::string_view("a\0b", 3), "ab"},
      {big, big},
  };
  for (const auto& c : cases) {
    Send(70003, R"({"command": "x"})");
    FPage.Replies.clear();
    FShell.Finish(FShell.Commands.size() - 1, std::string(c.output));
    ASSERT_EQ(FPage.Replies.size(), 1u);
    rapidjson::Document reply;
    reply.Parse<rapidjson::kParseValidateEncodingFlag>(FPage.Replies[0].data(),
                                                       FPage.Replies[0].size());
    ASSERT_FALSE(reply.HasParseError()) << c.output;
    EXPECT_EQ(std::string(reply["result"].GetString(), reply["result"].GetStringLength()), c.text);
  }
}

TEST_F(ShellSystemFunctions, WindowsListsEveryTitleButBlankOnes) {
  FWindows.Titles = {"Editor",     " ",      "",          "\t\r\n",
                     "  padded  ", "Editor", "say \"x\"", "\xC3\xA9t\xC3\xA9"};
  EXPECT_EQ(Call(70004, "{}"),
            Envelope("u1", true,
                     "[" + Json("Editor") + "," + Json("  padded  ") + "," + Json("Editor") + "," +
                         Json("say \"x\"") + "," + Json("\xC3\xA9t\xC3\xA9") + "]"));
}

TEST_F(ShellSystemFunctions, SessionEndsAnswerTrueOrTheSystemText) {
  const struct {
    int id;
    TSessionEnd how;
  } cases[] = {
      {11001, TSessionEnd::LogOff}, {11002, TSessionEnd::Reboot}, {11003, TSessionEnd::PowerOff}};
  for (const auto& c : cases) {
    FSession.Outcome = {true, ""};
    EXPECT_EQ(Call(c.id, "{}"), Envelope("u1", true, "true"));
    FSession.Outcome = {false, "Interactive authentication required."};
    EXPECT_EQ(Call(c.id, "{}"), Envelope("u1", false, Json("Interactive authentication required")));
  }
  EXPECT_EQ(FSession.Requests,
            (std::vector<TSessionEnd>{TSessionEnd::LogOff, TSessionEnd::LogOff, TSessionEnd::Reboot,
                                      TSessionEnd::Reboot, TSessionEnd::PowerOff,
                                      TSessionEnd::PowerOff}));
}

TEST_F(ShellSystemFunctions, MacAddressesInTheSystemsOrder) {
  EXPECT_EQ(Call(11004, "{}"), Envelope("u1", true, "[]"));
  FNetwork.List = {
      {TLinkKind::Ethernet, {0, 26, 43, 60, 77, 94}},
      {TLinkKind::Other, {0, 0, 0, 0, 0, 0}},  // loopback: all zero, left out
      {TLinkKind::Wireless, {0xA4, 0xBB, 0x6D, 0x01, 0xFF, 0x0C}},
      {TLinkKind::Other, {0x02, 0x42}},                    // short: the rest counts as zero
      {TLinkKind::Ethernet, {}},                           // no address at all
      {TLinkKind::Other, {0, 0, 0, 0, 0, 0, 0x12, 0x34}},  // only six bytes count
  };
  EXPECT_EQ(Call(11004, "{}"),
            Envelope("u1", true,
                     R"(["E,00:1A:2B:3C:4D:5E","W,A4:BB:6D:01:FF:0C","U,02:42:00:00:00:00"])"));
}

TEST_F(ShellSystemFunctions, NotificationsShowReplaceAndReportClicks) {
  EXPECT_EQ(Call(11005, R"({"name": "n1", "title": "Hello", "body": "World"})"),
            Envelope("u1", true, "true"));
  EXPECT_EQ(Call(11005, R"({"name": "n1", "title": "Again"})"), Envelope("u1", true, "true"));
  ASSERT_EQ(FNotifications.Presented.size(), 2u);
  EXPECT_EQ(FNotifications.Presented[0].Title, "Hello");
  EXPECT_EQ(FNotifications.Presented[0].AlertBody, "World");
  EXPECT_EQ(FNotifications.Presented[1].AlertBody, "");
  EXPECT_EQ(FNotifications.Shown.size(), 1u);

  FNotifications.Supported = false;
  EXPECT_EQ(Call(11005, R"({"name": "n2"})"), Envelope("u1", true, "false"));

  // A click raises the page's event with the name as a string literal, whatever it holds.
  const std::string names[] = {
      "n1", "say \"hi\"", "back\\slash", "\");alert(1);(\"", "line\nbreak \xE2\x80\xA8 sep", ""};
  for (const std::string& name : names) {
    FView.Executed.clear();
    FNotifications.Click(name);
    ASSERT_EQ(FView.Executed.size(), 1u);
    const std::string& script = FView.Executed[0];
    const std::string prefix = "vlx.events.onNotificationClick(";
    ASSERT_TRUE(script.starts_with(prefix) && script.ends_with(");")) << script;
    const std::string literal = script.substr(prefix.size(), script.size() - prefix.size() - 2);
    EXPECT_EQ(Unquote(literal), name) << script;
    // No raw line terminator: the literal stays on one line of script.
    EXPECT_EQ(literal.find('\n'), std::string::npos);
    EXPECT_EQ(literal.find("\xE2\x80\xA8"), std::string::npos);
  }

  // A service set in its place takes the clicks over.
  platform::fake::TFakeNotifications replacement;
  FModule->SetNotificationCenter(&replacement);
  EXPECT_FALSE(FNotifications.OnClick);
  FView.Executed.clear();
  replacement.Click("r");
  EXPECT_EQ(FView.Executed, std::vector<std::string>{"vlx.events.onNotificationClick(\"r\");"});
  FModule->SetNotificationCenter(&FNotifications);
  EXPECT_FALSE(replacement.OnClick);

  // Without a web view a click goes nowhere; once the module is gone it is not called at all.
  FForm.View = nullptr;
  FNotifications.Click("n1");
  FModule.reset();
  EXPECT_FALSE(FNotifications.OnClick);
}

TEST_F(ShellSystemFunctions, DeferredRepliesGoOnceToTheFrameThatAskedWhileTheModuleLives) {
  TPage other;
  Send(70003, R"({"command": "a"})", "first");
  FModule->BrowserWebMessageReceived(
      {R"({"id": 70003, "uuid": "second", "data": {"command": "b"}})", "vlx:///frame.html",
       other.Sink()});
  ASSERT_EQ(FShell.Commands.size(), 2u);
  auto secondDone = FShell.Commands[1].Done;  // a copy: a second answer must go nowhere
  FShell.Finish(1, "B");
  secondDone("again");
  EXPECT_EQ(other.Replies, std::vector<std::string>{Envelope("second", true, Json("B"))});
  EXPECT_TRUE(FPage.Replies.empty());

  FModule.reset();
  FShell.Finish(0, "A");
  EXPECT_TRUE(FPage.Replies.empty());

  // Outside a dispatch there is nobody to answer.
  TBrowserExternalModule module;
  std::vector<TBridgeFault> faults;
  module.SetOnFault([&](TBridgeFault fault, std::string_view) { faults.push_back(fault); });
  module.DeferReply("u").Success("true");
  EXPECT_EQ(faults, std::vector<TBridgeFault>{TBridgeFault::StrayReply});
}

TEST_F(ShellSystemFunctions, UnconnectedOrUnusableArgumentsGetNoReply) {
  const struct {
    int id;
    std::string_view data;
  } cases[] = {
      {70001, R"({"filePath": ["a"]})"},
      {70003, R"({"command": "x", "workingDir": {}})"},
      {11005, R"({"name": {}})"},
  };
  for (const auto& c : cases) {
    FFaults.clear();
    FPage.Replies.clear();
    Send(c.id, c.data);
    EXPECT_TRUE(FPage.Replies.empty()) << c.data;
    EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError}) << c.data;
  }
  TBrowserExternalModule bare;
  std::vector<TBridgeFault> faults;
  bare.SetOnFault([&](TBridgeFault fault, std::string_view) { faults.push_back(fault); });
  for (const int id : {70001, 70002, 70003, 70004, 11001, 11004, 11005}) {
    FPage.Replies.clear();
    bare.BrowserWebMessageReceived(
        {"{\"id\": " + std::to_string(id) +
             R"(, "uuid": "u", "data": {"filePath": "f", "command": "c"}})",
         "vlx:///index.html", FPage.Sink()});
    EXPECT_TRUE(FPage.Replies.empty()) << id;
  }
  EXPECT_EQ(faults.size(), 7u);
}

TEST(SystemTexts, ErrorTextLosesTrailingBlanksControlsAndFullStops) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      {"No such file or directory", "No such file or directory"},
      {"The system cannot find the file specified.\r\n",
       "The system cannot find the file specified"},
      {"Done... \t. \x7f", "Done"},
      {"v1.2 failed", "v1.2 failed"},
      {" . ", ""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SystemErrorText(c.in), c.out) << c.in;
}

TEST(SystemTexts, DecodedOutputIsValidUtf8) {
  std::string every;
  for (int b = 1; b < 256; ++b)
    every += static_cast<char>(b);
  EXPECT_TRUE(text::IsValidUtf8(CommandOutputText(every)));
  EXPECT_EQ(CommandOutputText("\x93quoted\x94"), "\xE2\x80\x9Cquoted\xE2\x80\x9D");
}

}  // namespace
}  // namespace velloc::bridge
