// The Win32 browser form without a real web view: layout, progress bar, creation timer and the
// seam through which a backend brings its web view.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/Win32BrowserFormView.h"
#include "platform/win32/Win32MainWindow.h"

// The progress bar's styles; after windows.h, which the headers above bring.
#include <commctrl.h>

namespace velloc::platform::win32 {
namespace {

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

RECT ClientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

class NullWebView final : public IWebView {
 public:
  void AddScriptToExecuteOnDocumentCreated(std::string_view) override {}
  void ApplySettings(const TWebViewSettings&) override {}
  void Navigate(std::string_view) override {}
  void ExecuteScript(std::string_view) override {}
  void ExecuteScriptInApplicationDocument(std::string_view) override {}
  std::string DocumentUri() const override { return {}; }
  std::string DocumentTitle() const override { return {}; }
  double ZoomFactor() const override { return 1.0; }
  void SetZoomFactor(double) override {}
  bool IsVisible() const override { return true; }
  void MoveFocus() override { ++Focused; }
  void Reload() override {}
  void NavigateToString(std::string_view) override {}
  bool IsResponsive() const override { return true; }
  int Focused = 0;
};

class RecordingFactory final : public IWin32WebViewFactory {
 public:
  std::unique_ptr<IWebView> CreateWebView(HWND host, IWebViewEvents& events) override {
    Host = host;
    if (!Available) return nullptr;
    events.BrowserAfterCreated();
    return std::make_unique<NullWebView>();
  }
  void FitWebView(IWebView&, const RECT& client) override { Fits.push_back(client); }
  void ParentWindowMoved(IWebView&) override { ++Moves; }
  bool Available = true;
  int Moves = 0;
  HWND Host = nullptr;
  std::vector<RECT> Fits;
};

class CountingEvents final : public IWebViewEvents {
 public:
  void BrowserAfterCreated() override { ++Created; }
  void BrowserCreationFailed(std::string_view) override {}
  void BrowserResponsivenessChanged(bool) override {}
  std::optional<TWebResourceResponse> BrowserWebResourceRequested(std::string_view) override {
    return std::nullopt;
  }
  void BrowserWebMessageReceived(const TWebMessageEvent&) override {}
  void BrowserDocumentTitleChanged() override {}
  void BrowserNavigationStarting() override {}
  void BrowserNavigationCompleted() override {}
  void BrowserDOMContentLoaded() override {}
  void BrowserProcessFailed() override {}
  bool BrowserNewWindowRequested(std::string_view, std::string_view) override { return false; }
  TPermissionDecision BrowserPermissionRequested(std::string_view, TPermissionKind) override {
    return {};
  }
  void BrowserPermissionAnswered(std::string_view, TPermissionKind, bool) override {}
  int Created = 0;
};

class Win32BrowserFormViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Window.SetQuitOnClose(false);
    Window.SetBounds({50, 50, 640, 480});
    Window.Show();
    PumpMessages();
  }
  TWin32MainWindow Window;
  RecordingFactory Factory;
  CountingEvents Events;
};

TEST_F(Win32BrowserFormViewTest, FormFillsTheWindowAndTheBarTakesFourPixelsAtTheBottom) {
  TWin32BrowserFormView view(Window, Factory);
  const RECT window = ClientRect(Window.Handle());
  RECT form = ClientRect(view.Handle());
  EXPECT_EQ(form.right, window.right);
  EXPECT_EQ(form.bottom, window.bottom);
  EXPECT_FALSE(view.ProgressBarVisible());
  EXPECT_EQ(ClientRect(view.BrowserWindow()).bottom, form.bottom);

  view.SetProgressBarVisible(true);
  EXPECT_TRUE(view.ProgressBarVisible());
  const int bar = MulDiv(4, static_cast<int>(GetDpiForWindow(view.Handle())), 96);
  EXPECT_EQ(ClientRect(view.BrowserWindow()).bottom, form.bottom - bar);
  RECT barRect{};
  GetWindowRect(view.ProgressBar(), &barRect);
  EXPECT_EQ(barRect.bottom - barRect.top, bar);
  EXPECT_EQ(barRect.right - barRect.left, form.right);
  EXPECT_NE(GetWindowLongPtrW(view.ProgressBar(), GWL_STYLE) & PBS_MARQUEE, 0);

  // The layout follows the main window.
  Window.SetBounds({50, 50, 800, 600});
  form = ClientRect(view.Handle());
  EXPECT_EQ(form.right, ClientRect(Window.Handle()).right);
  EXPECT_EQ(ClientRect(view.BrowserWindow()).bottom, form.bottom - bar);
  view.SetProgressBarVisible(false);
  EXPECT_EQ(ClientRect(view.BrowserWindow()).bottom, form.bottom);
}

TEST_F(Win32BrowserFormViewTest, WebViewComesFromTheBackendOnceAndFollowsItsHost) {
  TWin32BrowserFormView view(Window, Factory);
  EXPECT_EQ(view.Browser(), nullptr);
  ASSERT_TRUE(view.CreateBrowser(Events));
  EXPECT_EQ(Factory.Host, view.BrowserWindow());
  EXPECT_EQ(Events.Created, 1);
  ASSERT_NE(view.Browser(), nullptr);
  EXPECT_FALSE(view.CreateBrowser(Events));  // one web view only
  EXPECT_EQ(Events.Created, 1);

  Factory.Fits.clear();
  Window.SetBounds({50, 50, 700, 500});
  ASSERT_FALSE(Factory.Fits.empty());
  const RECT host = ClientRect(view.BrowserWindow());
  EXPECT_EQ(Factory.Fits.back().right, host.right);
  EXPECT_EQ(Factory.Fits.back().bottom, host.bottom);
  Factory.Fits.clear();
  view.FillBrowserWindow();
  EXPECT_EQ(Factory.Fits.size(), 1u);

  EXPECT_TRUE(view.BrowserWindowCanFocus());
  view.FocusBrowserWindow();
  EXPECT_GE(static_cast<NullWebView*>(view.Browser())->Focused, 1);
  view.DestroyBrowser();
  EXPECT_EQ(view.Browser(), nullptr);
}

