// Fakes of our declared WebView2 interfaces, enough for the backend's paths: they record calls,
// count references (they belong to the test and are never deleted by Release) and raise the
// events the test asks for.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

#include "WebView2.h"

namespace velloc::test::webview2 {

#define FAKE_STUB(name, ...)                             \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return E_NOTIMPL;                                    \
  }

template <typename T>
class TFakeCom : public T {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || Accepts(riid)) {
      *object = static_cast<T*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() override { return --References; }
  virtual bool Accepts(REFIID riid) const { return IsEqualIID(riid, __uuidof(T)); }
  std::atomic<ULONG> References{1};
};

LPWSTR CoString(const std::wstring& text);

class TFakeSettings final : public TFakeCom<ICoreWebView2Settings> {
 public:
  std::map<std::string, BOOL> Values;
#define FAKE_FLAG(name)                                        \
  HRESULT STDMETHODCALLTYPE get_##name(BOOL* value) override { \
    *value = Values[#name];                                    \
    return S_OK;                                               \
  }                                                            \
  HRESULT STDMETHODCALLTYPE put_##name(BOOL value) override {  \
    Values[#name] = value;                                     \
    return S_OK;                                               \
  }
  FAKE_FLAG(IsScriptEnabled)
  FAKE_FLAG(IsWebMessageEnabled)
  FAKE_FLAG(AreDefaultScriptDialogsEnabled)
  FAKE_FLAG(IsStatusBarEnabled)
  FAKE_FLAG(AreDevToolsEnabled)
  FAKE_FLAG(AreDefaultContextMenusEnabled)
  FAKE_FLAG(AreHostObjectsAllowed)
  FAKE_FLAG(IsZoomControlEnabled)
  FAKE_FLAG(IsBuiltInErrorPageEnabled)
#undef FAKE_FLAG
};

// One registered event handler; released when removed.
struct TRegistration {
  IUnknown* Handler = nullptr;
  __int64 Token = 0;
};

class TFakeCoreWebView2 final : public TFakeCom<ICoreWebView2_2> {
 public:
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_ICoreWebView2) || IsEqualIID(riid, IID_ICoreWebView2_2);
  }

  std::wstring Source = L"file:///index.html";
  std::wstring Title;
  std::vector<std::wstring> Filters;
  std::vector<std::wstring> Scripts;
  std::vector<std::wstring> Executed;
  std::vector<std::wstring> Navigated;
  std::vector<std::wstring> NavigatedHtml;
  std::vector<std::wstring> Posted;
  int Reloads = 0;
  TFakeSettings Settings;
  std::map<std::string, TRegistration> Events;
  std::vector<__int64> Removed;
  __int64 NextToken = 100;

  template <typename THandler>
  THandler* Handler(const std::string& event) {
    auto found = Events.find(event);
    return found == Events.end() ? nullptr : static_cast<THandler*>(found->second.Handler);
  }

  HRESULT Add(const std::string& event, IUnknown* handler, EventRegistrationToken* token) {
    handler->AddRef();
    token->value = ++NextToken;
    Events[event] = {handler, token->value};
    return S_OK;
  }
  HRESULT Remove(const std::string& event, EventRegistrationToken token) {
    auto found = Events.find(event);
    if (found == Events.end() || found->second.Token != token.value) return E_INVALIDARG;
    found->second.Handler->Release();
    Events.erase(found);
    Removed.push_back(token.value);
    return S_OK;
  }

