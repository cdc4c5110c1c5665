// The browser form's rules against the platform fakes: creation and its retry, the page script,
// the after-created steps, the progress bar, the new-window policy and resource serving.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdlib.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipWriter.h"
#include "bridge/VlxSharedJavascript.h"
#include "browser/BrowserForm.h"
#include "browser/ResourceServer.h"
#include "common/ScratchDir.h"
#include "core/Crt.h"
#include "platform/fake/Fakes.h"

namespace velloc::browser {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using platform::fake::TFakeBrowserFormView;
using platform::fake::TFakeSystem;
using platform::fake::TFakeWebView;
using platform::fake::TFakeWebViewLoader;

constexpr std::string_view kDragGuards =
    "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);"
    "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);";

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

class BrowserForm : public ::testing::Test {
 protected:
  TFakeBrowserFormView FView;
  TFakeWebViewLoader FLoader;
  TFakeSystem FSystem;
  TBrowserForm FForm{FView, FLoader, FSystem};
};

TEST_F(BrowserForm, CreationDefaults) {
  EXPECT_EQ(FForm.FAppDirPath, "/opt/app/");  // the executable's folder
  EXPECT_EQ(FForm.FExeZip, nullptr);
  EXPECT_FALSE(FForm.FIsRuntime || FForm.FWithExternal || FForm.FAllowDebug || FForm.FAllowZoom ||
               FForm.FAllowContextMenu || FForm.FHandleRequests || FForm.FShowProgressBar);
  EXPECT_TRUE(FForm.FRuntimeAppID.empty() && FForm.FAppDirName.empty() &&
              FForm.FWebviewJavascript.empty() && FForm.FStartPageURL.empty());
}

TEST_F(BrowserForm, PageScriptComposition) {
  const std::string bridgeScript = "\r" + std::string(bridge::VlxSharedJavascript());
  const std::string guards(kDragGuards);
  const struct {
    bool withExternal;
    const char* packageScript;
    std::string expected;
  } cases[] = {
      {false, "", guards},
      {true, "", bridgeScript + guards},
      {true, " \t\r\n ", bridgeScript + guards},  // blank: left out
      {true, "app();", bridgeScript + guards + "\rapp();"},
      {false, "  app();\n", guards + "\r  app();\n"},  // kept untrimmed
  };
  for (const auto& c : cases) {
    FForm.FWithExternal = c.withExternal;
    FForm.FWebviewJavascript = c.packageScript;
    EXPECT_EQ(FForm.ComposePageScript(), c.expected)
        << c.withExternal << " '" << c.packageScript << "'";
  }
  EXPECT_FALSE(bridge::VlxSharedJavascript().empty());
}

TEST_F(BrowserForm, InitializeBrowserFollowsTheLoader) {
  const struct {
    const char* error;
    bool initialized;
    bool created, polling;
  } cases[] = {
      {"no runtime", true, false, false},
      {"no runtime", false, false, false},
      {"", true, true, false},
      {"", false, false, true},
  };
  for (const auto& c : cases) {
    TFakeBrowserFormView view;
    TFakeWebViewLoader loader;
    loader.Error = c.error;
    loader.IsInitialized = c.initialized;
    TBrowserForm form(view, loader, FSystem);
    ::testing::internal::CaptureStderr();
    form.InitializeBrowser();
    const std::string log = ::testing::internal::GetCapturedStderr();
    const std::string label = std::string(c.error) + " " + std::to_string(c.initialized);
    EXPECT_EQ(view.WebView.has_value(), c.created) << label;
    EXPECT_EQ(view.CreateRequests, c.created ? 1 : 0) << label;
    EXPECT_EQ(view.TimerEnabled, c.polling || *c.error) << label;
    EXPECT_EQ(view.TimerInterval, c.polling ? 300 : *c.error ? 1 : 0) << label;
    // A loader that failed is no plain message box of its own any more: the form reports it
    // as a web view that cannot be made.
    EXPECT_TRUE(view.Messages.empty()) << label;
    EXPECT_EQ(log.find("no runtime") != std::string::npos, *c.error != '\0') << label;
  }
}

TEST_F(BrowserForm, TimerPollsUntilTheLoaderIsReady) {
  FLoader.IsInitialized = false;
  FForm.FStartPageURL = "file:///index.html";
  FForm.InitializeBrowser();
  ASSERT_TRUE(FView.TimerEnabled);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(FView.Tick);
    auto tick = FView.Tick;
    tick();
    EXPECT_TRUE(FView.TimerEnabled);
    EXPECT_EQ(FView.TimerInterval, 300);
    EXPECT_EQ(FView.CreateRequests, 0);
  }
  FLoader.IsInitialized = true;
  auto tick = FView.Tick;
  tick();
  EXPECT_FALSE(FView.TimerEnabled);
  ASSERT_TRUE(FView.WebView);
  EXPECT_EQ(FView.WebView->Navigations, std::vector<std::string>{"file:///index.html"});
}

