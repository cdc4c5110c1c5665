// The WebView2 backend against fakes of our declared interfaces: the COM plumbing (references,
// event tokens, streams, wide strings), the application origin and its answers, and the routing
// to IWebViewEvents with the rules against remote content.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>
#include <winsock2.h>

#include "FakeWebView2.h"
#include "browser/ResourceServer.h"
#include "platform/webview2/WebView2BodyStream.h"
#include "platform/webview2/WebView2CrossOrigin.h"
#include "platform/webview2/WebView2Factory.h"
#include "platform/webview2/WebView2Origin.h"
#include "platform/webview2/WebView2WebView.h"

namespace velloc::test::webview2 {

LPWSTR CoString(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

namespace {

using platform::TDownloadDecision;
using platform::TDownloadRequest;
using platform::TPermissionDecision;
using platform::TPermissionKind;
using platform::TPermissionState;
using platform::TWebMessageEvent;
using platform::TWebResourceResponse;
using platform::webview2::TForwardRequest;
using platform::webview2::TForwardResponse;
using platform::webview2::TWebView2Options;
using platform::webview2::TWebView2WebView;

constexpr wchar_t kApp[] = L"https://velloc.localhost";

class TRecordingEvents : public platform::IWebViewEvents {
 public:
  std::vector<std::string> Calls;
  std::vector<std::string> Requested;
  std::optional<std::string> Body;
  std::string FilePath;
  std::string MimeType = "text/html";
  bool AcceptsRanges = false;
  std::vector<std::pair<std::string, std::string>> Messages;
  std::function<void(std::string_view)> Reply;
  std::pair<std::string, std::string> NewWindow;
  bool HandleNewWindow = true;
  TPermissionDecision Decision;
  std::vector<std::string> Answers;
  std::string PermissionUri;
  TDownloadDecision Download;
  std::vector<TDownloadRequest> Downloads;

  void BrowserAfterCreated() override { Calls.push_back("AfterCreated"); }
  std::optional<TWebResourceResponse> BrowserWebResourceRequested(std::string_view uri) override {
    Requested.emplace_back(uri);
    if (!Body && FilePath.empty()) return std::nullopt;
    TWebResourceResponse response;
    if (Body)
      response.Body = std::make_unique<std::vector<std::uint8_t>>(Body->begin(), Body->end());
    response.FilePath = FilePath;
    response.MimeType = MimeType;
    response.AcceptsRanges = AcceptsRanges;
    return response;
  }
  void BrowserWebMessageReceived(const TWebMessageEvent& message) override {
    Messages.emplace_back(message.Json, message.SourceUri);
    Reply = message.Reply;
  }
  void BrowserDocumentTitleChanged() override { Calls.push_back("TitleChanged"); }
  void BrowserNavigationStarting() override { Calls.push_back("NavigationStarting"); }
  void BrowserNavigationCompleted() override { Calls.push_back("NavigationCompleted"); }
  void BrowserDOMContentLoaded() override { Calls.push_back("DOMContentLoaded"); }
  void BrowserProcessFailed() override { Calls.push_back("ProcessFailed"); }
  bool BrowserNewWindowRequested(std::string_view uri, std::string_view opener) override {
    NewWindow = {std::string(uri), std::string(opener)};
    return HandleNewWindow;
  }
  TPermissionDecision BrowserPermissionRequested(std::string_view uri, TPermissionKind) override {
    PermissionUri = uri;
    return Decision;
  }
  TDownloadDecision BrowserDownloadRequested(const TDownloadRequest& request) override {
    Downloads.push_back(request);
    return Download;
  }
  void BrowserPermissionAnswered(std::string_view uri, TPermissionKind, bool allowed) override {
    Answers.push_back(std::string(uri) + (allowed ? " yes" : " no"));
  }
};

std::string StreamText(IStream* stream) {
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  std::string text;
  char buffer[256];
  ULONG read = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0)
    text.append(buffer, read);
  return text;
}

class WebView2WebView : public ::testing::Test {
 protected:
  void SetUp() override { MakeView(); }

  void MakeView(bool crossOriginReads = false) {
    View.reset();
    TWebView2Options options;
    options.CrossOriginReads = crossOriginReads;
    options.Asker = [this](const std::string& question) {
      Questions.push_back(question);
      return AskAnswer;
    };
    options.Poster = [this](std::function<void()> task) { Posted.push_back(std::move(task)); };
    options.SaveAsker = [this](const std::string& title, const std::string& path) {
      SaveQuestions.push_back(title + "|" + path);
      return SaveAnswer;
    };
    options.Forwarder = [this](TForwardRequest request,
                               std::function<void(std::optional<TForwardResponse>)> done) {
      Forwarded.push_back(std::move(request));
      Pending.push_back(std::move(done));
    };
    View =
        std::make_unique<TWebView2WebView>(&Environment, &Controller, Events, std::move(options));
  }

  // What the UI thread runs once the current event handler has returned.
  void RunPosted() {
    auto tasks = std::move(Posted);
    Posted.clear();
    for (auto& task : tasks)
      task();
  }

  template <typename THandler, typename TArgs>
  void Raise(const std::string& event, TArgs* args) {
    auto* handler = WebView.Handler<THandler>(event);
    ASSERT_NE(handler, nullptr) << event;
    EXPECT_EQ(handler->Invoke(&WebView, args), S_OK);
  }

  // Serves one request and answers its response (null when the backend left it alone).
  TFakeResponse* Serve(
      const std::wstring& uri, const THeaders& headers = {{L"Referer", kApp}},
      const std::wstring& method = L"GET",
      COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH) {
    Args.emplace_back(std::make_unique<TFakeResourceArgs>());
    Args.back()->Request.Uri = uri;
    Args.back()->Request.Method = method;
    Args.back()->Request.Headers.Headers = headers;
    Args.back()->Context = context;
    Args.back()->Deferral = &ResourceDeferral;
    Raise<ICoreWebView2WebResourceRequestedEventHandler>("WebResourceRequested", Args.back().get());
    return static_cast<TFakeResponse*>(Args.back()->Response);
  }

  // A frame below the top document, as WebView2 announces it.
  void CreateFrame(TFakeFrame& frame) {
    TFakeFrameCreatedArgs args;
    args.Frame = &frame;
    Raise<ICoreWebView2FrameCreatedEventHandler>("FrameCreated", &args);
  }

  // The frame goes: WebView2 drops its handlers, the view its reference.
  void DestroyFrame(TFakeFrame& frame) {
    auto* destroyed = frame.Handler<ICoreWebView2FrameDestroyedEventHandler>("Destroyed");
    ASSERT_NE(destroyed, nullptr);
    destroyed->AddRef();
    EXPECT_EQ(destroyed->Invoke(&frame, nullptr), S_OK);
    destroyed->Release();
    frame.DropHandlers();
    EXPECT_EQ(frame.References, 1u);
  }

  // Posts a message from the top document (frame null) or from a frame.
  void PostMessage(const std::wstring& source, TFakeFrame* frame = nullptr) {
    TFakeMessageArgs message;
    message.Source = source;
    message.Json = L"{\"id\":10001}";
    if (frame) {
      auto* handler =
          frame->Handler<ICoreWebView2FrameWebMessageReceivedEventHandler>("WebMessageReceived");
      ASSERT_NE(handler, nullptr);
      EXPECT_EQ(handler->Invoke(frame, &message), S_OK);
    } else {
      Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
    }
    EXPECT_EQ(message.References, 1u);
  }

  TFakeCoreWebView2 WebView;
  TFakeController Controller{WebView};
  TFakeEnvironment Environment;
  TRecordingEvents Events;
  std::vector<std::string> Questions;
  bool AskAnswer = true;
  std::vector<std::function<void()>> Posted;
  std::vector<std::string> SaveQuestions;
  std::optional<std::string> SaveAnswer = std::string("D:\\saved\\report.pdf");
  TFakeDeferral ResourceDeferral;
  std::vector<std::unique_ptr<TFakeResourceArgs>> Args;
  // The forwarder's requests; their answers hold references to the events above.
  std::vector<TForwardRequest> Forwarded;
  std::vector<std::function<void(std::optional<TForwardResponse>)>> Pending;
  std::unique_ptr<TWebView2WebView> View;
};

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text)
    out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// A file in the temporary folder that says "from disk", gone with the object.
struct TFileOnDisk {
  explicit TFileOnDisk(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    Wide = std::wstring(folder) + name;
    std::ofstream(std::filesystem::path(Wide), std::ios::binary) << "from disk";
    char utf8[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, Wide.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    Utf8 = utf8;
  }
  ~TFileOnDisk() { DeleteFileW(Wide.c_str()); }
  TFileOnDisk(const TFileOnDisk&) = delete;
  TFileOnDisk& operator=(const TFileOnDisk&) = delete;

  std::wstring Wide;
  std::string Utf8;
};

bool HasHeader(const TFakeResponse* response, const std::wstring& line) {
  return response &&
         (L"\n" + response->Headers + L"\n").find(L"\n" + line + L"\n") != std::wstring::npos;
}

TEST_F(WebView2WebView, RegistersEveryEventAndRemovesItsTokensWhenDestroyed) {
  for (const char* event :
       {"WebResourceRequested", "WebMessageReceived", "NavigationStarting", "NavigationCompleted",
        "DocumentTitleChanged", "ProcessFailed", "NewWindowRequested", "PermissionRequested",
        "DOMContentLoaded", "FrameCreated", "DownloadStarting", "FrameNavigationStarting"})
    EXPECT_NE(WebView.Events.find(event), WebView.Events.end()) << event;
  const std::size_t registered = WebView.Events.size();
  // The page script of the application origin comes before any other.
  ASSERT_FALSE(WebView.Scripts.empty());
  EXPECT_NE(WebView.Scripts[0].find(L"(\"https://velloc.localhost\");"), std::wstring::npos);

  View.reset();
  EXPECT_TRUE(WebView.Events.empty());
  EXPECT_EQ(WebView.Removed.size(), registered);
  EXPECT_EQ(Controller.Closed, 1);
  // Every reference the backend took is given back.
  EXPECT_EQ(WebView.References, 1u);
  EXPECT_EQ(Controller.References, 1u);
  EXPECT_EQ(Environment.References, 1u);
  EXPECT_EQ(WebView.Settings.References, 1u);
}

// The filter is the origin's alone; runtimes before ICoreWebView2_22 take the old filter, which
// does not reach shared and service workers. Cross-origin reads add fetch and XHR of any URI.
TEST_F(WebView2WebView, FiltersTheOriginWithSourceKindsWhereTheRuntimeHasThem) {
  struct TCase {
    int Version;
    bool CrossOriginReads;
    std::vector<std::wstring> Filters;
  };
  const TCase cases[] = {
      {22, false, {L"https://velloc.localhost/*|0|4294967295"}},
      {21, false, {L"https://velloc.localhost/*|0"}},
      {2, false, {L"https://velloc.localhost/*|0"}},
      {22,
       true,
       {L"https://velloc.localhost/*|0|4294967295", L"*|8|4294967295", L"*|7|4294967295"}},
      {4, true, {L"https://velloc.localhost/*|0", L"*|8", L"*|7"}},
  };
  for (const TCase& c : cases) {
    View.reset();
    WebView.Filters.clear();
    WebView.Version = c.Version;
    MakeView(c.CrossOriginReads);
    EXPECT_EQ(WebView.Filters, c.Filters) << c.Version;
    // Frames and downloads came with the fourth interface.
    EXPECT_EQ(WebView.Events.count("FrameCreated"), c.Version >= 4 ? 1u : 0u);
    EXPECT_EQ(WebView.Events.count("DownloadStarting"), c.Version >= 4 ? 1u : 0u);
  }
}

TEST(WebView2Origin, MapsFileUrisOntoTheOriginAndBack) {
  using platform::webview2::ToApplicationUri;
  using platform::webview2::ToFileUri;
  struct TCase {
    const char* File;
    const char* Application;
  };
  const TCase both[] = {
      {"file:///index.html", "https://velloc.localhost/index.html"},
      {"file:///css/site.css", "https://velloc.localhost/css/site.css"},
      // Query, escapes and the path's letter case stay as they are: the core decides.
      {"file:///my%20page.html?x=1", "https://velloc.localhost/my%20page.html?x=1"},
      {"file:///Caf%C3%A9/INDEX.HTML", "https://velloc.localhost/Caf%C3%A9/INDEX.HTML"},
      {"file:///C:/Users/Public/photo.png", "https://velloc.localhost/C:/Users/Public/photo.png"},
      {"file:///", "https://velloc.localhost/"},
  };
  for (const TCase& c : both) {
    EXPECT_EQ(ToApplicationUri(c.File), c.Application) << c.File;
    EXPECT_EQ(ToFileUri(c.Application), c.File) << c.Application;
  }
  // The letter case of scheme and host is not the path's.
  EXPECT_EQ(ToApplicationUri("FILE:///Index.html"), "https://velloc.localhost/Index.html");
  EXPECT_EQ(ToApplicationUri("File:///a.js"), "https://velloc.localhost/a.js");
  EXPECT_EQ(ToFileUri("HTTPS://VELLOC.LOCALHOST/a/B.js"), "file:///a/B.js");
  EXPECT_EQ(ToFileUri("https://velloc.localhost"), "file:///");
  EXPECT_EQ(ToFileUri("https://velloc.localhost?q=1"), "file:///?q=1");
  // Anything else is not the application's.
  for (const char* other :
       {"https://velloc.localhost.example.com/x", "https://velloc.localhost:8443/x",
        "http://velloc.localhost/x", "https://user@velloc.localhost/x",
        "https://example.com/velloc.localhost/", "blob:https://velloc.localhost/1", "about:blank",
        "data:text/html,x"}) {
    EXPECT_EQ(ToFileUri(other), other);
    EXPECT_FALSE(platform::webview2::IsApplicationUri(other)) << other;
  }
  for (const char* other : {"file://server/share/a.html", "https://example.com/", "vlx:///a"})
    EXPECT_EQ(ToApplicationUri(other), other);
}

// Requests of the origin go to the core as "file:///" URIs, from application documents only:
// another origin's get 403, a file on disk needs proof that the application asks, nothing found
// is 404, and nothing of the origin goes to the network.
TEST_F(WebView2WebView, AnswersTheOriginFromMemoryForApplicationDocumentsOnly) {
  const TFileOnDisk onDisk(L"velloc-webview2-beside.txt");
  const char* utf8Path = onDisk.Utf8.c_str();
  const std::wstring page = std::wstring(kApp) + L"/my%20start.html";
  // The view's own navigation: Chromium asks for it escaped.
  View->Navigate("file:///my start.html");
  EXPECT_EQ(WebView.Navigated,
            std::vector<std::wstring>{L"https://velloc.localhost/my start.html"});

  struct TCase {
    std::wstring Uri;
    THeaders Headers;
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
    std::string Found;  // "package", "disk" or "none"
    int Status;         // 0: not answered
    const char* CoreUri;
    const char* Body;
  };
  const auto document = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
  const auto fetch = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH;
  const THeaders none;
  const THeaders fromPage = {{L"Referer", page}};
  const TCase cases[] = {
      {page, none, document, "disk", 200, "file:///my%20start.html", "from disk"},
      {L"https://velloc.localhost/a/b.js", fromPage, fetch, "package", 200, "file:///a/b.js", "p"},
      {L"https://velloc.localhost/my%20page.html?x=1",
       {{L"Origin", kApp}},
       fetch,
       "disk",
       200,
       "file:///my%20page.html?x=1",
       "from disk"},
      {L"https://velloc.localhost/C:/data/x.txt", fromPage, fetch, "disk", 200,
       "file:///C:/data/x.txt", "from disk"},
      {L"https://velloc.localhost/missing.txt", fromPage, fetch, "none", 404, "file:///missing.txt",
       ""},
      // Other origins, and opaque ones, get nothing of the application.
      {L"https://velloc.localhost/a.js",
       {{L"Origin", L"https://evil.example"}},
       fetch,
       "package",
       403,
       nullptr,
       ""},
      {L"https://velloc.localhost/a.js",
       {{L"Origin", L"null"}},
       fetch,
       "package",
       403,
       nullptr,
       ""},
      {L"https://velloc.localhost/a.png",
       {{L"Referer", L"https://evil.example/p"}},
       fetch,
       "package",
       403,
       nullptr,
       ""},
      {L"https://velloc.localhost/a.png",
       {{L"Origin", kApp}, {L"Referer", L"https://e.example/"}},
       fetch,
       "package",
       403,
       nullptr,
       ""},
      // Without either header: a page of the package, never a file on disk.
      {L"https://velloc.localhost/logo.png", none, fetch, "package", 200, "file:///logo.png", "p"},
      {L"https://velloc.localhost/C:/Users/x/Downloads/evil.html", none, document, "disk", 403,
       "file:///C:/Users/x/Downloads/evil.html", ""},
      {page, none, fetch, "disk", 403, "file:///my%20start.html", ""},
      // The web's own requests are not the backend's business.
      {L"https://example.com/app.js", fromPage, fetch, "package", 0, nullptr, nullptr},
      {L"http://velloc.localhost/a.js", fromPage, fetch, "package", 0, nullptr, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Narrow(c.Uri));
    Events.Requested.clear();
    Events.Body.reset();
    Events.FilePath.clear();
    if (c.Found == "package") Events.Body = std::string("p");
    if (c.Found == "disk") Events.FilePath = utf8Path;
    Events.MimeType = "text/plain";
    TFakeResponse* response = Serve(c.Uri, c.Headers, L"GET", c.Context);
    if (c.Status == 0) {
      EXPECT_EQ(response, nullptr);
      EXPECT_TRUE(Events.Requested.empty());
      continue;
    }
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Status, c.Status);
    if (c.CoreUri) {
      EXPECT_EQ(Events.Requested, std::vector<std::string>{c.CoreUri});
    } else {
      EXPECT_TRUE(Events.Requested.empty());
    }
    EXPECT_EQ(StreamText(response->Stream), c.Body);
    // Nothing of the application's origin may be framed by another origin, errors neither: an
    // empty document of the origin would still get the document scripts.
    EXPECT_TRUE(HasHeader(response, L"Content-Security-Policy: frame-ancestors 'self'"));
    EXPECT_TRUE(HasHeader(response, L"X-Frame-Options: SAMEORIGIN"));
  }
  // The answers' streams let go of the file before it goes.
  Args.clear();
  Environment.Responses.clear();
}

// Fetch metadata, which a page can neither forge nor drop, says who asks where Chromium sends
// it: the Origin and Referer a remote page leaves out (referrerpolicy="no-referrer") prove
// nothing then.
TEST_F(WebView2WebView, JudgesTheSourceByFetchMetadata) {
  const TFileOnDisk onDisk(L"velloc-webview2-metadata.txt");
  const char* utf8Path = onDisk.Utf8.c_str();
  const std::wstring page = std::wstring(kApp) + L"/index.html";
  View->Navigate("file:///index.html");
  const auto document = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
  const auto script = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT;
  const auto fetch = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH;
  struct TCase {
    const char* What;
    std::wstring Uri;
    THeaders Headers;
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
    bool OnDisk;
    int Status;
  } const cases[] = {
      {"a remote page includes a package script without a referrer",
       L"https://velloc.localhost/app.js",
       {{L"Sec-Fetch-Site", L"cross-site"}, {L"Sec-Fetch-Dest", L"script"}},
       script,
       false,
       403},
      {"a remote page frames a package page",
       L"https://velloc.localhost/index.html",
       {{L"Sec-Fetch-Site", L"cross-site"}, {L"Sec-Fetch-Dest", L"iframe"}},
       document,
       false,
       403},
      {"a page of another port or name under the origin's site",
       L"https://velloc.localhost/app.js",
       {{L"Sec-Fetch-Site", L"same-site"}, {L"Sec-Fetch-Dest", L"script"}},
       script,
       false,
       403},
      {"an unknown value",
       L"https://velloc.localhost/app.js",
       {{L"Sec-Fetch-Site", L"elsewhere"}},
       fetch,
       false,
       403},
      {"metadata and Origin disagree",
       L"https://velloc.localhost/app.js",
       {{L"Sec-Fetch-Site", L"same-origin"}, {L"Origin", L"https://evil.example"}},
       fetch,
       false,
       403},
      {"an application page without a referrer reads a file beside the executable",
       L"https://velloc.localhost/data.txt",
       {{L"Sec-Fetch-Site", L"same-origin"}, {L"Sec-Fetch-Dest", L"empty"}},
       fetch,
       true,
       200},
      {"letter case and blanks",
       L"https://velloc.localhost/data.txt",
       {{L"Sec-Fetch-Site", L" Same-Origin "}},
       fetch,
       true,
       200},
      {"the view's own navigation",
       page,
       {{L"Sec-Fetch-Site", L"none"}, {L"Sec-Fetch-Dest", L"document"}},
       document,
       true,
       200},
      {"another navigation of the browser or the user: a package page",
       L"https://velloc.localhost/other.html",
       {{L"Sec-Fetch-Site", L"none"}, {L"Sec-Fetch-Dest", L"document"}},
       document,
       false,
       200},
      {"another navigation of the browser or the user: a file on disk",
       L"https://velloc.localhost/C:/Users/x/Downloads/evil.html",
       {{L"Sec-Fetch-Site", L"none"}, {L"Sec-Fetch-Dest", L"document"}},
       document,
       true,
       403},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Events.Body.reset();
    Events.FilePath.clear();
    if (c.OnDisk) {
      Events.FilePath = utf8Path;
    } else {
      Events.Body = std::string("p");
    }
    TFakeResponse* response = Serve(c.Uri, c.Headers, L"GET", c.Context);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Status, c.Status);
    EXPECT_EQ(StreamText(response->Stream), c.Status != 200 ? "" : c.OnDisk ? "from disk" : "p");
    EXPECT_TRUE(HasHeader(response, L"Content-Security-Policy: frame-ancestors 'self'"));
  }
  // The answers' streams let go of the file before it goes.
  Args.clear();
  Environment.Responses.clear();
}

