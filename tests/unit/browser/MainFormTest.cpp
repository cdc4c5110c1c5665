// The main window's rules against the platform fakes: geometry, limits, style, start page,
// the close protocol and the dynamic caption.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipWriter.h"
#include "browser/MainForm.h"
#include "platform/fake/Fakes.h"
#include "startup/LocalizedMessages.h"

namespace velloc::browser {
namespace {

using platform::TBorderStyle;
using platform::TRect;
using platform::TSizeConstraints;
using platform::TWindowState;

constexpr std::string_view kCloseMessage = R"({"id": 50001, "uuid": "c", "data": {}})";

// One main window over fakes, created from a configuration text.
struct TWindow {
  explicit TWindow(std::string_view settings, std::vector<std::string> args = {},
                   std::string indexHtml = "index.html", std::string developmentOrigin = {}) {
    Ini.LoadFromText("[App]\n" + std::string(settings));
    System.Args = std::move(args);
    TMainFormStartup startup{nullptr, &Ini, "demo.app", "Demo", "app", std::move(indexHtml)};
    startup.Dialogs = &Dialogs;
    startup.DevelopmentOrigin = std::move(developmentOrigin);
    Form = std::make_unique<TMainForm>(Window, View, Loader, System, std::move(startup));
  }
  TWindow& Create() {
    Form->FormCreate();
    return *this;
  }
  platform::fake::TFakeWebView& WebView() { return *View.WebView; }