#define FAKE_EVENT(name, handlerType)                                                       \
  HRESULT STDMETHODCALLTYPE add_##name(handlerType* handler, EventRegistrationToken* token) \
      override {                                                                            \
    return Add(#name, handler, token);                                                      \
  }                                                                                         \
  HRESULT STDMETHODCALLTYPE remove_##name(EventRegistrationToken token) override {          \
    return Remove(#name, token);                                                            \
  }
  FAKE_EVENT(NavigationStarting, ICoreWebView2NavigationStartingEventHandler)
  FAKE_EVENT(ContentLoading, IUnknown)
  FAKE_EVENT(SourceChanged, IUnknown)
  FAKE_EVENT(HistoryChanged, IUnknown)
  FAKE_EVENT(NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler)
  FAKE_EVENT(FrameNavigationStarting, IUnknown)
  FAKE_EVENT(FrameNavigationCompleted, IUnknown)
  FAKE_EVENT(ScriptDialogOpening, IUnknown)
  FAKE_EVENT(PermissionRequested, ICoreWebView2PermissionRequestedEventHandler)
  FAKE_EVENT(ProcessFailed, ICoreWebView2ProcessFailedEventHandler)
  FAKE_EVENT(WebMessageReceived, ICoreWebView2WebMessageReceivedEventHandler)
  FAKE_EVENT(NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler)
  FAKE_EVENT(DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler)
  FAKE_EVENT(ContainsFullScreenElementChanged, IUnknown)
  FAKE_EVENT(WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler)
  FAKE_EVENT(WindowCloseRequested, IUnknown)
  FAKE_EVENT(WebResourceResponseReceived, IUnknown)
  FAKE_EVENT(DOMContentLoaded, ICoreWebView2DOMContentLoadedEventHandler)
#undef FAKE_EVENT

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    Settings.AddRef();
    *settings = &Settings;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override {
    *uri = CoString(Source);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    Navigated.emplace_back(uri);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) override {
    NavigatedHtml.emplace_back(html);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) override {
    Scripts.emplace_back(script);
    return S_OK;
  }
  FAKE_STUB(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script,
                                          ICoreWebView2ExecuteScriptCompletedHandler*) override {
    Executed.emplace_back(script);
    return S_OK;
  }
  FAKE_STUB(CapturePreview, int, IStream*, IUnknown*)
  HRESULT STDMETHODCALLTYPE Reload() override {
    ++Reloads;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    Posted.emplace_back(json);
    return S_OK;
  }
  FAKE_STUB(PostWebMessageAsString, LPCWSTR)
  FAKE_STUB(CallDevToolsProtocolMethod, LPCWSTR, LPCWSTR, IUnknown*)
  FAKE_STUB(get_BrowserProcessId, UINT32*)
  FAKE_STUB(get_CanGoBack, BOOL*)
  FAKE_STUB(get_CanGoForward, BOOL*)
  FAKE_STUB(GoBack)
  FAKE_STUB(GoForward)
  FAKE_STUB(GetDevToolsProtocolEventReceiver, LPCWSTR, IUnknown**)
  FAKE_STUB(Stop)
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override {
    *title = CoString(Title);
    return S_OK;
  }
  FAKE_STUB(AddHostObjectToScript, LPCWSTR, VARIANT*)
  FAKE_STUB(RemoveHostObjectFromScript, LPCWSTR)
  FAKE_STUB(OpenDevToolsWindow)
  FAKE_STUB(get_ContainsFullScreenElement, BOOL*)
  HRESULT STDMETHODCALLTYPE
  AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override {
    Filters.push_back(std::wstring(uri) + L"|" + std::to_wstring(context));
    return S_OK;
  }
  FAKE_STUB(RemoveWebResourceRequestedFilter, LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT)
  FAKE_STUB(NavigateWithWebResourceRequest, ICoreWebView2WebResourceRequest*)
};

class TFakeController final : public TFakeCom<ICoreWebView2Controller> {
 public:
  explicit TFakeController(TFakeCoreWebView2& webView) : FWebView(webView) {}
  BOOL Visible = TRUE;
  RECT Bounds{};
  double Zoom = 1.0;
  int Focus = 0;
  int Closed = 0;
  int PositionChanged = 0;

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override {
    *visible = Visible;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    Visible = visible;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override {
    *bounds = Bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    Bounds = bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoom) override {
    *zoom = Zoom;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoom) override {
    Zoom = zoom;
    return S_OK;
  }
  FAKE_STUB(add_ZoomFactorChanged, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_ZoomFactorChanged, EventRegistrationToken)
  FAKE_STUB(SetBoundsAndZoomFactor, RECT, double)
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    ++Focus;
    return S_OK;
  }
  FAKE_STUB(add_MoveFocusRequested, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_MoveFocusRequested, EventRegistrationToken)
  FAKE_STUB(add_GotFocus, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_GotFocus, EventRegistrationToken)
  FAKE_STUB(add_LostFocus, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_LostFocus, EventRegistrationToken)
  FAKE_STUB(add_AcceleratorKeyPressed, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_AcceleratorKeyPressed, EventRegistrationToken)
  FAKE_STUB(get_ParentWindow, HWND*)
  FAKE_STUB(put_ParentWindow, HWND)
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    ++PositionChanged;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    ++Closed;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** webView) override {
    FWebView.AddRef();
    *webView = &FWebView;
    return S_OK;
  }

 private:
  TFakeCoreWebView2& FWebView;
};

// A response made by the environment; it keeps the stream it was given. Heap-owned by the
// environment fake, which checks its references.
class TFakeResponse final : public TFakeCom<ICoreWebView2WebResourceResponse> {
 public:
  IStream* Stream = nullptr;
  int Status = 0;
  std::wstring Reason;
  std::wstring Headers;
  ~TFakeResponse() {
    if (Stream) Stream->Release();
  }
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override {
    Stream->AddRef();
    *content = Stream;
    return S_OK;
  }
  FAKE_STUB(put_Content, IStream*)
  FAKE_STUB(get_Headers, IUnknown**)
  FAKE_STUB(get_StatusCode, int*)
  FAKE_STUB(put_StatusCode, int)
  FAKE_STUB(get_ReasonPhrase, LPWSTR*)
  FAKE_STUB(put_ReasonPhrase, LPCWSTR)
};