TEST_F(WebView2WebView, AnswersTypesRangesAndWideNames) {
  Events.Body = std::string("<h1>Hi \xC3\xA9t\xC3\xA9</h1>");
  Events.AcceptsRanges = true;  // a package entry
  TFakeResponse* page = Serve(L"https://velloc.localhost/index.html");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Status, 200);
  EXPECT_EQ(page->Reason, L"OK");
  EXPECT_TRUE(HasHeader(page, L"Content-Type: text/html; charset=utf-8"));
  EXPECT_TRUE(HasHeader(page, L"Accept-Ranges: bytes"));
  EXPECT_EQ(StreamText(page->Stream), *Events.Body);

  // Wide URIs reach the core as UTF-8.
  Serve(L"https://velloc.localhost/\u00e9t\u00e9/page.html");
  EXPECT_EQ(Events.Requested.back(), "file:///\xC3\xA9t\xC3\xA9/page.html");

  // WebAssembly's streaming compile takes its type without a charset.
  Events.MimeType = "application/wasm";
  EXPECT_TRUE(
      HasHeader(Serve(L"https://velloc.localhost/m.wasm"), L"Content-Type: application/wasm"));

  struct TRange {
    const wchar_t* Header;
    int Status;
    const char* Body;
    const wchar_t* ContentRange;
  };
  const TRange ranges[] = {
      {L"bytes=2-5", 206, "2345", L"Content-Range: bytes 2-5/10"},
      {L"bytes=7-", 206, "789", L"Content-Range: bytes 7-9/10"},
      {L"bytes=-3", 206, "789", L"Content-Range: bytes 7-9/10"},
      {L"bytes=8-100", 206, "89", L"Content-Range: bytes 8-9/10"},
      {L"bytes=0-0", 206, "0", L"Content-Range: bytes 0-0/10"},
      {L" Bytes = 1 - 2 ", 206, "12", L"Content-Range: bytes 1-2/10"},
      {L"bytes=10-", 416, "", L"Content-Range: bytes */10"},
      {L"bytes=-0", 416, "", L"Content-Range: bytes */10"},
      // Several ranges, another unit or nonsense: the whole body.
      {L"bytes=0-1,4-5", 200, "0123456789", nullptr},
      {L"items=0-1", 200, "0123456789", nullptr},
      {L"bytes=5-2", 200, "0123456789", nullptr},
      {L"bytes=x-", 200, "0123456789", nullptr},
  };
  Events.Body = std::string("0123456789");
  Events.MimeType = "video/mp4";
  for (const TRange& r : ranges) {
    SCOPED_TRACE(Narrow(r.Header));
    TFakeResponse* part =
        Serve(L"https://velloc.localhost/v.mp4", {{L"Referer", kApp}, {L"Range", r.Header}}, L"GET",
              COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->Status, r.Status);
    EXPECT_EQ(StreamText(part->Stream), r.Body);
    if (r.ContentRange) {
      EXPECT_TRUE(HasHeader(part, r.ContentRange)) << Narrow(part->Headers);
    }
    EXPECT_TRUE(HasHeader(part, L"Content-Type: video/mp4; charset=utf-8"));
  }
  // A media element asks for "the rest" and reads what it needs; WebView2 reads each answer to
  // its end, so the rest is capped and the player asks again. What a page's fetch names is
  // answered as asked.
  std::string video(5u << 20, '\0');
  for (std::size_t i = 0; i < video.size(); ++i)
    video[i] = static_cast<char>('a' + i % 26);
  Events.Body = video;
  const std::size_t cap = browser::kOpenRangePart;
  const std::string total = "/" + std::to_string(video.size());
  struct TOpen {
    const wchar_t* Range;
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
    const wchar_t* Dest;
    std::size_t First, Length;
  } const open[] = {
      {L"bytes=0-", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA, L"video", 0, cap},
      {L"bytes=1000-", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA, L"audio", 1000, cap},
      {L"bytes=1000-", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH, L"video", 1000, cap},
      {L"bytes=5000000-", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA, L"video", 5000000,
       video.size() - 5000000},
      {L"bytes=10-5000009", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA, L"video", 10, 5000000},
      {L"bytes=1000-", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH, L"empty", 1000,
       video.size() - 1000},
  };
  for (const TOpen& o : open) {
    SCOPED_TRACE(Narrow(std::wstring(o.Range) + L" " + o.Dest));
    TFakeResponse* part = Serve(
        L"https://velloc.localhost/v.mp4",
        {{L"Sec-Fetch-Site", L"same-origin"}, {L"Sec-Fetch-Dest", o.Dest}, {L"Range", o.Range}},
        L"GET", o.Context);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->Status, 206);
    const std::string range = "Content-Range: bytes " + std::to_string(o.First) + "-" +
                              std::to_string(o.First + o.Length - 1) + total;
    EXPECT_TRUE(HasHeader(part, std::wstring(range.begin(), range.end()))) << range;
    EXPECT_TRUE(StreamText(part->Stream) == video.substr(o.First, o.Length));
  }

  // An empty body is still an answer.
  Events.Body = std::string();
  TFakeResponse* empty = Serve(L"https://velloc.localhost/empty.txt");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Status, 200);
  EXPECT_EQ(StreamText(empty->Stream), "");
}

