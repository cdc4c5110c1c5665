// The app and window functions, driven through the module as a page drives them, against the
// platform fakes. Every reply must be JSON that a page can parse.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "bridge/BrowserExternalModule.h"
#include "bridge/WindowNames.h"
#include "platform/fake/FakeUpdates.h"
#include "platform/fake/Fakes.h"

namespace velloc::bridge {
namespace {

using platform::TBorderStyle;
using platform::TWindowState;
using platform::fake::TFakeWebView;

class TTestBrowserForm : public IBridgeBrowserForm {
 public:
  std::optional<TFakeWebView> WebView;
  std::string StartPage;
  int InitializeCalls = 0;

  platform::IWebView* Browser() const override {
    return WebView ? const_cast<TFakeWebView*>(&*WebView) : nullptr;
  }
  void SetStartPageURL(const std::string& url) override { StartPage = url; }
  void InitializeBrowser() override { ++InitializeCalls; }
  std::string AppDirPath() const override { return "/opt/app/"; }
};

// A parsed reply.
struct TReply {
  bool Success = false;
  rapidjson::Document Result;
  std::string ResultText;  // the result written back as compact JSON
};

class AppWindowFunctions : public ::testing::Test {
 protected:
  AppWindowFunctions() {
    FIni.LoadFromText("[App]\nWindowBorder=3\n");
    FWindow.Rect = {10, 20, 800, 600};
    FWindow.IsVisible = true;
    FBrowserForm.WebView.emplace();
    FModule.SetMainForm(&FWindow);
    FModule.SetBrowserForm(&FBrowserForm);
    FModule.SetProjectINI(&FIni);
    FModule.SetSystem(&FSystem);
  }

  // Sends one call; no value when no reply came.
  std::optional<TReply> Call(int id, std::string_view data = "{}") {
    const std::string json = R"({"id": )" + std::to_string(id) + R"(, "uuid": "u-1", "data": )" +
                             std::string(data) + "}";
    std::vector<std::string> replies;
    FModule.BrowserWebMessageReceived(
        {json, "vlx:///index.html", [&](std::string_view reply) { replies.emplace_back(reply); }});
    EXPECT_LE(replies.size(), 1u) << json;
    if (replies.empty()) return std::nullopt;
    rapidjson::Document doc;
    doc.Parse(replies[0].data(), replies[0].size());
    EXPECT_FALSE(doc.HasParseError()) << replies[0];
    if (doc.HasParseError() || !doc.IsObject()) return std::nullopt;
    EXPECT_TRUE(doc.HasMember("uuid") && doc["uuid"] == "u-1") << replies[0];
    TReply reply;
    reply.Success = doc.HasMember("success") && doc["success"].IsBool() && doc["success"].GetBool();
    if (doc.HasMember("result")) {
      reply.Result.CopyFrom(doc["result"], reply.Result.GetAllocator());
      rapidjson::StringBuffer buffer;
      rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
      reply.Result.Accept(writer);
      reply.ResultText = buffer.GetString();
    }
    return reply;
  }

  // The compact JSON of a successful call's result.
  std::string Success(int id, std::string_view data = "{}") {
    const std::optional<TReply> reply = Call(id, data);
    if (!reply) {
      ADD_FAILURE() << id << " " << data << ": no reply";
      return {};
    }
    EXPECT_TRUE(reply->Success) << id << " " << data;
    return reply->ResultText;
  }