class TFakeEnvironment final : public TFakeCom<ICoreWebView2Environment> {
 public:
  std::vector<std::unique_ptr<TFakeResponse>> Responses;
  ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* PendingController = nullptr;
  HWND Parent = nullptr;

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    Parent = parent;
    handler->AddRef();
    PendingController = handler;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                            ICoreWebView2WebResourceResponse** response) override {
    auto made = std::make_unique<TFakeResponse>();
    content->AddRef();
    made->Stream = content;
    made->Status = status;
    made->Reason = reason;
    made->Headers = headers;
    *response = made.get();
    Responses.push_back(std::move(made));
    return S_OK;
  }
  FAKE_STUB(get_BrowserVersionString, LPWSTR*)
};

class TFakeRequestHeaders final : public TFakeCom<ICoreWebView2HttpRequestHeaders> {
 public:
  std::map<std::wstring, std::wstring> Values;
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override {
    const auto found = Values.find(name);
    if (found == Values.end()) return E_INVALIDARG;
    *value = CoString(found->second);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) override {
    *contains = Values.count(name) != 0;
    return S_OK;
  }
  FAKE_STUB(GetHeaders, LPCWSTR, IUnknown**)
  FAKE_STUB(SetHeader, LPCWSTR, LPCWSTR)
  FAKE_STUB(RemoveHeader, LPCWSTR)
  FAKE_STUB(GetIterator, IUnknown**)
};

class TFakeRequest final : public TFakeCom<ICoreWebView2WebResourceRequest> {
 public:
  std::wstring Uri;
  TFakeRequestHeaders Headers;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
  FAKE_STUB(put_Uri, LPCWSTR)
  FAKE_STUB(get_Method, LPWSTR*)
  FAKE_STUB(put_Method, LPCWSTR)
  FAKE_STUB(get_Content, IStream**)
  FAKE_STUB(put_Content, IStream*)
  HRESULT STDMETHODCALLTYPE get_Headers(IUnknown** headers) override {
    Headers.AddRef();
    *headers = &Headers;
    return S_OK;
  }
};

class TFakeResourceArgs final : public TFakeCom<ICoreWebView2WebResourceRequestedEventArgs> {
 public:
  TFakeRequest Request;
  ICoreWebView2WebResourceResponse* Response = nullptr;
  ~TFakeResourceArgs() {
    if (Response) Response->Release();
  }
  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) override {
    Request.AddRef();
    *request = &Request;
    return S_OK;
  }
  FAKE_STUB(get_Response, ICoreWebView2WebResourceResponse**)
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) override {
    response->AddRef();
    if (Response) Response->Release();
    Response = response;
    return S_OK;
  }
  FAKE_STUB(GetDeferral, ICoreWebView2Deferral**)
  FAKE_STUB(get_ResourceContext, COREWEBVIEW2_WEB_RESOURCE_CONTEXT*)
};

class TFakeMessageArgs final : public TFakeCom<ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  std::wstring Source;
  std::wstring Json;
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    *source = CoString(Source);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) override {
    *json = CoString(Json);
    return S_OK;
  }
  FAKE_STUB(TryGetWebMessageAsString, LPWSTR*)
};

class TFakeNewWindowArgs final : public TFakeCom<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  std::wstring Uri;
  BOOL Handled = FALSE;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
  FAKE_STUB(put_NewWindow, ICoreWebView2*)
  FAKE_STUB(get_NewWindow, ICoreWebView2**)
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    Handled = handled;
    return S_OK;
  }
  FAKE_STUB(get_Handled, BOOL*)
};

class TFakeDeferral final : public TFakeCom<ICoreWebView2Deferral> {
 public:
  int Completed = 0;
  HRESULT STDMETHODCALLTYPE Complete() override {
    ++Completed;
    return S_OK;
  }
};

class TFakeProcessFailedArgs final : public TFakeCom<ICoreWebView2ProcessFailedEventArgs> {
 public:
  COREWEBVIEW2_PROCESS_FAILED_KIND Kind = COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED;
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) override {
    *kind = Kind;
    return S_OK;
  }
};

class TFakePermissionArgs final : public TFakeCom<ICoreWebView2PermissionRequestedEventArgs> {
 public:
  std::wstring Uri;
  COREWEBVIEW2_PERMISSION_KIND Kind = COREWEBVIEW2_PERMISSION_KIND_CAMERA;
  COREWEBVIEW2_PERMISSION_STATE State = COREWEBVIEW2_PERMISSION_STATE_DEFAULT;
  TFakeDeferral Deferral;
  int Deferrals = 0;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* kind) override {
    *kind = Kind;
    return S_OK;
  }
  FAKE_STUB(get_IsUserInitiated, BOOL*)
  FAKE_STUB(get_State, COREWEBVIEW2_PERMISSION_STATE*)
  HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) override {
    State = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override {
    ++Deferrals;
    Deferral.AddRef();
    *deferral = &Deferral;
    return S_OK;
  }
};

#undef FAKE_STUB

}  // namespace velloc::test::webview2