TEST_F(WebView2WebView, StreamsAFileOnDiskByItsPath) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"velloc-webview2-served.bin";
  const std::string content(70000, 'x');
  {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
  }
  char utf8[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  Events.FilePath = utf8;
  Events.MimeType = "application/octet-stream";
  // A range of a file on disk: the whole file, which WebView2 reads in its own pieces.
  TFakeResponse* response =
      Serve(L"https://velloc.localhost/big.bin", {{L"Referer", kApp}, {L"Range", L"bytes=0-9"}});
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(response->Status, 200);
  EXPECT_FALSE(HasHeader(response, L"Accept-Ranges: bytes"));
  EXPECT_EQ(StreamText(response->Stream), content);
  Args.clear();
  Environment.Responses.clear();
  DeleteFileW(path.c_str());

  // A file that cannot be opened any more is not found.
  TFakeResponse* gone = Serve(L"https://velloc.localhost/gone.bin");
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(gone->Status, 404);
}

TEST_F(WebView2WebView, RoutesMessagesOfApplicationPagesAndAnswersOnce) {
  TFakeMessageArgs message;
  message.Source = L"https://velloc.localhost/index.html";
  message.Json = L"{\"id\":30001,\"data\":\"\u00e9\"}";
  Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
  ASSERT_EQ(Events.Messages.size(), 1u);
  EXPECT_EQ(Events.Messages[0].first, "{\"id\":30001,\"data\":\"\xC3\xA9\"}");
  EXPECT_EQ(Events.Messages[0].second, "file:///index.html");

  auto reply = Events.Reply;
  reply("{\"ok\":\"\xC3\xA9\"}");
  reply("{\"again\":true}");
  Events.Reply("{\"copy\":true}");
  EXPECT_EQ(WebView.Posted, std::vector<std::wstring>{L"{\"ok\":\"\u00e9\"}"});
  EXPECT_EQ(message.References, 1u);
}

