#include "platform/webview2/WebView2WebView.h"

#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <shlwapi.h>

#include "browser/ResourceServer.h"
#include "platform/webview2/WebView2BodyStream.h"
#include "platform/webview2/WebView2Handler.h"

namespace velloc::platform::webview2 {

void ReportHandlerFault(const char* what) {
  std::fprintf(stderr, "velloc: a WebView2 handler failed: %s\n", what);
  OutputDebugStringA(what);
}

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

TPermissionKind PermissionKindOf(COREWEBVIEW2_PERMISSION_KIND kind) {
  switch (kind) {
    case COREWEBVIEW2_PERMISSION_KIND_MICROPHONE:
      return TPermissionKind::Microphone;
    case COREWEBVIEW2_PERMISSION_KIND_CAMERA:
      return TPermissionKind::Camera;
    case COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION:
      return TPermissionKind::Location;
    case COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS:
      return TPermissionKind::Notifications;
    case COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ:
      return TPermissionKind::Clipboard;
    default:
      return TPermissionKind::Other;
  }
}

bool AskWithMessageBox(const std::string& question) {
  return MessageBoxW(GetActiveWindow(), ToWide(question).c_str(), L"",
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The tasks of PostToUiThread by their thread timer; the UI thread alone touches them.
std::map<UINT_PTR, std::function<void()>>& PostedTasks() {
  static std::map<UINT_PTR, std::function<void()>> tasks;
  return tasks;
}

void CALLBACK RunPostedTask(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto task = PostedTasks().extract(id);
  if (task.empty()) return;
  // A timer procedure is a C boundary too.
  try {
    task.mapped()();
  } catch (const std::exception& error) {
    ReportHandlerFault(error.what());
  } catch (...) {
    ReportHandlerFault("unknown exception");
  }
}

// Thread timers run in every message loop of the thread, modal ones included.
void PostToUiThread(std::function<void()> task) {
  const UINT_PTR id = SetTimer(nullptr, 0, 0, &RunPostedTask);
  if (id == 0) {
    ReportHandlerFault("no timer for a task after the event");
    return;
  }
  PostedTasks()[id] = std::move(task);
}

const char* ProcessKindName(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      return "browser";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
      return "page's renderer";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      return "page's renderer (unresponsive)";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED:
      return "frame's renderer";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED:
      return "utility";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED:
      return "sandbox helper";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED:
      return "GPU";
    default:
      return "other";
  }
}

// The stream the web view reads the answer from: the bytes in memory (taken over, not copied),
// a package entry read in parts, or the file on disk.
TComPtr<IStream> ResponseStream(TWebResourceResponse& response) {
  if (response.Stream)
    return TComPtr<IStream>::Adopt(TWebView2BodyStream::Create(std::move(response.Stream)));
  if (response.Body)
    return TComPtr<IStream>::Adopt(TWebView2BodyStream::Create(std::move(response.Body)));
  TComPtr<IStream> stream;
  SHCreateStreamOnFileEx(ToWide(response.FilePath).c_str(), STGM_READ | STGM_SHARE_DENY_WRITE,
                         FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream.Put());
  return stream;
}

// The request's Range header, or "".
std::string RangeHeader(ICoreWebView2WebResourceRequest* request) {
  TComPtr<IUnknown> any;
  if (FAILED(request->get_Headers(any.Put())) || !any) return {};
  const auto headers = any.As<ICoreWebView2HttpRequestHeaders>();
  BOOL contains = FALSE;
  if (!headers || FAILED(headers->Contains(L"Range", &contains)) || !contains) return {};
  LPWSTR value = nullptr;
  if (FAILED(headers->GetHeader(L"Range", &value))) return {};
  return TakeCoTaskString(value);
}

}  // namespace

HRESULT TWebView2WebView::Create(ICoreWebView2Environment* environment, HWND parent,
                                 IWebViewEvents& events, TCreated created, TPermissionAsker asker,
                                 TUiPoster poster) {
  if (environment == nullptr || !created) return E_POINTER;
  auto environmentRef = TComPtr<ICoreWebView2Environment>::Share(environment);
  auto* handler =
      TWebView2Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                       ICoreWebView2Controller*>::Create([environmentRef, &events, created, asker,
                                                          poster](
                                                             HRESULT result,
                                                             ICoreWebView2Controller* controller) {
        if (FAILED(result) || controller == nullptr) {
          created(nullptr, FAILED(result) ? result : E_FAIL);
          return S_OK;
        }
        auto view = std::make_unique<TWebView2WebView>(environmentRef.Get(), controller, events,
                                                       asker, poster);
        // The owner gets the view first, so that the core finds it when it sets it up. An owner
        // that is gone has closed the view again, and `events` may be gone with it.
        if (created(std::move(view), S_OK)) events.BrowserAfterCreated();
        return S_OK;
      });
  const HRESULT result = environment->CreateCoreWebView2Controller(parent, handler);
  handler->Release();
  return result;
}

TWebView2WebView::TWebView2WebView(ICoreWebView2Environment* environment,
                                   ICoreWebView2Controller* controller, IWebViewEvents& events,
                                   TPermissionAsker asker, TUiPoster poster)
    : FEnvironment(TComPtr<ICoreWebView2Environment>::Share(environment)),
      FController(TComPtr<ICoreWebView2Controller>::Share(controller)),
      FEvents(events),
      FAsker(asker ? std::move(asker) : TPermissionAsker(AskWithMessageBox)),
      FPoster(poster ? std::move(poster) : TUiPoster(PostToUiThread)),
      FAlive(std::make_shared<TWebView2WebView*>(this)) {
  FController->get_CoreWebView2(FWebView.Put());
  if (FWebView) Attach();
}

TWebView2WebView::~TWebView2WebView() {
  FAlive.reset();
  if (FWebView) {
    for (const auto& token : FTokens)
      (FWebView.Get()->*token.Remove)(token.Value);
    if (FHasDomContentLoaded) {
      if (auto webView2 = FWebView.As<ICoreWebView2_2>())
        webView2->remove_DOMContentLoaded(FDomContentLoadedToken);
    }
  }
  if (FController) FController->Close();
}

void TWebView2WebView::Attach() {
  // One filter for every request: the handler itself answers "file:///" only.
  FWebView->AddWebResourceRequestedFilter(L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);

  // Registers one event: the handler object, its registration and the token to remove it by.
  auto add = [this](auto addMethod, auto removeMethod, auto* handler) {
    EventRegistrationToken token{};
    if (SUCCEEDED((FWebView.Get()->*addMethod)(handler, &token)))
      FTokens.push_back({removeMethod, token});
    handler->Release();
  };
  add(&ICoreWebView2::add_WebResourceRequested, &ICoreWebView2::remove_WebResourceRequested,
      TWebView2Handler<ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*,
                       ICoreWebView2WebResourceRequestedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
            return WebResourceRequested(args);
          }));
  add(&ICoreWebView2::add_WebMessageReceived, &ICoreWebView2::remove_WebMessageReceived,
      TWebView2Handler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                       ICoreWebView2WebMessageReceivedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
            return WebMessageReceived(args);
          }));
  add(&ICoreWebView2::add_NavigationStarting, &ICoreWebView2::remove_NavigationStarting,
      TWebView2Handler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                       ICoreWebView2NavigationStartingEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*) {
            FProcessFailed = false;
            FEvents.BrowserNavigationStarting();
            return S_OK;
          }));
  add(&ICoreWebView2::add_NavigationCompleted, &ICoreWebView2::remove_NavigationCompleted,
      TWebView2Handler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                       ICoreWebView2NavigationCompletedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*) {
            FEvents.BrowserNavigationCompleted();
            return S_OK;
          }));
  add(&ICoreWebView2::add_DocumentTitleChanged, &ICoreWebView2::remove_DocumentTitleChanged,
      TWebView2Handler<ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*,
                       IUnknown*>::Create([this](ICoreWebView2*, IUnknown*) {
        FEvents.BrowserDocumentTitleChanged();
        return S_OK;
      }));
  add(&ICoreWebView2::add_ProcessFailed, &ICoreWebView2::remove_ProcessFailed,
      TWebView2Handler<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                       ICoreWebView2ProcessFailedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
            return ProcessFailed(args);
          }));
  add(&ICoreWebView2::add_NewWindowRequested, &ICoreWebView2::remove_NewWindowRequested,
      TWebView2Handler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                       ICoreWebView2NewWindowRequestedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
            return NewWindowRequested(args);
          }));
  add(&ICoreWebView2::add_PermissionRequested, &ICoreWebView2::remove_PermissionRequested,
      TWebView2Handler<ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*,
                       ICoreWebView2PermissionRequestedEventArgs*>::
          Create([this](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
            return PermissionRequested(args);
          }));
  // DOMContentLoaded came with the second interface; older runtimes lack it.
  if (auto webView2 = FWebView.As<ICoreWebView2_2>()) {
    auto* handler = TWebView2Handler<ICoreWebView2DOMContentLoadedEventHandler, ICoreWebView2*,
                                     IUnknown*>::Create([this](ICoreWebView2*, IUnknown*) {
      FEvents.BrowserDOMContentLoaded();
      return S_OK;
    });
    FHasDomContentLoaded =
        SUCCEEDED(webView2->add_DOMContentLoaded(handler, &FDomContentLoadedToken));
    handler->Release();
  }
}

