// The core's main and browser forms on the WebView2 backend, over fakes of WebView2 and of the
// windows: what the user sees when the controller cannot be made, and when the page's renderer
// stops answering.
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "FakeWebView2.h"
#include "browser/MainForm.h"
#include "platform/fake/Fakes.h"
#include "platform/webview2/WebView2Factory.h"
#include "startup/LocalizedMessages.h"

namespace velloc::test::webview2 {
namespace {

using platform::webview2::TWebView2Factory;

// The browser form's host over the factory, as the Win32 form view has it, without windows.
class TFactoryFormView final : public platform::fake::TFakeBrowserFormView {
 public:
  explicit TFactoryFormView(TWebView2Factory& factory) : FFactory(factory) {}
  bool CreateBrowser(platform::IWebViewEvents& events) override {
    ++CreateRequests;
    if (FView) return false;
    FView = FFactory.CreateWebView(nullptr, events);
    return FView != nullptr;
  }
  platform::IWebView* Browser() const override { return FView.get(); }
  void DestroyBrowser() override { FView.reset(); }

 private:
  TWebView2Factory& FFactory;
  std::unique_ptr<platform::IWebView> FView;
};

// The main window of an application whose web view WebView2 makes.
class WebView2Window : public ::testing::Test {
 protected:
  void Create() {
    Ini.LoadFromText("[App]\n");
    browser::TMainFormStartup startup{nullptr, &Ini, "demo.app", "Demo", "app", "index.html"};
    startup.Dialogs = &Dialogs;
    Form = std::make_unique<browser::TMainForm>(Window, View, Loader, System, std::move(startup));
    Form->FormCreate();
  }
  // WebView2 answers the controller request.
  void Deliver(HRESULT result, ICoreWebView2Controller* controller) {
    ASSERT_NE(Environment.PendingController, nullptr);
    Environment.PendingController->Invoke(result, controller);
    Environment.PendingController->Release();
    Environment.PendingController = nullptr;
  }
  void RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
    TFakeProcessFailedArgs args;
    args.Kind = kind;
    auto* handler = WebView.Handler<ICoreWebView2ProcessFailedEventHandler>("ProcessFailed");
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->Invoke(&WebView, &args), S_OK);
  }

  TFakeCoreWebView2 WebView;
  TFakeController Controller{WebView};
  TFakeEnvironment Environment;
  TWebView2Factory Factory{[this] { return &Environment; }};
  config::TProjectIni Ini;
  platform::fake::TFakeMainWindow Window;
  TFactoryFormView View{Factory};
  platform::fake::TFakeWebViewLoader Loader;
  platform::fake::TFakeSystem System;
  platform::fake::TFakeDialogs Dialogs;
  std::unique_ptr<browser::TMainForm> Form;
};

// Whichever way the controller fails, the log says how with its HRESULT, the user gets the
// start-up error in their language once the event has returned, and the window closes: no
// empty window that says nothing.
TEST_F(WebView2Window, AControllerThatCannotBeMadeShowsTheStartupErrorAndEnds) {
  struct TCase {
    const char* Name;
    HRESULT Refused;    // by CreateCoreWebView2Controller itself
    HRESULT Completed;  // in its completion
    HRESULT NoWebView;  // get_CoreWebView2 of the controller delivered
    const char* Logged;
  };
  const TCase cases[] = {
      {"refused", E_OUTOFMEMORY, S_OK, S_OK,
       "could not be created: WebView2 could not start creating the controller: 0x8007000E"},
      {"failed", S_OK, E_ACCESSDENIED, S_OK,
       "could not be created: WebView2 did not create the controller: 0x80070005"},
      {"without its web view", S_OK, S_OK, E_NOINTERFACE,
       "could not be created: WebView2 did not create the controller: 0x80004002"},
  };
  for (const TCase& c : cases) {
    Form.reset();
    Dialogs.Calls.clear();
    Window.CloseRequests = 0;
    Environment.ControllerResult = c.Refused;
    Controller.CoreWebView2Result = c.NoWebView;
    const int closedBefore = Controller.Closed;
    ::testing::internal::CaptureStderr();
    Create();
    if (SUCCEEDED(c.Refused)) Deliver(c.Completed, SUCCEEDED(c.Completed) ? &Controller : nullptr);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(c.Logged), std::string::npos) << c.Name << ": " << log;
    EXPECT_TRUE(Dialogs.Calls.empty()) << c.Name << ": shown inside the WebView2 event";
    ASSERT_TRUE(View.Tick) << c.Name;
    auto tick = View.Tick;
    tick();
    ASSERT_EQ(Dialogs.Calls.size(), 1u) << c.Name;
    EXPECT_EQ(Dialogs.Calls[0].Message, startup::GetLocalizedMessage(startup::msg::RuntimeRequired))
        << c.Name;
    EXPECT_NE(Dialogs.Calls[0].Message.find("Microsoft WebView2"), std::string::npos);
    EXPECT_EQ(Dialogs.Calls[0].Title, startup::GetLocalizedMessage(startup::msg::ErrorTitle));
    EXPECT_EQ(Window.CloseRequests, 1) << c.Name;
    EXPECT_TRUE(Form->FormCloseQuery()) << c.Name;
    // A controller without its web view is not kept open.
    EXPECT_EQ(Controller.Closed - closedBefore, FAILED(c.NoWebView) ? 1 : 0) << c.Name;
  }
  Form.reset();
  EXPECT_EQ(Controller.References, 1u);
  EXPECT_EQ(Environment.References, 1u);
}

// A renderer that does not answer gets the question and keeps its page; the question goes by
// itself once the page answers again; "Reload" reloads; an end of the renderer reloads once and
// then shows the error page.
TEST_F(WebView2Window, AnUnresponsivePageIsAskedAboutNotReloaded) {
  Create();
  Deliver(S_OK, &Controller);
  ASSERT_EQ(WebView.Navigated, std::vector<std::wstring>{L"https://velloc.localhost/index.html"});

  RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE);
  ASSERT_TRUE(View.Question);
  EXPECT_EQ(View.Question->WaitCaption, "Wait");
  EXPECT_EQ(WebView.Reloads, 0);
  EXPECT_TRUE(Form->FormCloseQuery()) << "a page that does not answer was asked to close";
  RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE);
  EXPECT_EQ(View.QuestionsShown, 1);
  WebView.FinishScript(S_OK);  // it answers again
  EXPECT_FALSE(View.Question);
  EXPECT_EQ(View.QuestionsClosed, 1);
  EXPECT_EQ(WebView.Reloads, 0);

  RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE);
  ASSERT_TRUE(View.Question);
  View.AnswerQuestion(true);
  EXPECT_EQ(WebView.Reloads, 1);

  RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED);
  EXPECT_EQ(WebView.Reloads, 2);
  RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED);
  EXPECT_EQ(WebView.Reloads, 2);
  EXPECT_EQ(WebView.NavigatedHtml.size(), 1u);
  Form.reset();
}

}  // namespace
}  // namespace velloc::test::webview2