// Only an application document inside an application page reaches the bridge, the top
// document's or a frame's; a frame's answer goes to that frame.
TEST_F(WebView2WebView, MessagesOfTheTopDocumentAndItsFramesByTheirSource) {
  struct TCase {
    const wchar_t* Top;
    const wchar_t* Source;
    bool FromFrame;
    const char* Accepted;  // the source the bridge sees, or null
  };
  const TCase cases[] = {
      {L"https://velloc.localhost/index.html", L"https://velloc.localhost/index.html", false,
       "file:///index.html"},
      {L"https://velloc.localhost/index.html", L"https://velloc.localhost/sub/frame.html", true,
       "file:///sub/frame.html"},
      {L"https://velloc.localhost/index.html", L"https://ads.example/frame", true, nullptr},
      {L"https://velloc.localhost/index.html", L"about:blank", true, nullptr},
      {L"https://example.com/", L"https://velloc.localhost/frame.html", true, nullptr},
      {L"https://example.com/", L"https://example.com/", false, nullptr},
      // The message's source and the top document must both be the application's.
      {L"https://velloc.localhost/index.html", L"https://example.com/", false, nullptr},
      {L"https://example.com/", L"https://velloc.localhost/index.html", false, nullptr},
      {L"file:///C:/index.html", L"file:///C:/index.html", false, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Narrow(c.Source) + (c.FromFrame ? " in a frame" : ""));
    Events.Messages.clear();
    WebView.Posted.clear();
    WebView.Source = c.Top;
    TFakeFrame frame;
    if (c.FromFrame) CreateFrame(frame);
    PostMessage(c.Source, c.FromFrame ? &frame : nullptr);
    if (!c.Accepted) {
      EXPECT_TRUE(Events.Messages.empty());
    } else {
      ASSERT_EQ(Events.Messages.size(), 1u);
      EXPECT_EQ(Events.Messages[0].second, c.Accepted);
      Events.Reply("{\"r\":1}");
      EXPECT_EQ(frame.Posted.size(), c.FromFrame ? 1u : 0u);
      EXPECT_EQ(WebView.Posted.size(), c.FromFrame ? 0u : 1u);
      Events.Reply = nullptr;
    }
    if (c.FromFrame) DestroyFrame(frame);
  }
}

TEST_F(WebView2WebView, FramesStillThereWhenTheViewGoesAreLetGo) {
  TFakeFrame frame;
  CreateFrame(frame);
  TFakeFrame old;
  old.Messages = false;  // a runtime with frames but without their messages
  CreateFrame(old);
  EXPECT_EQ(frame.Events.size(), 2u);
  EXPECT_EQ(old.Events.size(), 1u);
  View.reset();
  EXPECT_TRUE(frame.Events.empty());
  EXPECT_TRUE(old.Events.empty());
  EXPECT_EQ(frame.References, 1u);
  EXPECT_EQ(old.References, 1u);
}

TEST_F(WebView2WebView, AReplyKeptBeyondTheViewIsDropped) {
  TFakeMessageArgs message;
  message.Source = L"https://velloc.localhost/index.html";
  message.Json = L"{}";
  Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
  auto reply = Events.Reply;
  View.reset();
  reply("{\"late\":true}");
  EXPECT_TRUE(WebView.Posted.empty());
}