  config::TProjectIni Ini;
  platform::fake::TFakeMainWindow Window;
  platform::fake::TFakeBrowserFormView View;
  platform::fake::TFakeWebViewLoader Loader;
  platform::fake::TFakeSystem System;
  platform::fake::TFakeDialogs Dialogs;
  std::unique_ptr<TMainForm> Form;
};

// Comparable, printable forms of the window's plain structs.
std::tuple<int, int, int, int> Tie(const TRect& r) {
  return {r.Top, r.Left, r.Width, r.Height};
}
std::tuple<int, int, int, int> Tie(const TSizeConstraints& l) {
  return {l.MaxWidth, l.MaxHeight, l.MinWidth, l.MinHeight};
}

TEST(SizeLimits, MaximumAndMinimumPushEachOther) {
  const struct {
    const char* name;
    std::vector<std::pair<char, int>> steps;  // W/H: maximum, w/h: minimum
    TSizeConstraints expected;
  } cases[] = {
      {"min above max raises max", {{'W', 600}, {'w', 900}}, {900, 0, 900, 0}},
      {"max below min lowers min", {{'w', 900}, {'W', 600}}, {600, 0, 600, 0}},
      {"no maximum", {{'W', 0}, {'w', 900}}, {0, 0, 900, 0}},
      {"maximum 0 keeps the minimum", {{'w', 900}, {'W', 0}}, {0, 0, 900, 0}},
      {"heights", {{'H', 400}, {'h', 500}}, {0, 500, 0, 500}},
      {"heights the other way", {{'h', 500}, {'H', 400}}, {0, 400, 0, 400}},
      {"within", {{'W', 1000}, {'H', 800}, {'w', 300}, {'h', 200}}, {1000, 800, 300, 200}},
  };
  for (const auto& c : cases) {
    TSizeLimits limits;
    for (const auto& [which, value] : c.steps) {
      switch (which) {
        case 'W':
          limits.SetMaxWidth(value);
          break;
        case 'H':
          limits.SetMaxHeight(value);
          break;
        case 'w':
          limits.SetMinWidth(value);
          break;
        default:
          limits.SetMinHeight(value);
      }
    }
    EXPECT_EQ(Tie(limits.Constraints()), Tie(c.expected)) << c.name;
  }
}

TEST(MainForm, GeometryLimitsAndPlacement) {
  const struct {
    const char* settings;
    TRect bounds;
    TSizeConstraints limits;
    bool centred;
  } cases[] = {
      {"", {50, 50, 800, 600}, {0, 0, 0, 0}, true},
      {"Top=10\nLeft=20\nWidth=1024\nHeight=700\n", {10, 20, 1024, 700}, {0, 0, 0, 0}, true},
      {"Width=1024px\n", {50, 50, 800, 600}, {0, 0, 0, 0}, true},
      {"MinWidth=900\nMaxWidth=600\n", {50, 50, 800, 600}, {900, 0, 900, 0}, true},
      {"MaxHeight=400\nMinHeight=500\n", {50, 50, 800, 600}, {0, 500, 0, 500}, true},
      {"MaxWidth=1200\nMaxHeight=900\nMinWidth=400\nMinHeight=300\n",
       {50, 50, 800, 600},
       {1200, 900, 400, 300},
       true},
      {"WindowPosition=0\n", {50, 50, 800, 600}, {0, 0, 0, 0}, true},
      {"WindowPosition=1\n", {50, 50, 800, 600}, {0, 0, 0, 0}, false},
      {"WindowPosition=-1\n", {50, 50, 800, 600}, {0, 0, 0, 0}, false},
  };
  for (const auto& c : cases) {
    TWindow w(c.settings);
    w.Create();
    EXPECT_EQ(Tie(w.Window.Rect), Tie(c.bounds)) << c.settings;
    EXPECT_EQ(Tie(w.Window.Limits), Tie(c.limits)) << c.settings;
    EXPECT_EQ(w.Window.Centred, c.centred) << c.settings;
  }
}

TEST(MainForm, StyleBorderStateAndStacking) {
  const struct {
    const char* settings;
    TBorderStyle border;
    TWindowState state;
    bool fullscreen, topmost;
    std::vector<std::string> log;
  } cases[] = {
      {"", TBorderStyle::Sizeable, TWindowState::Normal, false, false, {"border 2"}},
      {"WindowStyle=1\nWindowBorder=2\nWindowState=0\n",
       TBorderStyle::None,
       TWindowState::Maximized,
       true,
       false,
       {"border 0", "state 2"}},
      {"WindowStyle=1\nWindowBorder=3\nWindowState=2\n",
       TBorderStyle::None,
       TWindowState::Maximized,
       true,
       false,
       {"border 0", "state 2"}},
      {"WindowStyle=2\nWindowBorder=0\n",
       TBorderStyle::None,
       TWindowState::Normal,
       false,
       false,
       {"border 0"}},
      {"WindowBorder=1\n", TBorderStyle::Single, TWindowState::Normal, false, false, {"border 1"}},
      {"WindowBorder=$3\n", TBorderStyle::Dialog, TWindowState::Normal, false, false, {"border 3"}},
      {"WindowBorder=5\n",
       TBorderStyle::SizeToolWindow,
       TWindowState::Normal,
       false,
       false,
       {"border 5"}},
      {"WindowState=1\n",
       TBorderStyle::Sizeable,
       TWindowState::Maximized,
       false,
       false,
       {"border 2", "state 2"}},
      {"WindowState=2\n", TBorderStyle::Sizeable, TWindowState::Normal, false, false, {"border 2"}},
      {"WindowOrder=1\n", TBorderStyle::Sizeable, TWindowState::Normal, false, true, {"border 2"}},
      {"WindowOrder=2\n", TBorderStyle::Sizeable, TWindowState::Normal, false, false, {"border 2"}},
  };
  for (const auto& c : cases) {
    TWindow w(c.settings);
    w.Create();
    EXPECT_EQ(w.Window.Border, c.border) << c.settings;
    EXPECT_EQ(w.Window.State, c.state) << c.settings;
    EXPECT_EQ(w.Window.Log, c.log) << c.settings;
    EXPECT_EQ(w.Window.IsTopmost, c.topmost) << c.settings;
    EXPECT_EQ(w.Form->BrowserExternalModule()->InFullscreen(), c.fullscreen) << c.settings;
  }
}

TEST(MainForm, CaptionAndApplicationTitle) {
  TWindow w("");
  w.Create();
  EXPECT_EQ(w.Window.CaptionText, "Demo");
  EXPECT_EQ(w.Window.ApplicationTitle, "Demo");
}

TEST(MainForm, StartPage) {
  using Args = std::vector<std::string>;
  const struct {
    Args args;
    const char* indexHtml;
    const char* expected;
  } cases[] = {
      {{}, "index.html", "file:///index.html"},
      {{"demo.app", "file:///page.html"}, "index.html", "file:///page.html"},
      {{"demo.app", "https://example.com/a b?c"}, "index.html", "https://example.com/a b?c"},
      {{"Demo.App", "file:///page.html"}, "index.html", "file:///index.html"},
      {{"demo.app"}, "index.html", "file:///index.html"},
      {{"demo.app", "file:///page.html", "x"}, "index.html", "file:///index.html"},
      {{"file:///page.html", "demo.app"}, "index.html", "file:///index.html"},
      {{}, "start/home.html", "file:///start/home.html"},
      {{}, "", "file:///"},
  };
  for (const auto& c : cases) {
    TWindow w("", c.args, c.indexHtml);
    w.Create();
    ASSERT_TRUE(w.View.WebView);
    EXPECT_EQ(w.Form->BrowserForm()->FStartPageURL, c.expected);
    EXPECT_EQ(w.WebView().Navigations, std::vector<std::string>{c.expected});
  }
}

TEST(MainForm, HandsTheConfigurationToTheBrowserForm) {
  archive::TZipWriter writer;
  const std::string_view js = "  window.appReady = true;\n";
  writer.AddFile("vlx-webviewjs", std::vector<std::uint8_t>(js.begin(), js.end()),
                 archive::ZipMethod::Deflate);
  writer.Finish();
  const std::vector<std::uint8_t> package = writer.TakeBytes();
  archive::TZipArchive zip;
  zip.Stream(package);

  config::TProjectIni ini;
  ini.LoadFromText(
      "[App]\nAllowDebug=1\nAllowZoom=0\nAllowContextMenu=-1\nShowBrowserProgressBar=1\n");
  platform::fake::TFakeMainWindow window;
  platform::fake::TFakeBrowserFormView view;
  platform::fake::TFakeWebViewLoader loader;
  platform::fake::TFakeSystem system;
  TMainForm form(window, view, loader, system,
                 {&zip, &ini, "demo.app", "Demo", "app", "index.html", nullptr});
  form.FormCreate();

  const TBrowserForm& b = *form.BrowserForm();
  EXPECT_EQ(b.FExeZip, &zip);
  EXPECT_TRUE(b.FIsRuntime && b.FHandleRequests && b.FWithExternal);
  EXPECT_EQ(b.FAppDirName, "app");
  EXPECT_EQ(b.FRuntimeAppID, "demo.app");
  EXPECT_TRUE(b.FAllowDebug);
  EXPECT_FALSE(b.FAllowZoom);
  EXPECT_TRUE(b.FAllowContextMenu);
  EXPECT_TRUE(b.FShowProgressBar);
  EXPECT_TRUE(view.ProgressVisible);
  EXPECT_EQ(b.FWebviewJavascript, js);
  ASSERT_TRUE(view.WebView);
  ASSERT_EQ(view.WebView->Scripts.size(), 1u);
  EXPECT_TRUE(view.WebView->Scripts[0].ends_with("\r" + std::string(js)));
  EXPECT_TRUE(view.WebView->Settings.AreDevToolsEnabled);
  EXPECT_EQ(form.BrowserExternalModule()->ExeZip(), &zip);
}

TEST(MainForm, CloseWithoutAWebViewIsAllowed) {
  TWindow w("");
  w.Loader.IsInitialized = false;
  w.Create();
  ASSERT_FALSE(w.View.WebView);
  EXPECT_TRUE(w.Form->FormCloseQuery());
}

TEST(MainForm, ClosesOnlyThroughThePage) {
  enum class Route { BrowserForm, Module };
  for (const Route route : {Route::BrowserForm, Route::Module}) {
    TWindow w("");
    w.Create();
    ASSERT_TRUE(w.View.WebView);

    // The user closes: the page is asked, the window stays.
    for (std::size_t i = 1; i <= 2; ++i) {
      EXPECT_FALSE(w.Form->FormCloseQuery());
      EXPECT_EQ(w.WebView().Executed, std::vector<std::string>(i, "vlx.events.onCloseQuery();"));
    }
    EXPECT_EQ(w.Window.CloseRequests, 0);

    // A page from elsewhere cannot close the window.
    std::vector<std::string> replies;
    const auto reply = [&](std::string_view json) { replies.emplace_back(json); };
    w.Form->BrowserForm()->OnWebMessageReceived({kCloseMessage, "https://example.com/", reply});
    EXPECT_EQ(w.Window.CloseRequests, 0);
    EXPECT_FALSE(w.Form->CanClose());

    // The page answers with vlx.app.close().
    if (route == Route::BrowserForm) {
      w.Form->BrowserForm()->BrowserWebMessageReceived({kCloseMessage, "vlx:///index.html", reply});
    } else {
      w.Form->BrowserExternalModule()->BrowserWebMessageReceived(
          {kCloseMessage, "vlx:///index.html", reply});
    }
    EXPECT_TRUE(replies.empty());
    EXPECT_TRUE(w.Form->CanClose());
    EXPECT_EQ(w.Window.CloseRequests, 1);

    // The close that follows is let through without asking the page again.
    EXPECT_TRUE(w.Form->FormCloseQuery());
    EXPECT_EQ(w.WebView().Executed.size(), 2u) << "the page was asked again";

    w.Form->FormClose();
    EXPECT_EQ(w.Form->BrowserForm(), nullptr);
    EXPECT_EQ(w.Form->BrowserExternalModule(), nullptr);
    EXPECT_FALSE(w.View.WebView);
  }
}

TEST(MainForm, PageProcessFailure) {
  // Seconds since the previous failure, and what the failure brings: a reload, or the error
  // page after which the window closes without asking.
  const struct {
    int secondsLater;
    bool reloads;
  } steps[] = {{0, true}, {11, true}, {3, false}, {1, false}};
  TWindow w("");
  w.Create();
  TBrowserForm& browser = *w.Form->BrowserForm();
  auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  browser.FNow = [&] { return now; };
  int reloads = 0;
  for (const auto& step : steps) {
    now += std::chrono::seconds(step.secondsLater);
    browser.BrowserProcessFailed();
    reloads += step.reloads ? 1 : 0;
    EXPECT_EQ(w.WebView().Reloads, reloads) << step.secondsLater;
    EXPECT_EQ(browser.PageCanAnswer(), step.reloads) << step.secondsLater;
  }
  ASSERT_EQ(w.WebView().Documents.size(), 2u);
  EXPECT_EQ(w.WebView().Documents[0], ProcessFailedPage());
  EXPECT_TRUE(w.Form->FormCloseQuery());
  EXPECT_TRUE(w.WebView().Executed.empty()) << "a failed page was asked to close";
}

TEST(MainForm, UnresponsivePageIsNotAsked) {
  TWindow w("");
  w.Create();
  w.WebView().Responsive = false;
  EXPECT_TRUE(w.Form->FormCloseQuery());
  w.WebView().Responsive = true;
  EXPECT_FALSE(w.Form->FormCloseQuery());
}

// The page is not answering, as the web view tells (the question is open): a close request
// closes without asking it.
TEST(MainForm, APageThatHangsIsNotAskedToClose) {
  TWindow w("");
  w.Create();
  w.Form->BrowserForm()->BrowserResponsivenessChanged(false);
  EXPECT_TRUE(w.Form->FormCloseQuery());
  w.Form->BrowserForm()->BrowserResponsivenessChanged(true);
  EXPECT_FALSE(w.Form->FormCloseQuery());
}

// No web view (here: its environment failed): the start-up error in the user's language, then
// the window closes without asking anyone, and nothing is left to run.
TEST(MainForm, AWebViewThatCannotBeMadeShowsTheStartupErrorAndEnds) {
  TWindow w("");
  w.Loader.Error = "The WebView2 environment was not created: 0x80070005 (Access is denied)";
  ::testing::internal::CaptureStderr();
  w.Create();
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("could not be created: The WebView2 environment was not created: 0x80070005"),
            std::string::npos)
      << log;
  EXPECT_TRUE(w.Dialogs.Calls.empty()) << "shown before the event returned";
  EXPECT_EQ(w.Window.CloseRequests, 0);
  ASSERT_TRUE(w.View.Tick);
  auto tick = w.View.Tick;
  tick();
  ASSERT_EQ(w.Dialogs.Calls.size(), 1u);
  const platform::fake::TDialogCall& shown = w.Dialogs.Calls[0];
  EXPECT_EQ(shown.Message, startup::GetLocalizedMessage(startup::msg::RuntimeRequired));
  EXPECT_EQ(shown.Title, startup::GetLocalizedMessage(startup::msg::ErrorTitle));
  EXPECT_EQ(shown.Kind, platform::TMsgDlgType::Error);
  EXPECT_EQ(shown.Buttons, std::vector<platform::TMsgDlgBtn>{platform::TMsgDlgBtn::Yes});
  EXPECT_EQ(shown.Captions,
            std::vector<std::string>{startup::GetLocalizedMessage(startup::msg::AcceptButton)});
  EXPECT_EQ(w.Window.CloseRequests, 1);
  EXPECT_TRUE(w.Form->FormCloseQuery());
  EXPECT_FALSE(w.View.TimerEnabled);
}

// A document that is not the application's has no bridge to answer with, and no say over the
// application's window: the user's close closes it.
TEST(MainForm, AWindowShowingAnotherDocumentClosesWhenTheUserCloses) {
  for (const char* uri : {"https://example.com/", "about:blank", "", "data:text/html,x"}) {
    TWindow w("");
    w.Create();
    w.WebView().Uri = uri;
    EXPECT_TRUE(w.Form->FormCloseQuery()) << uri;
    EXPECT_TRUE(w.WebView().Executed.empty()) << uri;
  }
  // Back on an application page, the page is asked again; in a development session the
  // server's pages are the application's too.
  const struct {
    const char* developmentOrigin;
    const char* uri;
  } asked[] = {{"", "FILE:///other.html"}, {"http://127.0.0.1:5173", "http://127.0.0.1:5173/x"}};
  for (const auto& c : asked) {
    TWindow w("", {}, "index.html", c.developmentOrigin);
    w.Create();
    w.WebView().Uri = c.uri;
    EXPECT_FALSE(w.Form->FormCloseQuery()) << c.uri;
    EXPECT_EQ(w.WebView().Executed, std::vector<std::string>{"vlx.events.onCloseQuery();"});
  }
}

// A later start always brings the window forward; its arguments go to application documents
// alone, and wait (a few at most) while the window shows another.
TEST(MainForm, LaterStartsReachOnlyApplicationDocuments) {
  const auto script = [](const char* list) {
    return "vlx.events.onSecondInstance(" + std::string(list) + ");";
  };
  TWindow w("");
  w.Create();
  w.Window.State = TWindowState::Minimized;
  w.Window.IsVisible = false;
  w.Form->LaterStartArrived({"a.txt", "x\"y"});
  EXPECT_TRUE(w.Window.IsVisible);
  EXPECT_EQ(w.Window.State, TWindowState::Normal);
  EXPECT_EQ(w.Window.FrontRequests, 1);
  EXPECT_EQ(w.WebView().Executed, std::vector<std::string>{script(R"(["a.txt","x\"y"])")});

  // A remote page: the window comes forward, the arguments wait.
  w.WebView().Executed.clear();
  w.WebView().Uri = "https://example.com/login";
  w.Form->LaterStartArrived({"velloc-e2e://done?code=secret"});
  w.Form->LaterStartArrived({});
  EXPECT_EQ(w.Window.FrontRequests, 3);
  w.Form->BrowserForm()->BrowserNavigationCompleted();
  EXPECT_TRUE(w.WebView().Executed.empty());
  EXPECT_EQ(w.Form->WaitingLaterStarts(), 2u);

  // The application's page again: they arrive in order, once.
  w.WebView().Uri = "file:///index.html";
  w.Form->BrowserForm()->BrowserNavigationCompleted();
  w.Form->BrowserForm()->BrowserNavigationCompleted();
  EXPECT_EQ(
      w.WebView().Executed,
      (std::vector<std::string>{script(R"(["velloc-e2e:\/\/done?code=secret"])"), script("[]")}));

  // Beyond the limit, the oldest are left out.
  w.WebView().Executed.clear();
  w.WebView().Uri = "about:blank";
  for (std::size_t i = 0; i < TMainForm::kMaxWaitingLaterStarts + 2; ++i)
    w.Form->LaterStartArrived({std::to_string(i)});
  EXPECT_EQ(w.Form->WaitingLaterStarts(), TMainForm::kMaxWaitingLaterStarts);
  w.WebView().Uri = "file:///index.html";
  w.Form->BrowserForm()->BrowserNavigationCompleted();
  ASSERT_EQ(w.WebView().Executed.size(), TMainForm::kMaxWaitingLaterStarts);
  EXPECT_EQ(w.WebView().Executed.front(), script(R"(["2"])"));
}

// Before the web view exists, a later start brings the window forward and waits for the page.
TEST(MainForm, ALaterStartBeforeThePageWaitsForIt) {
  TWindow w("");
  w.Loader.IsInitialized = false;
  w.Create();
  w.Form->LaterStartArrived({"early"});
  EXPECT_EQ(w.Window.FrontRequests, 1);
  w.Loader.IsInitialized = true;
  w.View.Tick();
  ASSERT_TRUE(w.View.WebView);
  w.Form->BrowserForm()->BrowserNavigationCompleted();
  EXPECT_EQ(w.WebView().Executed,
            std::vector<std::string>{"vlx.events.onSecondInstance([\"early\"]);"});
}

TEST(MainForm, DynamicAppTitle) {
  const struct {
    const char* settings;
    std::vector<std::string> captions;  // after each title change
  } cases[] = {
      {"", {"Demo", "Demo"}},
      {"DynamicAppTitle=0\n", {"Demo", "Demo"}},
      {"DynamicAppTitle=true\n", {"Demo", "Demo"}},  // a word is no number: the default
      {"DynamicAppTitle=1\n", {"Page A", ""}},
  };
  for (const auto& c : cases) {
    TWindow w(c.settings);
    w.Create();
    std::vector<std::string> captions;
    for (const char* title : {"Page A", ""}) {
      w.WebView().Title = title;
      w.Form->BrowserForm()->BrowserDocumentTitleChanged();
      captions.push_back(w.Window.CaptionText);
    }
    EXPECT_EQ(captions, c.captions) << c.settings;
    EXPECT_EQ(w.Window.ApplicationTitle, "Demo");
  }
}

TEST(MainForm, DynamicAppTitleIsReadAtEveryChange) {
  TWindow w("");
  w.Create();
  w.WebView().Title = "Page A";
  w.Form->BrowserForm()->BrowserDocumentTitleChanged();
  EXPECT_EQ(w.Window.CaptionText, "Demo");
  w.Ini.LoadFromText("[App]\nDynamicAppTitle=1\n");
  w.Form->BrowserForm()->BrowserDocumentTitleChanged();
  EXPECT_EQ(w.Window.CaptionText, "Page A");
}

}  // namespace
}  // namespace velloc::browser