// A web view that cannot be made, for whatever reason, is said once on standard error with the
// reason, and the main window hears of it from the form's timer, after the event that brought
// it; nothing is created or polled any more.
TEST_F(BrowserForm, AWebViewThatCannotBeMadeIsReportedOnce) {
  // A form view whose platform makes no web view; it may say why first.
  class TFailingView final : public TFakeBrowserFormView {
   public:
    const char* Reason = nullptr;
    bool CreateBrowser(platform::IWebViewEvents& events) override {
      ++CreateRequests;
      if (Reason) events.BrowserCreationFailed(Reason);
      return false;
    }
  };
  const struct {
    const char* name;
    const char* loaderError;    // at the start
    const char* lateError;      // while the timer polls
    const char* backendReason;  // said by the platform while it fails
    const char* logged;
  } cases[] = {
      {"loader", "Cannot load the loader", nullptr, nullptr, "Cannot load the loader"},
      {"late environment", "", "environment 0x80004005", nullptr, "environment 0x80004005"},
      {"platform says why", "", nullptr, "no controller 0x80070005", "no controller 0x80070005"},
      {"platform silent", "", nullptr, nullptr, "the platform made no web view"},
  };
  for (const auto& c : cases) {
    TFailingView view;
    view.Reason = c.backendReason;
    TFakeWebViewLoader loader;
    loader.Error = c.loaderError;
    loader.IsInitialized = c.lateError == nullptr;
    TBrowserForm form(view, loader, FSystem);
    int failed = 0;
    form.OnBrowserFailed = [&] { ++failed; };
    ::testing::internal::CaptureStderr();
    form.InitializeBrowser();
    if (c.lateError) {
      auto tick = view.Tick;
      tick();  // still starting
      loader.Error = c.lateError;
      tick = view.Tick;
      tick();
    }
    // Once only, also when asked again.
    form.BrowserCreationFailed("again");
    form.InitializeBrowser();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "velloc: the web view could not be created: " + std::string(c.logged) + "\n")
        << c.name;
    EXPECT_EQ(failed, 0) << c.name << ": told inside the event";
    ASSERT_TRUE(view.TimerEnabled && view.Tick) << c.name;
    EXPECT_EQ(view.TimerInterval, 1) << c.name;
    auto tick = view.Tick;
    tick();
    EXPECT_EQ(failed, 1) << c.name;
    EXPECT_FALSE(view.TimerEnabled) << c.name;
    EXPECT_EQ(view.CreateRequests, *c.loaderError || c.lateError ? 0 : 1) << c.name;
  }
}

TEST_F(BrowserForm, InitializeBrowserWhileTheWebViewExistsChangesNothing) {
  FForm.FStartPageURL = "file:///index.html";
  FForm.InitializeBrowser();
  ASSERT_TRUE(FView.WebView);
  const TFakeWebView* webView = &*FView.WebView;
  FForm.FStartPageURL = "file:///other.html";
  FForm.InitializeBrowser();
  EXPECT_EQ(&*FView.WebView, webView);
  EXPECT_EQ(FView.WebView->Scripts.size(), 1u);
  EXPECT_EQ(FView.WebView->Navigations, std::vector<std::string>{"file:///index.html"});
  EXPECT_FALSE(FView.TimerEnabled);
}