// The core decides with the frame that asks where WebView2 names it; an older runtime names no
// frame, and then the top document counts only while it shows none.
TEST_F(WebView2WebView, NewWindowRequestsGoToTheCoreWithTheFrameThatAsks) {
  struct TCase {
    const wchar_t* Uri;
    bool NamesFrame;
    const wchar_t* Frame;
    bool WithFrames;
    BOOL UserInitiated;
    bool CoreHandles;
    const char* CoreUri;
    const char* Opener;
    BOOL Handled;
  };
  const TCase cases[] = {
      {L"https://velloc.localhost/other.html", true, L"https://velloc.localhost/index.html", false,
       TRUE, true, "file:///other.html", "file:///index.html", TRUE},
      {L"https://velloc.localhost/other.html", true, L"https://ads.example/f", true, TRUE, true,
       "file:///other.html", "https://ads.example/f", TRUE},
      {L"https://velloc.localhost/other.html", false, nullptr, false, TRUE, true,
       "file:///other.html", "file:///index.html", TRUE},
      {L"https://velloc.localhost/other.html", false, nullptr, true, TRUE, true,
       "file:///other.html", "", TRUE},
      // A web page in WebView2's own window: the application's pages open one as they like, any
      // other document only on a user gesture.
      {L"https://example.com/", true, L"https://velloc.localhost/index.html", false, FALSE, false,
       "https://example.com/", "file:///index.html", FALSE},
      {L"https://example.com/", true, L"https://ads.example/f", true, TRUE, false,
       "https://example.com/", "https://ads.example/f", FALSE},
      {L"https://example.com/", true, L"https://ads.example/f", true, FALSE, false,
       "https://example.com/", "https://ads.example/f", TRUE},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Opener) + " opens " + c.CoreUri);
    TFakeFrame frame;
    if (c.WithFrames) CreateFrame(frame);
    Events.HandleNewWindow = c.CoreHandles;
    TFakeNewWindowArgs args;
    args.Uri = c.Uri;
    args.NamesFrame = c.NamesFrame;
    if (c.Frame) args.Frame.Source = c.Frame;
    args.UserInitiated = c.UserInitiated;
    Raise<ICoreWebView2NewWindowRequestedEventHandler>("NewWindowRequested", &args);
    EXPECT_EQ(args.Handled, c.Handled);
    EXPECT_EQ(Events.NewWindow.first, c.CoreUri);
    EXPECT_EQ(Events.NewWindow.second, c.Opener);
    EXPECT_EQ(args.Frame.References, 1u);
    if (c.WithFrames) DestroyFrame(frame);
  }
}

TEST_F(WebView2WebView, PermissionDecisionsBecomeStates) {
  struct TCase {
    TPermissionState Decision;
    bool AskAnswer;
    COREWEBVIEW2_PERMISSION_STATE Expected;
    std::size_t Questions;
  };
  const TCase cases[] = {
      {TPermissionState::Allow, false, COREWEBVIEW2_PERMISSION_STATE_ALLOW, 0},
      {TPermissionState::Deny, true, COREWEBVIEW2_PERMISSION_STATE_DENY, 0},
      {TPermissionState::Ask, true, COREWEBVIEW2_PERMISSION_STATE_ALLOW, 1},
      {TPermissionState::Ask, false, COREWEBVIEW2_PERMISSION_STATE_DENY, 1},
  };
  for (const TCase& c : cases) {
    Questions.clear();
    Events.Answers.clear();
    Events.Decision = {c.Decision, "Use the camera?"};
    AskAnswer = c.AskAnswer;
    TFakePermissionArgs args;
    args.Uri = L"https://velloc.localhost/";
    Raise<ICoreWebView2PermissionRequestedEventHandler>("PermissionRequested", &args);
    // WebView2 names the document that asks; the core sees the application's as "file:".
    EXPECT_EQ(Events.PermissionUri, "file:///");
    const bool asks = c.Decision == TPermissionState::Ask;
    // No modal question inside the handler: the event waits on its deferral.
    EXPECT_TRUE(Questions.empty());
    EXPECT_EQ(args.Deferrals, asks ? 1 : 0);
    if (asks) {
      EXPECT_EQ(args.State, COREWEBVIEW2_PERMISSION_STATE_DEFAULT);
    }
    RunPosted();
    EXPECT_EQ(args.State, c.Expected);
    EXPECT_EQ(Questions.size(), c.Questions);
    EXPECT_EQ(Events.Answers.size(), c.Questions);
    EXPECT_EQ(args.Deferral.Completed, asks ? 1 : 0);
    // Every reference the backend took is given back.
    EXPECT_EQ(args.References, 1u);
    EXPECT_EQ(args.Deferral.References, 1u);
  }
}

TEST_F(WebView2WebView, AQuestionAfterTheViewHasGoneDeniesAndCompletes) {
  Events.Decision = {TPermissionState::Ask, "Use the camera?"};
  TFakePermissionArgs args;
  args.Uri = L"https://example.com/";
  Raise<ICoreWebView2PermissionRequestedEventHandler>("PermissionRequested", &args);
  View.reset();
  RunPosted();
  EXPECT_TRUE(Questions.empty());
  EXPECT_EQ(args.State, COREWEBVIEW2_PERMISSION_STATE_DENY);
  EXPECT_EQ(args.Deferral.Completed, 1);
}

// Downloads follow the core's decision: refused, or saved where the user says, asked after the
// event on its deferral and one question at a time; never saved unasked.
TEST_F(WebView2WebView, DownloadsAreAskedOneAtATimeOrRefused) {
  // The origins of the page's remote frames name the source of an address without an origin.
  auto* frames =
      WebView.Handler<ICoreWebView2NavigationStartingEventHandler>("FrameNavigationStarting");
  ASSERT_NE(frames, nullptr);
  TFakeNavigationStartingArgs remote;
  remote.Uri = L"https://ads.example/frame?x=1";
  frames->Invoke(&WebView, &remote);
  TFakeNavigationStartingArgs own;
  own.Uri = L"https://velloc.localhost/inner.html";
  frames->Invoke(&WebView, &own);

  Events.Download = {false, ""};
  TFakeDownloadArgs refused;
  refused.Operation.Uri = L"data:text/plain,x";
  Raise<ICoreWebView2DownloadStartingEventHandler>("DownloadStarting", &refused);
  EXPECT_EQ(refused.Cancel, TRUE);
  EXPECT_EQ(refused.Deferrals, 0);
  ASSERT_EQ(Events.Downloads.size(), 1u);
  EXPECT_EQ(Events.Downloads[0].PageUri, "file:///index.html");
  EXPECT_EQ(Events.Downloads[0].ForeignOrigins, std::vector<std::string>{"https://ads.example"});

  Events.Download = {true, "Save File"};
  TFakeDownloadArgs first;
  first.Operation.Uri = L"blob:https://velloc.localhost/6f1c";
  TFakeDownloadArgs second;
  second.Operation.Uri = L"https://velloc.localhost/report.pdf";
  Raise<ICoreWebView2DownloadStartingEventHandler>("DownloadStarting", &first);
  Raise<ICoreWebView2DownloadStartingEventHandler>("DownloadStarting", &second);
  ASSERT_EQ(Events.Downloads.size(), 3u);
  EXPECT_EQ(Events.Downloads[1].Uri, "blob:file:///6f1c");
  EXPECT_EQ(Events.Downloads[2].Uri, "file:///report.pdf");
  // Nothing asked inside the handler, nothing saved yet.
  EXPECT_TRUE(SaveQuestions.empty());
  EXPECT_EQ(first.Deferrals, 1);
  EXPECT_FALSE(first.PathSet);
  ASSERT_EQ(Posted.size(), 1u);
  RunPosted();
  EXPECT_EQ(SaveQuestions,
            std::vector<std::string>{"Save File|C:\\Users\\me\\Downloads\\report.pdf"});
  EXPECT_EQ(first.ResultFilePath, L"D:\\saved\\report.pdf");
  EXPECT_EQ(first.Deferral.Completed, 1);
  EXPECT_EQ(second.Deferral.Completed, 0);
  // The second question only once the first is answered; declined, it is cancelled.
  SaveAnswer.reset();
  ASSERT_EQ(Posted.size(), 1u);
  RunPosted();
  EXPECT_EQ(second.Cancel, TRUE);
  EXPECT_FALSE(second.PathSet);
  EXPECT_EQ(second.Deferral.Completed, 1);
  EXPECT_TRUE(Posted.empty());
  EXPECT_EQ(first.References, 1u);
  EXPECT_EQ(second.Deferral.References, 1u);

  // A new page starts a new list of the origins it shows.
  Raise<ICoreWebView2NavigationStartingEventHandler>(
      "NavigationStarting", static_cast<ICoreWebView2NavigationStartingEventArgs*>(nullptr));
  Events.Download = {false, ""};
  TFakeDownloadArgs later;
  later.Operation.Uri = L"data:text/plain,y";
  Raise<ICoreWebView2DownloadStartingEventHandler>("DownloadStarting", &later);
  EXPECT_TRUE(Events.Downloads.back().ForeignOrigins.empty());
}

TEST_F(WebView2WebView, ADownloadAskedAfterTheViewHasGoneIsCancelled) {
  Events.Download = {true, "Save File"};
  TFakeDownloadArgs args;
  args.Operation.Uri = L"https://velloc.localhost/a.zip";
  Raise<ICoreWebView2DownloadStartingEventHandler>("DownloadStarting", &args);
  View.reset();
  RunPosted();
  EXPECT_TRUE(SaveQuestions.empty());
  EXPECT_EQ(args.Cancel, TRUE);
  EXPECT_EQ(args.Deferral.Completed, 1);
}