TEST_F(Win32BrowserFormViewTest, MovingTheMainWindowTellsTheWebView) {
  TWin32BrowserFormView view(Window, Factory);
  Window.SetBounds({60, 70, 640, 480});  // no web view yet: nobody to tell
  EXPECT_EQ(Factory.Moves, 0);
  ASSERT_TRUE(view.CreateBrowser(Events));
  Window.SetBounds({80, 90, 640, 480});
  PumpMessages();
  EXPECT_GE(Factory.Moves, 1);
  // A change of size alone is no move.
  const int moves = Factory.Moves;
  Window.SetBounds({80, 90, 700, 520});
  PumpMessages();
  EXPECT_EQ(Factory.Moves, moves);
}

TEST_F(Win32BrowserFormViewTest, BackendWithoutAWebViewRefusesTheRequest) {
  Factory.Available = false;
  TWin32BrowserFormView view(Window, Factory);
  EXPECT_FALSE(view.CreateBrowser(Events));
  EXPECT_EQ(view.Browser(), nullptr);
}

TEST_F(Win32BrowserFormViewTest, TimerTicksUntilTheTickStopsIt) {
  TWin32BrowserFormView view(Window, Factory);
  int ticks = 0;
  std::function<void()> tick = [&] {
    // As the creation timer does: stop, and start again while the environment is not ready.
    if (++ticks < 3) view.SetTimer(true, 10, tick);
  };
  view.SetTimer(true, 10, tick);
  const DWORD start = GetTickCount();
  while (ticks < 3 && GetTickCount() - start < 5000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    PumpMessages();
  }
  EXPECT_EQ(ticks, 3);
  // A timer switched off before it fires never ticks.
  view.SetTimer(true, 10, [&] { ++ticks; });
  view.SetTimer(false, 0, nullptr);
  Sleep(50);
  PumpMessages();
  EXPECT_EQ(ticks, 3);
}

TEST_F(Win32BrowserFormViewTest, FormGoneWithTheMainWindowLeavesTheViewSafe) {
  auto view = std::make_unique<TWin32BrowserFormView>(Window, Factory);
  ASSERT_TRUE(view->CreateBrowser(Events));
  view->SetTimer(true, 10, [] {});
  DestroyWindow(Window.Handle());
  PumpMessages();
  EXPECT_FALSE(view->ProgressBarVisible());
  view->SetProgressBarVisible(true);
  view->FillBrowserWindow();
  EXPECT_FALSE(view->CreateBrowser(Events));
  view.reset();
}

// The question about a page that does not answer does not block: it is on screen when the call
// returns, owned by the main window, and goes with the button pressed, its close box, or when
// taken away (then unanswered).
TEST_F(Win32BrowserFormViewTest, PageQuestionDoesNotBlockAndGoesWhenAnsweredOrTakenAway) {
  TWin32BrowserFormView view(Window, Factory);
  const TPageQuestion question{"Page not responding", "The page is not responding.", "Wait",
                               "Reload"};
  const auto buttonOf = [](HWND dialog, const wchar_t* caption) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t text[32] = {};
      GetWindowTextW(child, text, 32);
      if (std::wstring(text) == caption) return child;
    }
    return HWND{};
  };
  struct TCase {
    const char* Name;
    const wchar_t* Button;  // pressed; null: the close box, or taken away
    bool TakenAway;
    std::vector<bool> Answers;
  };
  const TCase cases[] = {
      {"reload", L"&Reload", false, {true}},
      {"wait", L"&Wait", false, {false}},
      {"close box", nullptr, false, {false}},
      {"taken away", nullptr, true, {}},
  };
  for (const TCase& c : cases) {
    std::vector<bool> answers;
    view.ShowPageQuestion(question, [&](bool reload) {
      EXPECT_EQ(view.PageQuestion(), nullptr) << c.Name << ": answered before it went";
      answers.push_back(reload);
    });
    HWND dialog = view.PageQuestion();
    ASSERT_NE(dialog, nullptr) << c.Name;
    EXPECT_TRUE(IsWindowVisible(dialog)) << c.Name;
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), Window.Handle()) << c.Name;
    wchar_t title[64] = {};
    GetWindowTextW(dialog, title, 64);
    EXPECT_EQ(std::wstring(title), L"Page not responding") << c.Name;
    if (c.Button) {
      HWND button = buttonOf(dialog, c.Button);
      ASSERT_NE(button, nullptr) << c.Name;
      PostMessageW(button, BM_CLICK, 0, 0);
    } else if (c.TakenAway) {
      view.ClosePageQuestion();
    } else {
      PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    PumpMessages();
    EXPECT_FALSE(IsWindow(dialog)) << c.Name;
    EXPECT_EQ(view.PageQuestion(), nullptr) << c.Name;
    EXPECT_EQ(answers, c.Answers) << c.Name;
  }
  // Open when the form goes: it goes too, unanswered.
  bool answered = false;
  view.ShowPageQuestion(question, [&](bool) { answered = true; });
  HWND dialog = view.PageQuestion();
  DestroyWindow(Window.Handle());
  PumpMessages();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace velloc::platform::win32