// A view whose web view records the after-created steps in one log.
class TLoggingWebView : public TFakeWebView {
 public:
  explicit TLoggingWebView(std::vector<std::string>& log) : FLog(log) {}
  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override {
    FLog.push_back("script");
    TFakeWebView::AddScriptToExecuteOnDocumentCreated(script);
  }
  void ApplySettings(const platform::TWebViewSettings& settings) override {
    FLog.push_back("settings");
    TFakeWebView::ApplySettings(settings);
  }
  void Navigate(std::string_view uri) override {
    FLog.push_back("navigate");
    TFakeWebView::Navigate(uri);
  }
  void MoveFocus() override { FLog.push_back("focus"); }

 private:
  std::vector<std::string>& FLog;
};

class TLoggingView : public TFakeBrowserFormView {
 public:
  std::vector<std::string> Log;
  std::optional<TLoggingWebView> Logging;

  bool CreateBrowser(platform::IWebViewEvents& events) override {
    if (Logging) return false;
    Logging.emplace(Log);
    events.BrowserAfterCreated();
    return true;
  }
  platform::IWebView* Browser() const override {
    return Logging ? const_cast<TLoggingWebView*>(&*Logging) : nullptr;
  }
  void DestroyBrowser() override { Logging.reset(); }
  void FocusBrowserWindow() override {
    if (Logging) Logging->MoveFocus();
  }
  void FillBrowserWindow() override { Log.push_back("fill"); }
};

TEST_F(BrowserForm, AfterCreatedStepsInOrder) {
  const struct {
    const char* startPage;
    std::vector<std::string> log;
  } cases[] = {
      {"file:///index.html", {"script", "fill", "focus", "settings", "navigate"}},
      {"", {"script", "fill", "focus", "settings"}},
  };
  for (const auto& c : cases) {
    TLoggingView view;
    TBrowserForm form(view, FLoader, FSystem);
    form.FWithExternal = true;
    form.FStartPageURL = c.startPage;
    form.InitializeBrowser();
    ASSERT_TRUE(view.Logging);
    EXPECT_EQ(view.Log, c.log) << c.startPage;
    EXPECT_EQ(view.Logging->Scripts, std::vector<std::string>{form.ComposePageScript()});
  }
}

TEST_F(BrowserForm, SettingsFollowTheConfiguration) {
  const struct {
    bool debug, zoom, contextMenu;
  } cases[] = {{false, false, false},
               {true, false, false},
               {false, true, false},
               {false, false, true},
               {true, true, true}};
  for (const auto& c : cases) {
    TFakeBrowserFormView view;
    TBrowserForm form(view, FLoader, FSystem);
    form.FAllowDebug = c.debug;
    form.FAllowZoom = c.zoom;
    form.FAllowContextMenu = c.contextMenu;
    form.InitializeBrowser();
    ASSERT_TRUE(view.WebView && view.WebView->SettingsApplied);
    const platform::TWebViewSettings& s = view.WebView->Settings;
    const std::string label =
        std::to_string(c.debug) + std::to_string(c.zoom) + std::to_string(c.contextMenu);
    EXPECT_EQ(s.AreDevToolsEnabled, c.debug) << label;
    EXPECT_EQ(s.AreBrowserAcceleratorKeysEnabled, c.debug) << label;
    EXPECT_EQ(s.IsPinchZoomEnabled, c.zoom) << label;
    EXPECT_EQ(s.IsZoomControlEnabled, c.zoom) << label;
    EXPECT_EQ(s.AreDefaultContextMenusEnabled, c.contextMenu) << label;
    // The fixed rows.
    EXPECT_TRUE(s.IsScriptEnabled && s.IsWebMessageEnabled && s.IsBuiltInErrorPageEnabled &&
                s.AreDefaultScriptDialogsEnabled);
    EXPECT_FALSE(s.IsStatusBarEnabled || s.IsGeneralAutofillEnabled || s.IsSwipeNavigationEnabled ||
                 s.IsPasswordAutosaveEnabled || s.IsReputationCheckingRequired);
    EXPECT_EQ(s.HiddenPdfToolbarItems, 0);
    EXPECT_TRUE(view.WebView->Navigations.empty());
  }
}