// With "--disable-web-security" asked for, the application's documents read other origins: the
// backend answers their preflights and makes their requests again, answering with CORS headers
// for the application's origin alone. Remote documents keep ordinary CORS.
TEST_F(WebView2WebView, CrossOriginReadsOfApplicationDocumentsOnly) {
  MakeView(true);
  const THeaders fromApp = {{L"Origin", kApp},
                            {L"Referer", L"https://velloc.localhost/index.html"},
                            {L"Sec-Fetch-Mode", L"cors"},
                            {L"X-Token", L"t1"},
                            {L"Content-Type", L"application/json"}};
  // The preflight: allowed at once, for what it asks.
  TFakeResponse* preflight = Serve(L"https://api.example.com/items",
                                   {{L"Origin", kApp},
                                    {L"Access-Control-Request-Method", L"PUT"},
                                    {L"Access-Control-Request-Headers", L"x-token,content-type"}},
                                   L"OPTIONS");
  ASSERT_NE(preflight, nullptr);
  EXPECT_EQ(preflight->Status, 204);
  for (const wchar_t* line :
       {L"Access-Control-Allow-Origin: https://velloc.localhost",
        L"Access-Control-Allow-Credentials: true", L"Access-Control-Allow-Methods: PUT",
        L"Access-Control-Allow-Headers: x-token,content-type"})
    EXPECT_TRUE(HasHeader(preflight, line)) << Narrow(line);
  EXPECT_TRUE(Forwarded.empty());

  // The request itself waits on its deferral while it is made again.
  const std::string sentBody = "{\"a\":1}";
  IStream* body = platform::webview2::TWebView2BodyStream::Create(
      std::make_unique<std::vector<std::uint8_t>>(sentBody.begin(), sentBody.end()));
  Args.emplace_back(std::make_unique<TFakeResourceArgs>());
  TFakeResourceArgs& put = *Args.back();
  put.Request.Uri = L"https://api.example.com/items?x=1";
  put.Request.Method = L"PUT";
  put.Request.Content = body;
  put.Request.Headers.Headers = fromApp;
  put.Deferral = &ResourceDeferral;
  Raise<ICoreWebView2WebResourceRequestedEventHandler>("WebResourceRequested", &put);
  body->Release();
  ASSERT_EQ(Forwarded.size(), 1u);
  EXPECT_EQ(put.Deferrals, 1);
  EXPECT_EQ(put.Response, nullptr);
  const TForwardRequest& sent = Forwarded[0];
  EXPECT_EQ(sent.Method, "PUT");
  EXPECT_EQ(sent.Uri, "https://api.example.com/items?x=1");
  EXPECT_EQ(std::string(sent.Body.begin(), sent.Body.end()), "{\"a\":1}");
  // What the browser added for itself stays behind.
  EXPECT_EQ(sent.Headers, (platform::webview2::THeaderList{{"X-Token", "t1"},
                                                           {"Content-Type", "application/json"}}));
  TForwardResponse server;
  server.StatusCode = 201;
  server.ReasonPhrase = "Created";
  server.Headers = {{"Content-Type", "application/json"},
                    {"Set-Cookie", "session=1"},
                    {"Access-Control-Allow-Origin", "https://other.example"},
                    {"Content-Encoding", "gzip"},
                    {"X-Total", "3"}};
  const std::string json = "[1,2,3]";
  server.Body.assign(json.begin(), json.end());
  Pending[0](server);
  ASSERT_NE(put.Response, nullptr);
  auto* answer = static_cast<TFakeResponse*>(put.Response);
  EXPECT_EQ(answer->Status, 201);
  EXPECT_EQ(answer->Reason, L"Created");
  EXPECT_EQ(StreamText(answer->Stream), json);
  for (const wchar_t* line :
       {L"Access-Control-Allow-Origin: https://velloc.localhost",
        L"Access-Control-Allow-Credentials: true", L"Content-Type: application/json", L"X-Total: 3",
        L"Access-Control-Expose-Headers: Content-Type, X-Total"})
    EXPECT_TRUE(HasHeader(answer, line)) << Narrow(answer->Headers);
  for (const wchar_t* gone : {L"Set-Cookie", L"other.example", L"gzip"})
    EXPECT_EQ(answer->Headers.find(gone), std::wstring::npos) << Narrow(gone);
  EXPECT_EQ(ResourceDeferral.Completed, 1);

  // No answer (no connection): the request goes on and fails as it would.
  Serve(L"https://down.example/", fromApp);
  ASSERT_EQ(Pending.size(), 2u);
  Pending[1](std::nullopt);
  EXPECT_EQ(Args.back()->Response, nullptr);
  EXPECT_EQ(ResourceDeferral.Completed, 2);

  // Remote documents, navigations without an Origin and other schemes are left alone.
  for (const THeaders& headers :
       {THeaders{{L"Origin", L"https://evil.example"}}, THeaders{{L"Origin", L"null"}},
        THeaders{{L"Referer", L"https://velloc.localhost/index.html"}}}) {
    EXPECT_EQ(Serve(L"https://api.example.com/items", headers), nullptr);
  }
  EXPECT_EQ(Serve(L"ws://api.example.com/", fromApp), nullptr);
  EXPECT_EQ(Forwarded.size(), 2u);

  // An answer after the view has gone completes the request with nothing.
  Serve(L"https://slow.example/", fromApp);
  View.reset();
  Pending[2](server);
  EXPECT_EQ(Args.back()->Response, nullptr);
  EXPECT_EQ(ResourceDeferral.Completed, 3);
}

// A request body that breaks off: nothing is forwarded, so the server never takes a part for the
// whole; the request goes on to the network, where CORS fails it.
class TBrokenStream final : public TFakeCom<IStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG size, ULONG* read) override {
    if (FGiven) return E_FAIL;
    FGiven = true;
    *read = std::min<ULONG>(size, 10);
    std::memset(out, 'x', *read);
    return S_OK;
  }
#define NOT_IMPLEMENTED(name, ...)                       \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return E_NOTIMPL;                                    \
  }
  NOT_IMPLEMENTED(Write, const void*, ULONG, ULONG*)
  NOT_IMPLEMENTED(Seek, LARGE_INTEGER, DWORD, ULARGE_INTEGER*)
  NOT_IMPLEMENTED(SetSize, ULARGE_INTEGER)
  NOT_IMPLEMENTED(CopyTo, IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*)
  NOT_IMPLEMENTED(Commit, DWORD)
  NOT_IMPLEMENTED(Revert)
  NOT_IMPLEMENTED(LockRegion, ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
  NOT_IMPLEMENTED(UnlockRegion, ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
  NOT_IMPLEMENTED(Stat, STATSTG*, DWORD)
  NOT_IMPLEMENTED(Clone, IStream**)
#undef NOT_IMPLEMENTED

 private:
  bool FGiven = false;
};

TEST_F(WebView2WebView, ABodyThatBreaksOffIsNotForwarded) {
  MakeView(true);
  TBrokenStream body;
  Args.emplace_back(std::make_unique<TFakeResourceArgs>());
  TFakeResourceArgs& post = *Args.back();
  post.Request.Uri = L"https://api.example.com/items";
  post.Request.Method = L"POST";
  post.Request.Content = &body;
  post.Request.Headers.Headers = {{L"Origin", kApp}, {L"Sec-Fetch-Mode", L"cors"}};
  post.Deferral = &ResourceDeferral;
  Raise<ICoreWebView2WebResourceRequestedEventHandler>("WebResourceRequested", &post);
  EXPECT_TRUE(Forwarded.empty());
  EXPECT_EQ(post.Deferrals, 0);
  EXPECT_EQ(post.Response, nullptr);
}

TEST_F(WebView2WebView, WithoutTheSwitchOtherOriginsAreTheWebsOwn) {
  EXPECT_EQ(Serve(L"https://api.example.com/items", {{L"Origin", kApp}}), nullptr);
  EXPECT_EQ(Serve(L"https://api.example.com/items",
                  {{L"Origin", kApp}, {L"Access-Control-Request-Method", L"PUT"}}, L"OPTIONS"),
            nullptr);
  EXPECT_TRUE(Forwarded.empty());
}

// Only the page's own render process is the page's failure; every other process that ends is
// WebView2's to bring back, and the page keeps its state.
TEST_F(WebView2WebView, ProcessFailuresByKind) {
  struct TCase {
    COREWEBVIEW2_PROCESS_FAILED_KIND Kind;
    bool PageFailed;
    bool Responsive;
  };
  const TCase cases[] = {
      {COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED, false, true},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED, false, true},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED, false, true},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED, false, true},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED, false, true},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED, true, false},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE, true, false},
      // The web view is closed for good: nothing to reload, and nobody answers a close query.
      {COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED, false, false},
  };
  for (const TCase& c : cases) {
    SetUp();
    Events.Calls.clear();
    TFakeProcessFailedArgs args;
    args.Kind = c.Kind;
    Raise<ICoreWebView2ProcessFailedEventHandler>("ProcessFailed", &args);
    EXPECT_EQ(Events.Calls.size(), c.PageFailed ? 1u : 0u) << c.Kind;
    EXPECT_EQ(View->IsResponsive(), c.Responsive) << c.Kind;
    // A navigation brings a failed page back.
    Raise<ICoreWebView2NavigationStartingEventHandler>(
        "NavigationStarting", static_cast<ICoreWebView2NavigationStartingEventArgs*>(nullptr));
    View.reset();
  }
}