std::string TWebView2WebView::Source() const {
  LPWSTR source = nullptr;
  if (FAILED(FWebView->get_Source(&source))) return {};
  return TakeCoTaskString(source);
}

HRESULT TWebView2WebView::WebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args) {
  TComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(args->get_Request(request.Put())) || !request) return S_OK;
  LPWSTR rawUri = nullptr;
  if (FAILED(request->get_Uri(&rawUri))) return S_OK;
  const std::string uri = TakeCoTaskString(rawUri);
  // Everything but the application's pages is the web view's own business.
  if (!StartsWith(uri, "file:///")) return S_OK;
  std::optional<TWebResourceResponse> answer = FEvents.BrowserWebResourceRequested(uri);
  if (!answer) return S_OK;
  browser::ApplyRange(*answer, RangeHeader(request.Get()));
  TComPtr<IStream> stream = ResponseStream(*answer);
  if (!stream) return S_OK;
  std::wstring headers = L"Content-Type: " + ToWide(answer->MimeType) + L"; charset=utf-8";
  if (answer->AcceptsRanges) headers += L"\r\nAccept-Ranges: bytes";
  if (!answer->ContentRange.empty())
    headers += L"\r\nContent-Range: " + ToWide(answer->ContentRange);
  TComPtr<ICoreWebView2WebResourceResponse> response;
  if (FAILED(FEnvironment->CreateWebResourceResponse(
          stream.Get(), answer->StatusCode, ToWide(browser::StatusText(answer->StatusCode)).c_str(),
          headers.c_str(), response.Put())) ||
      !response)
    return S_OK;
  return args->put_Response(response.Get());
}