TEST_F(BrowserForm, ProgressBarOnlyWhenConfigured) {
  for (const bool show : {false, true}) {
    FForm.FShowProgressBar = show;
    FView.ProgressVisible = false;
    FForm.BrowserNavigationStarting();
    EXPECT_EQ(FView.ProgressVisible, show) << show;
    FForm.BrowserDOMContentLoaded();
    EXPECT_EQ(FView.ProgressVisible, show) << show;
    FForm.BrowserNavigationCompleted();
    EXPECT_FALSE(FView.ProgressVisible) << show;
  }
  // Without the setting the bar is left alone, whoever showed it.
  FForm.FShowProgressBar = false;
  FView.ProgressVisible = true;
  FForm.BrowserNavigationCompleted();
  EXPECT_TRUE(FView.ProgressVisible);
}

TEST_F(BrowserForm, PermissionsAreRememberedPerOriginAndKind) {
  using platform::TPermissionKind;
  using platform::TPermissionState;
  EXPECT_EQ(FForm.BrowserPermissionRequested("file:///index.html", TPermissionKind::Camera).State,
            TPermissionState::Allow);
  EXPECT_EQ(FForm.BrowserPermissionRequested("https://a.example/x", TPermissionKind::Camera).State,
            TPermissionState::Ask);
  FForm.BrowserPermissionAnswered("https://a.example/y", TPermissionKind::Camera, false);
  EXPECT_EQ(FForm.BrowserPermissionRequested("https://a.example/z", TPermissionKind::Camera).State,
            TPermissionState::Deny);
  EXPECT_EQ(
      FForm.BrowserPermissionRequested("https://a.example/z", TPermissionKind::Location).State,
      TPermissionState::Ask);
}

TEST_F(BrowserForm, WebMessagesAndTitleChangesGoToTheHandlers) {
  // Without handlers the events are dropped.
  FForm.BrowserWebMessageReceived({"{}", "vlx:///index.html", nullptr});
  FForm.BrowserDocumentTitleChanged();
  FForm.BrowserProcessFailed();

  std::vector<std::string> seen;
  FForm.OnWebMessageReceived = [&](const platform::TWebMessageEvent& m) {
    seen.push_back(std::string(m.SourceUri) + " " + std::string(m.Json));
  };
  FForm.OnDocumentTitleChanged = [&] { seen.push_back("title"); };
  FForm.BrowserWebMessageReceived({"{\"id\": 1}", "vlx:///index.html", nullptr});
  FForm.BrowserDocumentTitleChanged();
  EXPECT_EQ(seen, (std::vector<std::string>{"vlx:///index.html {\"id\": 1}", "title"}));
}

// ---- Resource serving ---------------------------------------------------------------------