TEST_F(WebView2WebView, NavigationTitleAndProcessEventsReachTheCore) {
  Raise<ICoreWebView2NavigationStartingEventHandler>(
      "NavigationStarting", static_cast<ICoreWebView2NavigationStartingEventArgs*>(nullptr));
  Raise<ICoreWebView2DOMContentLoadedEventHandler>("DOMContentLoaded",
                                                   static_cast<IUnknown*>(nullptr));
  Raise<ICoreWebView2NavigationCompletedEventHandler>(
      "NavigationCompleted", static_cast<ICoreWebView2NavigationCompletedEventArgs*>(nullptr));
  Raise<ICoreWebView2DocumentTitleChangedEventHandler>("DocumentTitleChanged",
                                                       static_cast<IUnknown*>(nullptr));
  EXPECT_TRUE(View->IsResponsive());
  TFakeProcessFailedArgs failed;
  Raise<ICoreWebView2ProcessFailedEventHandler>("ProcessFailed", &failed);
  EXPECT_FALSE(View->IsResponsive());
  EXPECT_EQ(Events.Calls,
            (std::vector<std::string>{"NavigationStarting", "DOMContentLoaded",
                                      "NavigationCompleted", "TitleChanged", "ProcessFailed"}));
}

TEST_F(WebView2WebView, OperationsPassWideStringsAndSettings) {
  View->AddScriptToExecuteOnDocumentCreated("window.vlx = {name: '\xC3\xA9'};");
  View->Navigate("file:///index.html");
  View->Navigate("https://example.com/");
  View->ExecuteScript("go()");
  View->NavigateToString("<p>\xE2\x9C\x93</p>");
  View->Reload();
  EXPECT_EQ(WebView.Scripts.back(), L"window.vlx = {name: '\u00e9'};");
  EXPECT_EQ(WebView.Navigated, (std::vector<std::wstring>{L"https://velloc.localhost/index.html",
                                                          L"https://example.com/"}));
  EXPECT_EQ(WebView.Executed, std::vector<std::wstring>{L"go()"});
  EXPECT_EQ(WebView.NavigatedHtml, std::vector<std::wstring>{L"<p>\u2713</p>"});
  EXPECT_EQ(WebView.Reloads, 1);

  WebView.Title = L"Caf\u00e9";
  EXPECT_EQ(View->DocumentTitle(), "Caf\xC3\xA9");
  View->SetZoomFactor(1.5);
  EXPECT_DOUBLE_EQ(View->ZoomFactor(), 1.5);
  View->MoveFocus();
  EXPECT_EQ(Controller.Focus, 1);
  View->SetVisible(false);
  EXPECT_FALSE(View->IsVisible());

  // The base settings are applied; the later interfaces are missing here, as on an older runtime.
  platform::TWebViewSettings settings;
  settings.AreDevToolsEnabled = true;
  settings.IsStatusBarEnabled = false;
  View->ApplySettings(settings);
  EXPECT_EQ(WebView.Settings.Values["AreDevToolsEnabled"], TRUE);
  EXPECT_EQ(WebView.Settings.Values["IsStatusBarEnabled"], FALSE);
  EXPECT_EQ(WebView.Settings.Values["IsScriptEnabled"], TRUE);
  EXPECT_EQ(WebView.Settings.Values.count("AreHostObjectsAllowed"), 0u);
}

TEST_F(WebView2WebView, AnExceptionOfTheCoreEndsInTheHandler) {
  class TThrowingEvents final : public TRecordingEvents {
   public:
    void BrowserNavigationStarting() override { throw std::runtime_error("core failed"); }
  };
  TThrowingEvents throwing;
  TFakeCoreWebView2 webView;
  TFakeController controller{webView};
  {
    TWebView2WebView view(&Environment, &controller, throwing);
    auto* handler =
        webView.Handler<ICoreWebView2NavigationStartingEventHandler>("NavigationStarting");
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->Invoke(&webView, nullptr), E_FAIL);
  }
  EXPECT_EQ(webView.References, 1u);
}

TEST(WebView2BodyStream, ReadsSeeksAndClonesTheBodyItOwns) {
  auto body = std::make_unique<std::vector<std::uint8_t>>();
  for (int i = 0; i < 10; ++i)
    body->push_back(static_cast<std::uint8_t>('0' + i));
  IStream* stream = platform::webview2::TWebView2BodyStream::Create(std::move(body));

  char buffer[8] = {};
  ULONG read = 0;
  EXPECT_EQ(stream->Read(buffer, 4, &read), S_OK);
  EXPECT_EQ(std::string(buffer, read), "0123");
  EXPECT_EQ(stream->Read(buffer, 8, &read), S_FALSE);
  EXPECT_EQ(std::string(buffer, read), "456789");
  EXPECT_EQ(stream->Read(buffer, 8, &read), S_FALSE);
  EXPECT_EQ(read, 0u);

  struct TSeek {
    LONGLONG Move;
    DWORD Origin;
    HRESULT Result;
    ULONGLONG Position;
  };
  const TSeek seeks[] = {
      {2, STREAM_SEEK_SET, S_OK, 2},    {3, STREAM_SEEK_CUR, S_OK, 5},
      {-1, STREAM_SEEK_END, S_OK, 9},   {-10, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 9},
      {0, 7, STG_E_INVALIDFUNCTION, 9}, {20, STREAM_SEEK_SET, S_OK, 20},
  };
  for (const TSeek& seek : seeks) {
    LARGE_INTEGER move;
    move.QuadPart = seek.Move;
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(move, seek.Origin, &position), seek.Result) << seek.Move;
    LARGE_INTEGER none{};
    stream->Seek(none, STREAM_SEEK_CUR, &position);
    EXPECT_EQ(position.QuadPart, seek.Position) << seek.Move;
  }
  // Past the end reads nothing.
  EXPECT_EQ(stream->Read(buffer, 1, &read), S_FALSE);
  EXPECT_EQ(read, 0u);

  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 10u);
  ULONG written = 1;
  EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
  EXPECT_EQ(written, 0u);

  // A clone has its own position over the same bytes, which outlive the original stream.
  LARGE_INTEGER seven;
  seven.QuadPart = 7;
  stream->Seek(seven, STREAM_SEEK_SET, nullptr);
  IStream* clone = nullptr;
  ASSERT_EQ(stream->Clone(&clone), S_OK);
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_EQ(clone->Read(buffer, 3, &read), S_OK);
  EXPECT_EQ(std::string(buffer, read), "789");
  EXPECT_EQ(clone->Release(), 0u);
}

