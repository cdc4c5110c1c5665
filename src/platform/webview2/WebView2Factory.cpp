#include "platform/webview2/WebView2Factory.h"

#include <string>
#include <utility>

namespace velloc::platform::webview2 {
namespace {

// Where the real view lands; shared with the creation callback, which may come after the
// stand-in is gone (then the view it brings is closed at once).
using TSlot = std::shared_ptr<std::unique_ptr<TWebView2WebView>>;

class TPendingWebView final : public IWebView {
 public:
  explicit TPendingWebView(TSlot slot) : FSlot(std::move(slot)) {}

  TWebView2WebView* Real() const { return FSlot->get(); }

  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override {
    if (auto* view = Real()) view->AddScriptToExecuteOnDocumentCreated(script);
  }
  void ApplySettings(const TWebViewSettings& settings) override {
    if (auto* view = Real()) view->ApplySettings(settings);
  }
  void Navigate(std::string_view uri) override {
    if (auto* view = Real()) view->Navigate(uri);
  }
  void ExecuteScript(std::string_view script) override {
    if (auto* view = Real()) view->ExecuteScript(script);
  }
  void ExecuteScriptInApplicationDocument(std::string_view script) override {
    if (auto* view = Real()) view->ExecuteScriptInApplicationDocument(script);
  }
  std::string DocumentUri() const override {
    const auto* view = Real();
    return view ? view->DocumentUri() : std::string();
  }
  std::string DocumentTitle() const override {
    const auto* view = Real();
    return view ? view->DocumentTitle() : std::string();
  }
  double ZoomFactor() const override {
    const auto* view = Real();
    return view ? view->ZoomFactor() : 1.0;
  }
  void SetZoomFactor(double factor) override {
    if (auto* view = Real()) view->SetZoomFactor(factor);
  }
  bool IsVisible() const override {
    const auto* view = Real();
    return view && view->IsVisible();
  }
  void MoveFocus() override {
    if (auto* view = Real()) view->MoveFocus();
  }
  void Reload() override {
    if (auto* view = Real()) view->Reload();
  }
  void NavigateToString(std::string_view html) override {
    if (auto* view = Real()) view->NavigateToString(html);
  }
  bool IsResponsive() const override {
    const auto* view = Real();
    return view && view->IsResponsive();
  }

  // The host's client rectangle, kept for the view that has not arrived yet.
  RECT Bounds{};

 private:
  TSlot FSlot;
};

}  // namespace

std::unique_ptr<IWebView> TWebView2Factory::CreateWebView(HWND host, IWebViewEvents& events) {
  ICoreWebView2Environment* environment = FEnvironment();
  if (!environment) {
    events.BrowserCreationFailed("there is no WebView2 environment to create the controller in");
    return nullptr;
  }
  auto slot = std::make_shared<std::unique_ptr<TWebView2WebView>>();
  auto pending = std::make_unique<TPendingWebView>(slot);
  std::weak_ptr<std::unique_ptr<TWebView2WebView>> target = slot;
  TPendingWebView* stand = pending.get();
  const HRESULT started = TWebView2WebView::Create(
      environment, host, events,
      [target, stand, &events](std::unique_ptr<TWebView2WebView> view, HRESULT result) {
        // A form that is gone took its events with it; one that lives hears why it stays empty.
        const auto landing = target.lock();
        if (!landing) return false;
        if (!view) {
          events.BrowserCreationFailed("WebView2 did not create the controller: " +
                                       HResultText(result));
          return false;
        }
        view->SetBounds(stand->Bounds);
        *landing = std::move(view);
        return true;
      },
      FOptions ? FOptions() : TWebView2Options());
  if (FAILED(started)) {
    events.BrowserCreationFailed("WebView2 could not start creating the controller: " +
                                 HResultText(started));
    return nullptr;
  }
  return pending;
}

void TWebView2Factory::FitWebView(IWebView& view, const RECT& client) {
  auto& pending = static_cast<TPendingWebView&>(view);
  pending.Bounds = client;
  if (TWebView2WebView* real = pending.Real()) real->SetBounds(client);
}

void TWebView2Factory::ParentWindowMoved(IWebView& view) {
  if (TWebView2WebView* real = static_cast<TPendingWebView&>(view).Real())
    real->NotifyParentWindowPositionChanged();
}

}  // namespace velloc::platform::webview2