  config::TProjectIni FIni;
  platform::fake::TFakeMainWindow FWindow;
  platform::fake::TFakeSystem FSystem;
  TTestBrowserForm FBrowserForm;
  TBrowserExternalModule FModule;
};

constexpr int kClose = 50001, kInFullscreen = 50002, kEnterFullscreen = 50003,
              kExitFullscreen = 50004, kGetArgs = 50005, kNavigate = 50006;
constexpr int kGetStyle = 60001, kSetStyle = 60002, kGetState = 60003, kSetState = 60004,
              kGetTitle = 60005, kSetTitle = 60006, kGetZoom = 60007, kSetZoom = 60008,
              kGetSize = 60009, kSetSize = 60010, kGetBorder = 60011, kSetBorder = 60012;

TEST_F(AppWindowFunctions, FullscreenEnterTwiceExitOnce) {
  EXPECT_EQ(Success(kInFullscreen), "false");
  EXPECT_EQ(Success(kEnterFullscreen), "true");
  EXPECT_EQ(Success(kEnterFullscreen), "true");
  EXPECT_EQ(Success(kInFullscreen), "true");
  EXPECT_EQ(FWindow.Border, TBorderStyle::None);
  EXPECT_EQ(FWindow.State, TWindowState::Maximized);
  EXPECT_EQ(Success(kExitFullscreen), "true");
  EXPECT_EQ(Success(kInFullscreen), "false");
  // Enter: border, then state; leave: state, then the configured border (3, dialog).
  EXPECT_EQ(FWindow.Log, (std::vector<std::string>{"border 0", "state 2", "state 0", "border 3"}));
  EXPECT_EQ(FWindow.Border, TBorderStyle::Dialog);
  EXPECT_EQ(FWindow.State, TWindowState::Normal);
}

TEST_F(AppWindowFunctions, ExitFullscreenReadsTheBorderNow) {
  FModule.SetInFullscreen(true);  // started in full-screen mode
  FIni.LoadFromText("[App]\n");
  EXPECT_EQ(Success(kExitFullscreen), "true");
  EXPECT_EQ(FWindow.Log, (std::vector<std::string>{"state 0", "border 2"}));
}

TEST_F(AppWindowFunctions, ExitFullscreenWhenNotInFullscreenChangesNothing) {
  FWindow.State = TWindowState::Maximized;
  FWindow.Border = TBorderStyle::Single;
  EXPECT_EQ(Success(kExitFullscreen), "true");
  EXPECT_TRUE(FWindow.Log.empty());
  EXPECT_EQ(FWindow.State, TWindowState::Maximized);
  EXPECT_EQ(FWindow.Border, TBorderStyle::Single);
}

TEST_F(AppWindowFunctions, Borders) {
  const struct {
    const char* data;
    TBorderStyle border;
  } cases[] = {
      {R"({"border": "none"})", TBorderStyle::None},
      {R"({"border": "single"})", TBorderStyle::Single},
      {R"({"border": "dialog"})", TBorderStyle::Dialog},
      {R"({"border": "toolwindow"})", TBorderStyle::ToolWindow},
      {R"({"border": "sizetoolwindow"})", TBorderStyle::SizeToolWindow},
      {R"({"border": "None"})", TBorderStyle::Single},  // unknown: unchanged
      {R"({"border": ""})", TBorderStyle::Single},
      {"{}", TBorderStyle::Sizeable},
      {R"({"border": null})", TBorderStyle::Sizeable},  // null counts as absent
  };
  for (const auto& c : cases) {
    FWindow.Border = TBorderStyle::Single;
    EXPECT_EQ(Success(kSetBorder, c.data), "true") << c.data;
    EXPECT_EQ(FWindow.Border, c.border) << c.data;
    EXPECT_EQ(Success(kGetBorder), "\"" + std::string(BorderStyleName(c.border)) + "\"");
  }
}

TEST_F(AppWindowFunctions, SetBorderInFullscreenKeepsTheFlag) {
  Success(kEnterFullscreen);
  FWindow.Border = TBorderStyle::Sizeable;
  EXPECT_EQ(Success(kSetBorder, R"({"border": "none"})"), "true");
  EXPECT_EQ(Success(kInFullscreen), "true");
  EXPECT_EQ(Success(kGetBorder), "\"none\"");
}

TEST_F(AppWindowFunctions, Stacking) {
  const struct {
    const char* data;
    bool topmost;
  } cases[] = {
      {R"({"style": "ontop"})", true}, {R"({"style": "ONTOP"})", false},
      {R"({"style": "ontop"})", true}, {R"({"style": "normal"})", false},
      {R"({"style": "ontop"})", true}, {"{}", false},
      {R"({"style": "ontop"})", true}, {R"({"style": " ontop"})", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Success(kSetStyle, c.data), "true") << c.data;
    EXPECT_EQ(FWindow.IsTopmost, c.topmost) << c.data;
    EXPECT_EQ(Success(kGetStyle), c.topmost ? "\"ontop\"" : "\"normal\"");
  }
}

TEST_F(AppWindowFunctions, WindowStatesWithAndWithoutTheTrayIcon) {
  const struct {
    bool tray;
    const char* state;
    TWindowState expected;
    bool visible;
    int fronts;
  } steps[] = {
      {true, "minimized", TWindowState::Minimized, false, 0},  // lives on in the tray
      {true, "normal", TWindowState::Normal, true, 1},
      {true, "maximized", TWindowState::Maximized, true, 2},
      {true, "Minimized", TWindowState::Maximized, true, 2},  // unknown: nothing changes
      {false, "minimized", TWindowState::Minimized, true, 2},
      {false, "normal", TWindowState::Normal, true, 2},
      {false, "maximized", TWindowState::Maximized, true, 2},
      {false, "", TWindowState::Maximized, true, 2},
  };
  bool tray = false;
  FModule.SetTrayIconVisible([&tray] { return tray; });
  for (const auto& s : steps) {
    tray = s.tray;
    const std::string data = R"({"state": ")" + std::string(s.state) + "\"}";
    EXPECT_EQ(Success(kSetState, data), "true") << data;
    EXPECT_EQ(FWindow.State, s.expected) << s.tray << data;
    EXPECT_EQ(FWindow.IsVisible, s.visible) << s.tray << data;
    EXPECT_EQ(FWindow.FrontRequests, s.fronts) << s.tray << data;
    EXPECT_EQ(Success(kGetState), "\"" + std::string(WindowStateName(s.expected)) + "\"");
  }
  // An absent state means "normal".
  EXPECT_EQ(Success(kSetState), "true");
  EXPECT_EQ(FWindow.State, TWindowState::Normal);
}

TEST_F(AppWindowFunctions, SetSizeKeepsWhatIsNotGiven) {
  const struct {
    const char* data;
    platform::TRect expected;
  } cases[] = {
      {R"({"width": 1024})", {10, 20, 1024, 600}},
      {R"({"width": 1024.9})", {10, 20, 1024, 600}},
      {R"({"width": "abc"})", {10, 20, 0, 600}},
      {R"({"top": -20, "left": "5px", "height": " 300"})", {-20, 5, 800, 300}},
      {R"({"top": 1, "left": 2, "width": 3, "height": 4})", {1, 2, 3, 4}},
      {"{}", {10, 20, 800, 600}},
  };
  for (const auto& c : cases) {
    FWindow.Rect = {10, 20, 800, 600};
    EXPECT_EQ(Success(kSetSize, c.data), "true") << c.data;
    const platform::TRect& r = FWindow.Rect;
    EXPECT_EQ(
        std::vector<int>({r.Top, r.Left, r.Width, r.Height}),
        std::vector<int>({c.expected.Top, c.expected.Left, c.expected.Width, c.expected.Height}))
        << c.data;
  }
  FWindow.Rect = {-5, 7, 1024, 768};
  EXPECT_EQ(Success(kGetSize), R"({"top":-5,"left":7,"width":1024,"height":768})");
}

TEST_F(AppWindowFunctions, SetZoom) {
  const struct {
    const char* data;
    double zoom;
    const char* result;
  } cases[] = {
      {R"({"factor": "1.5"})", 1.5, "true"},
      {R"({"factor": 1.5})", 1.5, "true"},
      {R"({"factor": " 2 "})", 2.0, "true"},
      {R"({"factor": "1,5"})", 1.0, "false"},
      {"{}", 1.0, "false"},
      {R"({"factor": null})", 1.0, "false"},
      {R"({"factor": "abc"})", 1.0, "false"},
      {R"({"factor": "1.5x"})", 1.0, "false"},
      {R"({"factor": "0"})", 1.0, "false"},
      {R"({"factor": "-2"})", 1.0, "false"},
  };
  for (const auto& c : cases) {
    FBrowserForm.WebView->Zoom = 3.0;
    EXPECT_EQ(Success(kSetZoom, c.data), c.result) << c.data;
    EXPECT_EQ(FBrowserForm.WebView->Zoom, c.zoom) << c.data;
  }
}

TEST_F(AppWindowFunctions, GetZoomInTheUsersNumberFormat) {
  const struct {
    double zoom;
    char separator;
    const char* expected;
  } cases[] = {
      {1.25, '.', "\"1.25\""},
      {1.25, ',', "\"1,25\""},
      {1.0, ',', "\"1\""},
      {0.1 + 0.2, '.', "\"0.3\""},
      {1.0 / 3, '.', "\"0.333333333333333\""},
  };
  for (const auto& c : cases) {
    FBrowserForm.WebView->Zoom = c.zoom;
    FSystem.Decimal = c.separator;
    EXPECT_EQ(Success(kGetZoom), c.expected) << c.zoom << c.separator;
  }
}

TEST_F(AppWindowFunctions, ZoomWithoutAWebViewGivesNoReply) {
  FBrowserForm.WebView.reset();
  EXPECT_FALSE(Call(kGetZoom));
  EXPECT_FALSE(Call(kSetZoom, R"({"factor": "1.5"})"));
}

TEST_F(AppWindowFunctions, GetArgs) {
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{}},
      {{"demo.app", "file:///page two.html"}},
      {{"quo\"te", "back\\slash", "tab\there", "ünïcödé", ""}},
  };
  FSystem.Executable = "/opt/my app/app";
  for (const auto& c : cases) {
    FSystem.Args = c.args;
    const std::optional<TReply> reply = Call(kGetArgs);
    ASSERT_TRUE(reply && reply->Success);
    ASSERT_TRUE(reply->Result.IsArray());
    std::vector<std::string> items;
    for (const auto& item : reply->Result.GetArray()) {
      ASSERT_TRUE(item.IsString());
      items.emplace_back(item.GetString(), item.GetStringLength());
    }
    std::vector<std::string> expected{FSystem.Executable};
    expected.insert(expected.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(items, expected);
  }
}