HRESULT TWebView2WebView::WebMessageReceived(ICoreWebView2WebMessageReceivedEventArgs* args) {
  // A message from inside a page that is not the application's is dropped here too: the top
  // document decides, whatever frame the message names.
  if (!StartsWith(Source(), "file:")) return S_OK;
  LPWSTR rawSource = nullptr;
  LPWSTR rawJson = nullptr;
  if (FAILED(args->get_Source(&rawSource))) return S_OK;
  const std::string source = TakeCoTaskString(rawSource);
  if (FAILED(args->get_WebMessageAsJson(&rawJson))) return S_OK;
  const std::string json = TakeCoTaskString(rawJson);
  // The way back may be kept and used after the event; copies share one state, and the first
  // answer counts. A view that is gone by then takes no answer.
  auto answered = std::make_shared<bool>(false);
  std::weak_ptr<TWebView2WebView*> alive = FAlive;
  TWebMessageEvent event{json, source, [answered, alive](std::string_view reply) {
                           if (*answered) return;
                           const auto view = alive.lock();
                           if (!view) return;
                           *answered = true;
                           (*view)->FWebView->PostWebMessageAsJson(ToWide(reply).c_str());
                         }};
  FEvents.BrowserWebMessageReceived(event);
  return S_OK;
}

HRESULT TWebView2WebView::NewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args) {
  LPWSTR rawUri = nullptr;
  if (FAILED(args->get_Uri(&rawUri))) return S_OK;
  const std::string uri = TakeCoTaskString(rawUri);
  const bool handled = FEvents.BrowserNewWindowRequested(uri, Source());
  return args->put_Handled(handled ? TRUE : FALSE);
}