// What a response delivers: the package entry's bytes, or the file that the web view streams.
std::string Content(const platform::TWebResourceResponse& response) {
  if (response.Body) return std::string(response.Body->begin(), response.Body->end());
  std::ifstream in(crt::Utf8Path(response.FilePath), std::ios::binary);
  EXPECT_TRUE(in) << "neither a body nor a readable file: " << response.FilePath;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir {
 public:
  TempDir() { FPath = velloc::testing::MakeScratchFolder("velloc-browser"); }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path() const { return FPath.string(); }
  void Write(const std::string& relative, std::string_view content) const {
    const fs::path path = FPath / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

 private:
  fs::path FPath;
};

class ResourceServing : public ::testing::Test {
 protected:
  ResourceServing() {
    archive::TZipWriter writer;
    const std::pair<const char*, const char*> entries[] = {
        {"app/index.html", "<h1>index</h1>"},
        {"app/my page.html", "my page"},
        {"app/caf%C3%A9.html", "literal name"},
        {"app/café.html", "decoded name"},
        {"app/js/main.js", "main();"},
        {"app/mod.mjs", "export {};"},
        {"app/blob.zzqq", "unknown"},
        {"app/both.txt", "from the package"},
        {"other/secret.txt", "outside the app folder"},
    };
    for (const auto& [name, content] : entries)
      writer.AddFile(name, ToBytes(content), archive::ZipMethod::Deflate);
    writer.Finish();
    FPackage = writer.TakeBytes();
    FZip.Stream(FPackage);

    FBeside.Write("data/readme.txt", "beside the executable");
    FBeside.Write("both.txt", "beside, but the package wins");
    FBeside.Write("other.txt", "beside only");
    FElsewhere.Write("note.txt", "absolute");

    FSystem.Executable = FBeside.Path() + "/app";
    FForm.emplace(FView, FLoader, FSystem);
    FForm->FExeZip = &FZip;
    FForm->FAppDirName = "app";
    FForm->FHandleRequests = true;
  }

  TempDir FBeside, FElsewhere;
  Bytes FPackage;
  archive::TZipArchive FZip;
  TFakeBrowserFormView FView;
  TFakeWebViewLoader FLoader;
  TFakeSystem FSystem;
  std::optional<TBrowserForm> FForm;
};

TEST_F(ResourceServing, LookupOrderAndTypes) {
#ifdef _WIN32
  GTEST_SKIP() << "file URLs of Linux paths; the Windows form comes with the WebView2 backend";
#endif
  ASSERT_EQ(FForm->FAppDirPath, FBeside.Path() + "/");
  const std::string absolute = "file://" + FElsewhere.Path() + "/note.txt";
  const struct {
    std::string uri;
    std::optional<std::string> body;
    std::string mime;
  } cases[] = {
      {"file:///index.html", "<h1>index</h1>", "text/html"},
      {"file:///INDEX.HTML", "<h1>index</h1>", "text/html"},
      {"file:///my%20page.html?x=1", "my page", "text/html"},
      {"file:///my%20page.html?x=1?y=2", "my page", "text/html"},
      {"file:///caf%C3%A9.html", "literal name", "text/html"},
      {"file:///js/main.js", "main();", "text/javascript"},
      {"file:///mod.mjs", "export {};", "text/javascript"},
      {"file:///MOD.MJS", "export {};", "text/javascript"},
      {"file:///blob.zzqq", "unknown", "application/octet-stream"},
      {"file:///both.txt", "from the package", "text/plain"},
      {"file:///data/readme.txt", "beside the executable", "text/plain"},
      {"file:///other.txt", "beside only", "text/plain"},
      {absolute, "absolute", "text/plain"},
      {absolute + "?v=2", std::nullopt, ""},  // the absolute path keeps its query
      {"file:///missing.html", std::nullopt, ""},
      {"file:///", std::nullopt, ""},  // no default document
      {"https://example.com/index.html", std::nullopt, ""},
      {"vlx:///index.html", std::nullopt, ""},
      {"data:text/html,x", std::nullopt, ""},
  };
  // The worker threads' resolver answers exactly as the form does.
  const platform::TWebResourceResolver resolver = FForm->BrowserResourceResolver();
  ASSERT_TRUE(resolver);
  for (const auto& c : cases) {
    const std::optional<platform::TWebResourceResponse> answers[] = {
        FForm->BrowserWebResourceRequested(c.uri), resolver(c.uri)};
    for (const auto& response : answers) {
      ASSERT_EQ(response.has_value(), c.body.has_value()) << c.uri;
      if (!response) continue;
      EXPECT_EQ(Content(*response), *c.body) << c.uri;
      EXPECT_EQ(response->MimeType, c.mime) << c.uri;
    }
  }
}

// A start page that names nothing: the window shows "Not found" with the name (a 404, as a
// fetch of any missing file gets), and standard error says where it was looked for.
TEST_F(ResourceServing, AMissingStartPageIsNamed) {
  const platform::TWebResourceResponse notFound = NotFoundResponse("file:///start%20page.html?x");
  EXPECT_EQ(notFound.StatusCode, 404);
  EXPECT_EQ(notFound.MimeType, "text/plain");
  EXPECT_EQ(Content(notFound),
            "Not found: start page.html (not in the application's package, nor beside its "
            "executable)\n");
  const struct {
    const char* startPage;
    std::string said;
  } cases[] = {
      {"file:///index.html", ""},
      {"file:///other.txt", ""},  // beside the executable
      {"file:///start.html",
       "velloc: the start page \"start.html\" is not in the package (as \"app/start.html\") "
       "nor beside the executable\n"},
      {"https://example.com/", ""},
  };
  for (const auto& c : cases) {
    FView.DestroyBrowser();
    FForm->FStartPageURL = c.startPage;
    ::testing::internal::CaptureStderr();
    FForm->InitializeBrowser();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.said) << c.startPage;
    ASSERT_TRUE(FView.WebView) << c.startPage;
  }
}

TEST_F(ResourceServing, NeverFromTheKernelsFileSystems) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux paths";
#endif
  const std::string note = FElsewhere.Path() + "/note.txt";
  fs::create_symlink("/proc/self/status", FElsewhere.Path() + "/status-link");
  for (const std::string& uri :
       {std::string("file:///proc/self/status"), std::string("file:///proc/self/environ"),
        "file:///proc/self/root" + note, std::string("file:///tmp/../proc/self/status"),
        std::string("file:///sys/kernel/mm/transparent_hugepage/enabled"),
        "file://" + FElsewhere.Path() + "/status-link"}) {
    EXPECT_FALSE(FForm->BrowserWebResourceRequested(uri)) << uri;
    EXPECT_EQ(LocateFileRequest(uri, &FZip, "app", FForm->FAppDirPath).Location,
              TFileLocation::None)
        << uri;
  }
  EXPECT_TRUE(FForm->BrowserWebResourceRequested("file://" + note));
}

