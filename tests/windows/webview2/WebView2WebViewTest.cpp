// The WebView2 backend against fakes of our declared interfaces: the COM plumbing (references,
// event tokens, streams, wide strings) and the routing to IWebViewEvents.
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "FakeWebView2.h"
#include "platform/webview2/WebView2BodyStream.h"
#include "platform/webview2/WebView2Factory.h"
#include "platform/webview2/WebView2WebView.h"

namespace velloc::test::webview2 {

LPWSTR CoString(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

namespace {

using platform::TPermissionDecision;
using platform::TPermissionKind;
using platform::TPermissionState;
using platform::TWebMessageEvent;
using platform::TWebResourceResponse;
using platform::webview2::TWebView2WebView;

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
  TPermissionDecision BrowserPermissionRequested(std::string_view, TPermissionKind) override {
    return Decision;
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
  void SetUp() override {
    View = std::make_unique<TWebView2WebView>(
        &Environment, &Controller, Events,
        [this](const std::string& question) {
          Questions.push_back(question);
          return AskAnswer;
        },
        [this](std::function<void()> task) { Posted.push_back(std::move(task)); });
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
  TFakeResponse* Serve(const std::wstring& uri, const std::wstring& range = {}) {
    Args.emplace_back(std::make_unique<TFakeResourceArgs>());
    Args.back()->Request.Uri = uri;
    if (!range.empty()) Args.back()->Request.Headers.Values[L"Range"] = range;
    Raise<ICoreWebView2WebResourceRequestedEventHandler>("WebResourceRequested", Args.back().get());
    return static_cast<TFakeResponse*>(Args.back()->Response);
  }

  TFakeCoreWebView2 WebView;
  TFakeController Controller{WebView};
  TFakeEnvironment Environment;
  TRecordingEvents Events;
  std::vector<std::string> Questions;
  bool AskAnswer = true;
  std::vector<std::function<void()>> Posted;
  std::vector<std::unique_ptr<TFakeResourceArgs>> Args;
  std::unique_ptr<TWebView2WebView> View;
};

TEST_F(WebView2WebView, RegistersEveryEventAndRemovesItsTokensWhenDestroyed) {
  EXPECT_EQ(WebView.Filters, std::vector<std::wstring>{L"*|0"});
  for (const char* event : {"WebResourceRequested", "WebMessageReceived", "NavigationStarting",
                            "NavigationCompleted", "DocumentTitleChanged", "ProcessFailed",
                            "NewWindowRequested", "PermissionRequested", "DOMContentLoaded"})
    EXPECT_NE(WebView.Events.find(event), WebView.Events.end()) << event;
  const std::size_t registered = WebView.Events.size();

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

TEST_F(WebView2WebView, ServesApplicationPagesFromMemoryAndLeavesOthersAlone) {
  Events.Body = std::string("<h1>Hi \xC3\xA9t\xC3\xA9</h1>");
  TFakeResponse* page = Serve(L"file:///index.html");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Status, 200);
  EXPECT_EQ(page->Reason, L"OK");
  EXPECT_EQ(page->Headers, L"Content-Type: text/html; charset=utf-8");
  EXPECT_EQ(StreamText(page->Stream), *Events.Body);

  // Wide URIs reach the core as UTF-8.
  Serve(L"file:///\u00e9t\u00e9/page.html");
  EXPECT_EQ(Events.Requested.back(), "file:///\xC3\xA9t\xC3\xA9/page.html");

  const std::size_t asked = Events.Requested.size();
  EXPECT_EQ(Serve(L"https://example.com/app.js"), nullptr);
  EXPECT_EQ(Events.Requested.size(), asked);

  // No answer from the core: the web view fails the load its own way.
  Events.Body.reset();
  EXPECT_EQ(Serve(L"file:///missing.html"), nullptr);

  // An empty body is still an answer.
  Events.Body = std::string();
  TFakeResponse* empty = Serve(L"file:///empty.txt");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(StreamText(empty->Stream), "");
}

// Package entries answer one byte range (the core decides; the backend passes Range in and the
// status and headers out).
TEST_F(WebView2WebView, AnswersARangeOfAPackageEntry) {
  Events.Body = std::string("0123456789");
  Events.AcceptsRanges = true;
  TFakeResponse* part = Serve(L"file:///clip.mp4", L"bytes=2-4");
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->Status, 206);
  EXPECT_EQ(part->Reason, L"Partial Content");
  EXPECT_EQ(part->Headers,
            L"Content-Type: text/html; charset=utf-8\r\nAccept-Ranges: bytes\r\n"
            L"Content-Range: bytes 2-4/10");
  EXPECT_EQ(StreamText(part->Stream), "234");

  TFakeResponse* beyond = Serve(L"file:///clip.mp4", L"bytes=10-");
  ASSERT_NE(beyond, nullptr);
  EXPECT_EQ(beyond->Status, 416);
  EXPECT_EQ(StreamText(beyond->Stream), "");

  TFakeResponse* whole = Serve(L"file:///clip.mp4");
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->Status, 200);
  EXPECT_EQ(StreamText(whole->Stream), "0123456789");
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
  TFakeResponse* response = Serve(L"file:///big.bin");
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(StreamText(response->Stream), content);
  Args.clear();
  Environment.Responses.clear();
  DeleteFileW(path.c_str());

  // A file that cannot be opened gives no response.
  EXPECT_EQ(Serve(L"file:///gone.bin"), nullptr);
}

TEST_F(WebView2WebView, RoutesMessagesOfApplicationPagesAndAnswersOnce) {
  TFakeMessageArgs message;
  message.Source = L"file:///sub/frame.html";
  message.Json = L"{\"id\":30001,\"data\":\"\u00e9\"}";
  Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
  ASSERT_EQ(Events.Messages.size(), 1u);
  EXPECT_EQ(Events.Messages[0].first, "{\"id\":30001,\"data\":\"\xC3\xA9\"}");
  EXPECT_EQ(Events.Messages[0].second, "file:///sub/frame.html");

  auto reply = Events.Reply;
  reply("{\"ok\":\"\xC3\xA9\"}");
  reply("{\"again\":true}");
  Events.Reply("{\"copy\":true}");
  EXPECT_EQ(WebView.Posted, std::vector<std::wstring>{L"{\"ok\":\"\u00e9\"}"});

  // A page that is not the application's posts nothing to the bridge.
  WebView.Source = L"https://example.com/";
  Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
  EXPECT_EQ(Events.Messages.size(), 1u);
  EXPECT_EQ(message.References, 1u);
}

TEST_F(WebView2WebView, AReplyKeptBeyondTheViewIsDropped) {
  TFakeMessageArgs message;
  message.Source = L"file:///index.html";
  message.Json = L"{}";
  Raise<ICoreWebView2WebMessageReceivedEventHandler>("WebMessageReceived", &message);
  auto reply = Events.Reply;
  View.reset();
  reply("{\"late\":true}");
  EXPECT_TRUE(WebView.Posted.empty());
}

TEST_F(WebView2WebView, NewWindowRequestsGoToTheCoreWithTheOpener) {
  struct TCase {
    bool Handle;
    BOOL Expected;
  };
  for (const TCase& c : {TCase{true, TRUE}, TCase{false, FALSE}}) {
    Events.HandleNewWindow = c.Handle;
    TFakeNewWindowArgs args;
    args.Uri = L"file:///other.html";
    Raise<ICoreWebView2NewWindowRequestedEventHandler>("NewWindowRequested", &args);
    EXPECT_EQ(args.Handled, c.Expected);
    EXPECT_EQ(Events.NewWindow.first, "file:///other.html");
    EXPECT_EQ(Events.NewWindow.second, "file:///index.html");
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
    args.Uri = L"file:///index.html";
    Raise<ICoreWebView2PermissionRequestedEventHandler>("PermissionRequested", &args);
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
  args.Uri = L"file:///index.html";
  Raise<ICoreWebView2PermissionRequestedEventHandler>("PermissionRequested", &args);
  View.reset();
  RunPosted();
  EXPECT_TRUE(Questions.empty());
  EXPECT_EQ(args.State, COREWEBVIEW2_PERMISSION_STATE_DENY);
  EXPECT_EQ(args.Deferral.Completed, 1);
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
  View->ExecuteScript("go()");
  View->NavigateToString("<p>\xE2\x9C\x93</p>");
  View->Reload();
  EXPECT_EQ(WebView.Scripts, std::vector<std::wstring>{L"window.vlx = {name: '\u00e9'};"});
  EXPECT_EQ(WebView.Navigated, std::vector<std::wstring>{L"file:///index.html"});
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

}  // namespace
}  // namespace velloc::test::webview2