HRESULT TWebView2WebView::PermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args) {
  LPWSTR rawUri = nullptr;
  COREWEBVIEW2_PERMISSION_KIND rawKind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
  if (FAILED(args->get_Uri(&rawUri))) return S_OK;
  const std::string uri = TakeCoTaskString(rawUri);
  args->get_PermissionKind(&rawKind);
  const TPermissionKind kind = PermissionKindOf(rawKind);
  const TPermissionDecision decision = FEvents.BrowserPermissionRequested(uri, kind);
  if (decision.State != TPermissionState::Ask) {
    return args->put_State(decision.State == TPermissionState::Allow
                               ? COREWEBVIEW2_PERMISSION_STATE_ALLOW
                               : COREWEBVIEW2_PERMISSION_STATE_DENY);
  }
  // No modal question inside a WebView2 handler: the event waits on its deferral while the
  // question is asked after the handler has returned. Without a deferral nobody is asked.
  TComPtr<ICoreWebView2Deferral> deferral;
  if (FAILED(args->GetDeferral(deferral.Put())) || !deferral)
    return args->put_State(COREWEBVIEW2_PERMISSION_STATE_DENY);
  auto request = TComPtr<ICoreWebView2PermissionRequestedEventArgs>::Share(args);
  std::weak_ptr<TWebView2WebView*> alive = FAlive;
  FPoster([request, deferral, alive, uri, kind, question = decision.Question] {
    bool allowed = false;
    if (const auto view = alive.lock()) {
      allowed = (*view)->FAsker(question);
      // The question was modal: the view may have gone meanwhile.
      if (const auto still = alive.lock())
        (*still)->FEvents.BrowserPermissionAnswered(uri, kind, allowed);
    }
    request->put_State(allowed ? COREWEBVIEW2_PERMISSION_STATE_ALLOW
                               : COREWEBVIEW2_PERMISSION_STATE_DENY);
    deferral->Complete();
  });
  return S_OK;
}

HRESULT TWebView2WebView::ProcessFailed(ICoreWebView2ProcessFailedEventArgs* args) {
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
  if (args) args->get_ProcessFailedKind(&kind);
  std::fprintf(stderr, "velloc: the web view's %s process failed\n", ProcessKindName(kind));
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      // The page's own process: the core brings the page back or shows why it cannot.
      FProcessFailed = true;
      FEvents.BrowserProcessFailed();
      break;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      // The web view is closed for good: no page answers a close query any more, so the user
      // may close the window. Nothing to reload.
      FProcessFailed = true;
      break;
    default:
      // A frame, GPU or helper process: WebView2 recovers it; the page and its state stay.
      break;
  }
  return S_OK;
}

void TWebView2WebView::AddScriptToExecuteOnDocumentCreated(std::string_view script) {
  if (FWebView) FWebView->AddScriptToExecuteOnDocumentCreated(ToWide(script).c_str(), nullptr);
}