TEST_F(ResourceServing, NewWindowPolicy) {
#ifdef _WIN32
  GTEST_SKIP() << "file URLs of Linux paths";
#endif
  FForm->FRuntimeAppID = "demo.app";
  enum Outcome { Instance, Popup, Nothing };
  const std::string absolute = "file://" + FElsewhere.Path() + "/note.txt";
  const struct {
    std::string uri;
    std::string opener;
    Outcome outcome;
  } cases[] = {
      // Pages of the package and files beside the executable open in a further instance,
      // with the URI unchanged.
      {"file:///my%20page.html", "file:///index.html", Instance},
      {"file:///index.html?x=1#top", "file:///sub/index.html", Instance},
      {"file:///data/readme.txt", "file:///index.html", Instance},
      {"file:///other.txt", "FILE:///index.html", Instance},
      // Any other file, wherever it is, opens nothing: a download or another program may
      // have put it there.
      {absolute, "file:///index.html", Nothing},
      {"file:///missing.html", "file:///index.html", Nothing},
      {"file:///proc/self/cwd/index.html", "file:///index.html", Nothing},
      {"File:index.html", "file:///index.html", Nothing},
      // Anything else is the web view's pop-up, whoever opens it.
      {"https://example.com/", "file:///index.html", Popup},
      {"http://127.0.0.1:8000/x.html", "https://example.com/", Popup},
      {"about:blank", "file:///index.html", Popup},
      {"", "file:///index.html", Popup},
      {"vlx:///index.html", "file:///index.html", Popup},  // backends map their scheme first
      {" file:///index.html", "file:///index.html", Popup},
      // A page that is not the application's cannot start it on any file.
      {"file:///index.html", "https://example.com/", Nothing},
      {"file:///data/readme.txt", "about:blank", Nothing},
      {"file:///index.html", "", Nothing},
  };
  for (const auto& c : cases) {
    FSystem.Started.clear();
    EXPECT_EQ(FForm->BrowserNewWindowRequested(c.uri, c.opener), c.outcome != Popup) << c.uri;
    if (c.outcome == Instance) {
      // An argument vector: nothing in the URI can split or add arguments.
      EXPECT_EQ(FSystem.Started,
                (std::vector<std::vector<std::string>>{{FSystem.Executable, "demo.app", c.uri}}))
          << c.uri;
    } else {
      EXPECT_TRUE(FSystem.Started.empty()) << c.uri;
    }
  }
}