TEST_F(AppWindowFunctions, TitleRoundTrip) {
  FWindow.ApplicationTitle = "Demo";
  for (const char* title : {R"(say "hi" \ bye)", "", "tab\tline\nend", "日本語 </script>"}) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("title");
    writer.String(title);
    writer.EndObject();
    EXPECT_EQ(Success(kSetTitle, buffer.GetString()), "true");
    EXPECT_EQ(FWindow.CaptionText, title);
    const std::optional<TReply> reply = Call(kGetTitle);
    ASSERT_TRUE(reply && reply->Result.IsString());
    EXPECT_EQ(std::string(reply->Result.GetString(), reply->Result.GetStringLength()), title);
  }
  EXPECT_EQ(FWindow.ApplicationTitle, "Demo");
  FWindow.CaptionText = "x";
  EXPECT_EQ(Success(kSetTitle), "true");  // absent: the empty caption
  EXPECT_EQ(FWindow.CaptionText, "");
}

TEST_F(AppWindowFunctions, Navigate) {
  // Missing url.
  for (const char* data : {"{}", R"({"url": ""})", R"({"url": null})"}) {
    const std::optional<TReply> reply = Call(kNavigate, data);
    ASSERT_TRUE(reply) << data;
    EXPECT_FALSE(reply->Success) << data;
    EXPECT_EQ(reply->ResultText, "\"Missing url\"") << data;
  }
  EXPECT_TRUE(FBrowserForm.WebView->Navigations.empty());

  // A visible web view goes at once.
  EXPECT_EQ(Success(kNavigate, R"({"url": "file:///page2.html?a=1"})"), "true");
  EXPECT_EQ(FBrowserForm.WebView->Navigations, std::vector<std::string>{"file:///page2.html?a=1"});
  EXPECT_EQ(FBrowserForm.InitializeCalls, 0);
  EXPECT_TRUE(FBrowserForm.StartPage.empty());

  // A hidden one, or none: the start page, then creation.
  FBrowserForm.WebView->Visible = false;
  EXPECT_EQ(Success(kNavigate, R"({"url": "file:///hidden.html"})"), "true");
  EXPECT_EQ(FBrowserForm.StartPage, "file:///hidden.html");
  EXPECT_EQ(FBrowserForm.InitializeCalls, 1);
  FBrowserForm.WebView.reset();
  EXPECT_EQ(Success(kNavigate, R"({"url": "https://example.com/"})"), "true");
  EXPECT_EQ(FBrowserForm.StartPage, "https://example.com/");
  EXPECT_EQ(FBrowserForm.InitializeCalls, 2);
}

TEST_F(AppWindowFunctions, CloseNeverReplies) {
  EXPECT_FALSE(Call(kClose));  // no close handler: nothing happens
  int requests = 0;
  FModule.SetOnAppCloseRequest([&requests] { ++requests; });
  EXPECT_FALSE(Call(kClose));
  EXPECT_EQ(requests, 1);
}

}  // namespace
}  // namespace velloc::bridge

namespace velloc::bridge {
namespace {

platform::fake::TFakeAnswer Answer(const std::string& body) {
  platform::fake::TFakeAnswer answer;
  answer.Body = body;
  return answer;
}

// checkForUpdate and installUpdate as a page calls them: the updater's answer as JSON, its
// progress as events in the page, and the window closing once the new version is in place.
TEST_F(AppWindowFunctions, UpdateFunctions) {
  constexpr int kCheck = 50007, kInstall = 50008;
  for (const int id : {kCheck, kInstall}) {
    const auto reply = Call(id);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ResultText, "\"Not supported\"") << "no updater on this platform";
  }
  platform::fake::TFakeHttpClient http;
  platform::fake::TFakeUpdateFiles files;
  files.Files["/opt/app/notes"] = "v1";
  const update::TKeyPair key = update::NewKeyPair();
  update::TUpdater unconfigured({"notes", "1.0", "", ""}, "/opt/app/notes", http, files);
  FModule.SetUpdater(&unconfigured);
  EXPECT_EQ(Call(kCheck)->ResultText,
            "\"Updates are not configured (section [Update] of vlx.ini)\"");

  const std::string exe = std::string(50000, 'x');
  update::TUpdateManifest manifest;
  manifest.App = "notes";
  manifest.Version = "1.1";
  manifest.Platform = std::string(update::ThisPlatform());
  manifest.Url = "https://example.com/notes";
  manifest.Size = exe.size();
  manifest.Sha256 = update::Sha256({reinterpret_cast<const std::uint8_t*>(exe.data()), exe.size()});
  manifest.Notes = "Quicker \"search\"";
  manifest.SignWith(key.Secret);
  http.Answers["https://example.com/m.json"] = {Answer(manifest.ToJson())};
  http.Answers["https://example.com/notes"] = {Answer(exe)};
  update::TUpdater updater(
      {"notes", "1.0", "https://example.com/m.json", update::Base64Text(key.Public)},
      "/opt/app/notes", http, files);
  FModule.SetUpdater(&updater);
  int closeRequests = 0;
  FModule.SetOnAppCloseRequest([&] { ++closeRequests; });

  std::vector<std::string> replies;
  const auto send = [&](int id) {
    FModule.BrowserWebMessageReceived(
        {R"({"id": )" + std::to_string(id) + R"(, "uuid": "u", "data": {}})", "vlx:///index.html",
         [&](std::string_view reply) { replies.emplace_back(reply); }});
  };
  send(kCheck);
  EXPECT_TRUE(replies.empty()) << "answered once the manifest is in";
  http.Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0],
            R"({"uuid": "u", "success": true, "result": {"available": true, "current": "1.0", )"
            R"("version": "1.1", "notes": "Quicker \"search\"", "size": 50000, )"
            R"("rolledBack": false}})");

  send(kInstall);
  http.Run();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1], R"({"uuid": "u", "success": true, "result": true})");
  EXPECT_EQ(closeRequests, 1);
  const std::vector<std::string>& executed = FBrowserForm.WebView->Executed;
  ASSERT_FALSE(executed.empty());
  EXPECT_EQ(executed.back(), "vlx.events.onUpdateProgress(50000, 50000);");
  EXPECT_TRUE(updater.RestartPending());
  EXPECT_EQ(files.Files["/opt/app/notes"], exe);
}

}  // namespace
}  // namespace velloc::bridge