void TWebView2WebView::ApplySettings(const TWebViewSettings& settings) {
  if (!FWebView) return;
  TComPtr<ICoreWebView2Settings> base;
  if (FAILED(FWebView->get_Settings(base.Put())) || !base) return;
  auto flag = [](bool value) { return value ? TRUE : FALSE; };
  base->put_IsScriptEnabled(flag(settings.IsScriptEnabled));
  base->put_IsWebMessageEnabled(flag(settings.IsWebMessageEnabled));
  base->put_IsBuiltInErrorPageEnabled(flag(settings.IsBuiltInErrorPageEnabled));
  base->put_AreDefaultScriptDialogsEnabled(flag(settings.AreDefaultScriptDialogsEnabled));
  base->put_AreDevToolsEnabled(flag(settings.AreDevToolsEnabled));
  base->put_IsZoomControlEnabled(flag(settings.IsZoomControlEnabled));
  base->put_AreDefaultContextMenusEnabled(flag(settings.AreDefaultContextMenusEnabled));
  base->put_IsStatusBarEnabled(flag(settings.IsStatusBarEnabled));
  // The later settings exist from some runtime version on; an older runtime skips them.
  if (auto s3 = base.As<ICoreWebView2Settings3>())
    s3->put_AreBrowserAcceleratorKeysEnabled(flag(settings.AreBrowserAcceleratorKeysEnabled));
  if (auto s4 = base.As<ICoreWebView2Settings4>()) {
    s4->put_IsGeneralAutofillEnabled(flag(settings.IsGeneralAutofillEnabled));
    s4->put_IsPasswordAutosaveEnabled(flag(settings.IsPasswordAutosaveEnabled));
  }
  if (auto s5 = base.As<ICoreWebView2Settings5>())
    s5->put_IsPinchZoomEnabled(flag(settings.IsPinchZoomEnabled));
  if (auto s6 = base.As<ICoreWebView2Settings6>())
    s6->put_IsSwipeNavigationEnabled(flag(settings.IsSwipeNavigationEnabled));
  if (auto s7 = base.As<ICoreWebView2Settings7>())
    s7->put_HiddenPdfToolbarItems(settings.HiddenPdfToolbarItems);
  if (auto s8 = base.As<ICoreWebView2Settings8>())
    s8->put_IsReputationCheckingRequired(flag(settings.IsReputationCheckingRequired));
}

void TWebView2WebView::Navigate(std::string_view uri) {
  if (FWebView) FWebView->Navigate(ToWide(uri).c_str());
}

void TWebView2WebView::ExecuteScript(std::string_view script) {
  if (FWebView) FWebView->ExecuteScript(ToWide(script).c_str(), nullptr);
}

std::string TWebView2WebView::DocumentTitle() const {
  LPWSTR title = nullptr;
  if (!FWebView || FAILED(FWebView->get_DocumentTitle(&title))) return {};
  return TakeCoTaskString(title);
}

double TWebView2WebView::ZoomFactor() const {
  double factor = 1.0;
  if (FController) FController->get_ZoomFactor(&factor);
  return factor;
}

void TWebView2WebView::SetZoomFactor(double factor) {
  if (FController) FController->put_ZoomFactor(factor);
}

bool TWebView2WebView::IsVisible() const {
  BOOL visible = FALSE;
  return FController && SUCCEEDED(FController->get_IsVisible(&visible)) && visible != FALSE;
}

void TWebView2WebView::MoveFocus() {
  if (FController) FController->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

void TWebView2WebView::Reload() {
  if (FWebView) FWebView->Reload();
}

void TWebView2WebView::NavigateToString(std::string_view html) {
  if (FWebView) FWebView->NavigateToString(ToWide(html).c_str());
}

bool TWebView2WebView::IsResponsive() const {
  return FWebView && !FProcessFailed;
}

void TWebView2WebView::SetBounds(const RECT& bounds) {
  if (FController) FController->put_Bounds(bounds);
}

void TWebView2WebView::SetVisible(bool visible) {
  if (FController) FController->put_IsVisible(visible ? TRUE : FALSE);
}

void TWebView2WebView::NotifyParentWindowPositionChanged() {
  if (FController) FController->NotifyParentWindowPositionChanged();
}

}  // namespace velloc::platform::webview2