#ifdef _WIN32
// An executable under C:\Users\José\: its folder and an absolute file named beyond ASCII (and
// beyond the ANSI code page) are found and handed on by their UTF-8 names.
TEST_F(ResourceServing, FilesOnDiskBeyondAsciiOnWindows) {
  const velloc::testing::ScratchDir root("velloc-browser");
  const fs::path folder = root.Path() / fs::path(u8"Jos\u00e9 \u20ac \u4e2d");
  fs::create_directories(folder / "data");
  std::ofstream(folder / "data" / "readme.txt", std::ios::binary) << "beside";
  std::ofstream(folder / "note.txt", std::ios::binary) << "absolute";
  const auto utf8 = [](const std::u8string& text) { return std::string(text.begin(), text.end()); };
  FForm->FAppDirPath = utf8(folder.u8string()) + "\\";

  const auto beside = FForm->BrowserWebResourceRequested("file:///data/readme.txt");
  ASSERT_TRUE(beside);
  EXPECT_EQ(beside->FilePath, FForm->FAppDirPath + "data\\readme.txt");
  EXPECT_EQ(Content(*beside), "beside");
  EXPECT_EQ(beside->MimeType, "text/plain");

  const auto absolute = FForm->BrowserWebResourceRequested(
      "file:///" + utf8(folder.generic_u8string()) + "/note.txt");
  ASSERT_TRUE(absolute);
  EXPECT_EQ(Content(*absolute), "absolute");
}
#endif

TEST_F(ResourceServing, PackageOnlyWithAFolderName) {
  FForm->FAppDirName.clear();
  const auto response = FForm->BrowserWebResourceRequested("file:///both.txt");
  ASSERT_TRUE(response);
  EXPECT_EQ(Content(*response), "beside, but the package wins");
  EXPECT_FALSE(FForm->BrowserWebResourceRequested("file:///index.html"));

  FForm->FAppDirName = "app";
  FForm->FExeZip = nullptr;
  EXPECT_FALSE(FForm->BrowserWebResourceRequested("file:///index.html"));
}

TEST_F(ResourceServing, NothingWhenRequestsAreNotHandled) {
  FForm->FHandleRequests = false;
  EXPECT_FALSE(FForm->BrowserResourceResolver());
  EXPECT_FALSE(FForm->BrowserWebResourceRequested("file:///index.html"));
  EXPECT_FALSE(FForm->BrowserWebResourceRequested("file:///data/readme.txt"));
}

TEST(RequestPath, Rules) {
  const struct {
    const char* uri;
    const char* path;
  } cases[] = {
      {"file:///index.html", "index.html"},
      {"file:///a%20b/c%20d.html?q=%20", "a b/c d.html"},
      {"file:///a/file:///b.html", "a/b.html"},  // every occurrence goes
      {"file:///caf%C3%A9.html", "caf%C3%A9.html"},
      {"file:///p.html#frag", "p.html#frag"},
      {"file:///", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RequestPath(c.uri), c.path) << c.uri;
}

}  // namespace
}  // namespace velloc::browser