TEST(WebView2WebViewCreate, CreatesTheControllerThenRaisesAfterCreated) {
  TFakeCoreWebView2 webView;
  TFakeController controller{webView};
  TFakeEnvironment environment;
  TRecordingEvents events;
  std::unique_ptr<TWebView2WebView> created;
  HRESULT result = E_PENDING;
  ASSERT_EQ(TWebView2WebView::Create(&environment, nullptr, events,
                                     [&](std::unique_ptr<TWebView2WebView> view, HRESULT hr) {
                                       created = std::move(view);
                                       result = hr;
                                       return created != nullptr;
                                     }),
            S_OK);
  ASSERT_NE(environment.PendingController, nullptr);
  EXPECT_TRUE(events.Calls.empty());
  environment.PendingController->Invoke(S_OK, &controller);
  environment.PendingController->Release();
  EXPECT_EQ(result, S_OK);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(events.Calls, std::vector<std::string>{"AfterCreated"});
  created.reset();
  EXPECT_EQ(controller.References, 1u);
  EXPECT_EQ(environment.References, 1u);

  // A failed creation reports its error and no view.
  ASSERT_EQ(TWebView2WebView::Create(&environment, nullptr, events,
                                     [&](std::unique_ptr<TWebView2WebView> view, HRESULT hr) {
                                       created = std::move(view);
                                       result = hr;
                                       return created != nullptr;
                                     }),
            S_OK);
  environment.PendingController->Invoke(E_ABORT, nullptr);
  environment.PendingController->Release();
  EXPECT_EQ(result, E_ABORT);
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(environment.References, 1u);
}

// The window closed while WebView2 was still making the controller: the browser form and its
// events are gone when the controller arrives. It is closed again, and nothing is raised on
// the form that no longer exists.
TEST(WebView2Factory, AControllerThatArrivesAfterItsFormIsClosedAndRaisesNothing) {
  TFakeCoreWebView2 webView;
  TFakeController controller{webView};
  TFakeEnvironment environment;
  platform::webview2::TWebView2Factory factory([&environment] { return &environment; });
  // In the runtime the form's events go with the form; here they stay, to see that nothing
  // reaches them.
  TRecordingEvents events;
  auto view = factory.CreateWebView(nullptr, events);
  ASSERT_NE(view, nullptr);
  ASSERT_NE(environment.PendingController, nullptr);
  view.reset();
  environment.PendingController->Invoke(S_OK, &controller);
  environment.PendingController->Release();
  EXPECT_TRUE(events.Calls.empty());
  EXPECT_EQ(controller.Closed, 1);
  EXPECT_EQ(controller.References, 1u);
  EXPECT_EQ(webView.References, 1u);
  EXPECT_TRUE(webView.Events.empty());

  // While the form lives, the view arrives and the form hears of it.
  TRecordingEvents kept;
  auto live = factory.CreateWebView(nullptr, kept);
  environment.PendingController->Invoke(S_OK, &controller);
  environment.PendingController->Release();
  EXPECT_EQ(kept.Calls, std::vector<std::string>{"AfterCreated"});
  factory.ParentWindowMoved(*live);
  EXPECT_EQ(controller.PositionChanged, 1);
  live.reset();
  EXPECT_EQ(controller.Closed, 2);
}

// A web server of one answer on 127.0.0.1, for the forwarder that makes requests again.
class TOneAnswerServer {
 public:
  explicit TOneAnswerServer(std::string answer) : FAnswer(std::move(answer)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    Port = ntohs(address.sin_port);
    listen(FListener, 1);
    FThread = std::thread([this] { Serve(); });
  }
  ~TOneAnswerServer() {
    closesocket(FListener);
    if (FThread.joinable()) FThread.join();
    WSACleanup();
  }

  int Port = 0;
  std::string Request;  // as it arrived, head and body

 private:
  void Serve() {
    const SOCKET client = accept(FListener, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char buffer[4096];
    std::size_t wanted = std::string::npos;
    while (wanted == std::string::npos || Request.size() < wanted) {
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      Request.append(buffer, static_cast<std::size_t>(got));
      const std::size_t head = Request.find("\r\n\r\n");
      if (head == std::string::npos) continue;
      std::size_t length = 0;
      for (const char* name : {"Content-Length: ", "content-length: "}) {
        const std::size_t at = Request.find(name);
        if (at != std::string::npos && at < head) length = std::stoul(Request.substr(at + 16));
      }
      wanted = head + 4 + length;
    }
    send(client, FAnswer.data(), static_cast<int>(FAnswer.size()), 0);
    shutdown(client, SD_BOTH);
    closesocket(client);
  }

  std::string FAnswer;
  SOCKET FListener = INVALID_SOCKET;
  std::thread FThread;
};

TEST(WebView2WinHttpForwarder, MakesTheRequestAgainAndAnswersOnTheUiThread) {
  TOneAnswerServer server(
      "HTTP/1.1 201 Created\r\nContent-Type: text/plain\r\nX-Server: yes\r\n"
      "Set-Cookie: a=b\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
  platform::webview2::TWinHttpForwarder forwarder;
  TForwardRequest request;
  request.Method = "POST";
  request.Uri = "http://127.0.0.1:" + std::to_string(server.Port) + "/p?q=1#fragment";
  request.Headers = {{"X-Token", "t\xC3\xA9"}, {"Content-Type", "text/plain"}};
  request.Body = {'d', 'a', 't', 'a'};
  std::optional<std::optional<TForwardResponse>> answer;
  const DWORD uiThread = GetCurrentThreadId();
  DWORD answeredOn = 0;
  forwarder.Forwarder()(request, [&](std::optional<TForwardResponse> response) {
    answer = std::move(response);
    answeredOn = GetCurrentThreadId();
  });
  for (const ULONGLONG deadline = GetTickCount64() + 20000;
       !answer && GetTickCount64() < deadline;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    Sleep(10);
  }
  ASSERT_TRUE(answer.has_value());
  ASSERT_TRUE(answer->has_value());
  EXPECT_EQ(answeredOn, uiThread);
  const TForwardResponse& response = **answer;
  EXPECT_EQ(response.StatusCode, 201);
  EXPECT_EQ(response.ReasonPhrase, "Created");
  EXPECT_EQ(std::string(response.Body.begin(), response.Body.end()), "hello");
  EXPECT_EQ(platform::webview2::HeaderValue(response.Headers, "x-server"), "yes");
  const std::string& sent = server.Request;
  EXPECT_EQ(sent.rfind("POST /p?q=1 HTTP/1.1\r\n", 0), 0u) << sent;
  EXPECT_NE(sent.find("X-Token: t\xC3\xA9\r\n"), std::string::npos) << sent;
  EXPECT_NE(sent.find("\r\n\r\ndata"), std::string::npos) << sent;
  EXPECT_EQ(sent.find("Cookie"), std::string::npos) << sent;

  // Nobody listening: no answer, the page's own request then fails as it would.
  const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  TForwardRequest nobody;
  nobody.Uri = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/again";
  EXPECT_FALSE(forwarder.Send(nobody).has_value());
}

// Redirects are followed one request at a time: the page's Authorization stays with its own
// origin, a POST answered with 302 goes on as a GET without its body, and a redirect to
// anything but a web address ends the read.
TEST(WebView2WinHttpForwarder, FollowsRedirectsHopByHop) {
  TOneAnswerServer b("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nat b");
  TOneAnswerServer a("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(b.Port) +
                     "/b?x\r\nContent-Length: 3\r\nConnection: close\r\n\r\nfar");
  platform::webview2::TWinHttpForwarder forwarder;
  TForwardRequest request;
  request.Method = "POST";
  request.Uri = "http://127.0.0.1:" + std::to_string(a.Port) + "/a";
  request.Headers = {
      {"Authorization", "Bearer t"}, {"X-Token", "kept"}, {"Content-Type", "application/json"}};
  request.Body = {'{', '}'};
  const std::optional<TForwardResponse> response = forwarder.Send(request);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->StatusCode, 200);
  EXPECT_EQ(std::string(response->Body.begin(), response->Body.end()), "at b");
  EXPECT_EQ(a.Request.rfind("POST /a HTTP/1.1\r\n", 0), 0u) << a.Request;
  EXPECT_NE(a.Request.find("Authorization: Bearer t\r\n"), std::string::npos) << a.Request;
  EXPECT_EQ(b.Request.rfind("GET /b?x HTTP/1.1\r\n", 0), 0u) << b.Request;
  EXPECT_NE(b.Request.find("X-Token: kept\r\n"), std::string::npos) << b.Request;
  for (const char* gone : {"Authorization", "Content-Type", "{}"})
    EXPECT_EQ(b.Request.find(gone), std::string::npos) << gone << " in " << b.Request;

  TOneAnswerServer local(
      "HTTP/1.1 302 Found\r\nLocation: file:///C:/Windows/win.ini\r\nContent-Length: 0\r\n"
      "Connection: close\r\n\r\n");
  TForwardRequest away;
  away.Uri = "http://127.0.0.1:" + std::to_string(local.Port) + "/";
  EXPECT_FALSE(forwarder.Send(away).has_value());
}

}  // namespace
}  // namespace velloc::test::webview2
