// Fakes of our declared WebView2 interfaces, enough for the backend's paths: they record calls,
// count references (they belong to the test and are never deleted by Release) and raise the
// events the test asks for.
#pragma once

#include <algorithm>
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
class TFakeDeferral;

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

// The later interfaces of the web view answer up to `Version` (2 to 22), as runtimes of that age
// would.
class TFakeCoreWebView2 final : public TFakeCom<ICoreWebView2_22> {
 public:
  int Version = 22;
  bool Accepts(REFIID riid) const override {
    const IID* later[] = {
        &IID_ICoreWebView2_3,  &IID_ICoreWebView2_4,  &IID_ICoreWebView2_5,  &IID_ICoreWebView2_6,
        &IID_ICoreWebView2_7,  &IID_ICoreWebView2_8,  &IID_ICoreWebView2_9,  &IID_ICoreWebView2_10,
        &IID_ICoreWebView2_11, &IID_ICoreWebView2_12, &IID_ICoreWebView2_13, &IID_ICoreWebView2_14,
        &IID_ICoreWebView2_15, &IID_ICoreWebView2_16, &IID_ICoreWebView2_17, &IID_ICoreWebView2_18,
        &IID_ICoreWebView2_19, &IID_ICoreWebView2_20, &IID_ICoreWebView2_21, &IID_ICoreWebView2_22};
    if (IsEqualIID(riid, IID_ICoreWebView2) || IsEqualIID(riid, IID_ICoreWebView2_2)) return true;
    for (int i = 0; i < 20; ++i) {
      if (IsEqualIID(riid, *later[i])) return Version >= i + 3;
    }
    return false;
  }

  std::wstring Source = L"https://velloc.localhost/index.html";
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
  FAKE_EVENT(FrameCreated, ICoreWebView2FrameCreatedEventHandler)
  FAKE_EVENT(DownloadStarting, ICoreWebView2DownloadStartingEventHandler)
  FAKE_EVENT(ClientCertificateRequested, IUnknown)
  FAKE_EVENT(IsMutedChanged, IUnknown)
  FAKE_EVENT(IsDocumentPlayingAudioChanged, IUnknown)
  FAKE_EVENT(IsDefaultDownloadDialogOpenChanged, IUnknown)
  FAKE_EVENT(BasicAuthenticationRequested, IUnknown)
  FAKE_EVENT(ContextMenuRequested, IUnknown)
  FAKE_EVENT(StatusBarTextChanged, IUnknown)
  FAKE_EVENT(ServerCertificateErrorDetected, IUnknown)
  FAKE_EVENT(FaviconChanged, IUnknown)
  FAKE_EVENT(LaunchingExternalUriScheme, IUnknown)
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
  HRESULT STDMETHODCALLTYPE
  ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
    Executed.emplace_back(script);
    if (handler) {
      handler->AddRef();
      ScriptsRunning.push_back(handler);
    }
    return S_OK;
  }
  // The script that ran first has finished: its handler hears how.
  void FinishScript(HRESULT result) {
    ICoreWebView2ExecuteScriptCompletedHandler* handler = ScriptsRunning.front();
    ScriptsRunning.erase(ScriptsRunning.begin());
    handler->Invoke(result, L"0");
    handler->Release();
  }
  ~TFakeCoreWebView2() {
    for (auto* handler : ScriptsRunning)
      handler->Release();
  }
  std::vector<ICoreWebView2ExecuteScriptCompletedHandler*> ScriptsRunning;
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
  FAKE_STUB(get_CookieManager, IUnknown**)
  FAKE_STUB(get_Environment, ICoreWebView2Environment**)
  FAKE_STUB(TrySuspend, IUnknown*)
  FAKE_STUB(Resume)
  FAKE_STUB(get_IsSuspended, BOOL*)
  FAKE_STUB(SetVirtualHostNameToFolderMapping, LPCWSTR, LPCWSTR, int)
  FAKE_STUB(ClearVirtualHostNameToFolderMapping, LPCWSTR)
  FAKE_STUB(OpenTaskManagerWindow)
  FAKE_STUB(PrintToPdf, LPCWSTR, IUnknown*, IUnknown*)
  FAKE_STUB(get_IsMuted, BOOL*)
  FAKE_STUB(put_IsMuted, BOOL)
  FAKE_STUB(get_IsDocumentPlayingAudio, BOOL*)
  FAKE_STUB(get_IsDefaultDownloadDialogOpen, BOOL*)
  FAKE_STUB(OpenDefaultDownloadDialog)
  FAKE_STUB(CloseDefaultDownloadDialog)
  FAKE_STUB(get_DefaultDownloadDialogCornerAlignment, int*)
  FAKE_STUB(put_DefaultDownloadDialogCornerAlignment, int)
  FAKE_STUB(get_DefaultDownloadDialogMargin, POINT*)
  FAKE_STUB(put_DefaultDownloadDialogMargin, POINT)
  FAKE_STUB(CallDevToolsProtocolMethodForSession, LPCWSTR, LPCWSTR, LPCWSTR, IUnknown*)
  FAKE_STUB(get_StatusBarText, LPWSTR*)
  FAKE_STUB(get_Profile, IUnknown**)
  FAKE_STUB(ClearServerCertificateErrorActions, IUnknown*)
  FAKE_STUB(get_FaviconUri, LPWSTR*)
  FAKE_STUB(GetFavicon, int, IUnknown*)
  FAKE_STUB(Print, IUnknown*, IUnknown*)
  FAKE_STUB(ShowPrintUI, int)
  FAKE_STUB(PrintToPdfStream, IUnknown*, IUnknown*)
  FAKE_STUB(PostSharedBufferToScript, IUnknown*, int, LPCWSTR)
  FAKE_STUB(get_MemoryUsageTargetLevel, int*)
  FAKE_STUB(put_MemoryUsageTargetLevel, int)
  FAKE_STUB(get_FrameId, UINT32*)
  FAKE_STUB(ExecuteScriptWithResult, LPCWSTR, IUnknown*)
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
      COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS kinds) override {
    Filters.push_back(std::wstring(uri) + L"|" + std::to_wstring(context) + L"|" +
                      std::to_wstring(static_cast<unsigned>(kinds)));
    return S_OK;
  }
  FAKE_STUB(RemoveWebResourceRequestedFilterWithRequestSourceKinds, LPCWSTR,
            COREWEBVIEW2_WEB_RESOURCE_CONTEXT, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS)
};

// An iframe that WebView2 named; `Messages` false makes it a frame of a runtime without frame
// messages (no ICoreWebView2Frame2).
class TFakeFrame final : public TFakeCom<ICoreWebView2Frame2> {
 public:
  bool Messages = true;
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_ICoreWebView2Frame) ||
           (Messages && IsEqualIID(riid, IID_ICoreWebView2Frame2));
  }
  std::map<std::string, TRegistration> Events;
  std::vector<std::wstring> Posted;
  __int64 NextToken = 500;

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
    return S_OK;
  }
  // What WebView2 drops when the frame goes.
  void DropHandlers() {
    for (auto& [name, registration] : Events)
      registration.Handler->Release();
    Events.clear();
  }

  FAKE_STUB(get_Name, LPWSTR*)
  FAKE_STUB(add_NameChanged, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_NameChanged, EventRegistrationToken)
  FAKE_STUB(AddHostObjectToScriptWithOrigins, LPCWSTR, VARIANT*, UINT32, LPCWSTR*)
  FAKE_STUB(RemoveHostObjectFromScript, LPCWSTR)
  HRESULT STDMETHODCALLTYPE add_Destroyed(ICoreWebView2FrameDestroyedEventHandler* handler,
                                          EventRegistrationToken* token) override {
    return Add("Destroyed", handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_Destroyed(EventRegistrationToken token) override {
    return Remove("Destroyed", token);
  }
  FAKE_STUB(IsDestroyed, BOOL*)
  FAKE_STUB(add_NavigationStarting, ICoreWebView2FrameNavigationStartingEventHandler*,
            EventRegistrationToken*)
  FAKE_STUB(remove_NavigationStarting, EventRegistrationToken)
  FAKE_STUB(add_ContentLoading, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_ContentLoading, EventRegistrationToken)
  FAKE_STUB(add_NavigationCompleted, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_NavigationCompleted, EventRegistrationToken)
  FAKE_STUB(add_DOMContentLoaded, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_DOMContentLoaded, EventRegistrationToken)
  FAKE_STUB(ExecuteScript, LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*)
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    Posted.emplace_back(json);
    return S_OK;
  }
  FAKE_STUB(PostWebMessageAsString, LPCWSTR)
  HRESULT STDMETHODCALLTYPE
  add_WebMessageReceived(ICoreWebView2FrameWebMessageReceivedEventHandler* handler,
                         EventRegistrationToken* token) override {
    return Add("WebMessageReceived", handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
    return Remove("WebMessageReceived", token);
  }
};

class TFakeFrameCreatedArgs final : public TFakeCom<ICoreWebView2FrameCreatedEventArgs> {
 public:
  ICoreWebView2Frame* Frame = nullptr;
  HRESULT STDMETHODCALLTYPE get_Frame(ICoreWebView2Frame** frame) override {
    Frame->AddRef();
    *frame = Frame;
    return S_OK;
  }
};

class TFakeFrameInfo final : public TFakeCom<ICoreWebView2FrameInfo> {
 public:
  std::wstring Source;
  FAKE_STUB(get_Name, LPWSTR*)
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    *source = CoString(Source);
    return S_OK;
  }
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
    if (FAILED(CoreWebView2Result)) {
      *webView = nullptr;
      return CoreWebView2Result;
    }
    FWebView.AddRef();
    *webView = &FWebView;
    return S_OK;
  }
  HRESULT CoreWebView2Result = S_OK;

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

  HRESULT ControllerResult = S_OK;  // a failure refuses to start making one

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (FAILED(ControllerResult)) return ControllerResult;
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

using THeaders = std::vector<std::pair<std::wstring, std::wstring>>;

class TFakeHeaderIterator final : public TFakeCom<ICoreWebView2HttpHeadersCollectionIterator> {
 public:
  explicit TFakeHeaderIterator(const THeaders& headers) : FHeaders(headers) {}
  void Rewind() { FAt = 0; }
  HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) override {
    if (FAt >= FHeaders.size()) return E_FAIL;
    *name = CoString(FHeaders[FAt].first);
    *value = CoString(FHeaders[FAt].second);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* has) override {
    *has = FAt < FHeaders.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(BOOL* has) override {
    ++FAt;
    *has = FAt < FHeaders.size();
    return S_OK;
  }

 private:
  const THeaders& FHeaders;
  std::size_t FAt = 0;
};

class TFakeRequestHeaders final : public TFakeCom<ICoreWebView2HttpRequestHeaders> {
 public:
  THeaders Headers;
  TFakeHeaderIterator Iterator{Headers};
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override {
    const auto found = Find(name);
    if (found == Headers.end()) return E_INVALIDARG;
    *value = CoString(found->second);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) override {
    *contains = Find(name) != Headers.end();
    return S_OK;
  }
  FAKE_STUB(GetHeaders, LPCWSTR, IUnknown**)
  FAKE_STUB(SetHeader, LPCWSTR, LPCWSTR)
  FAKE_STUB(RemoveHeader, LPCWSTR)
  HRESULT STDMETHODCALLTYPE GetIterator(IUnknown** iterator) override {
    Iterator.Rewind();
    Iterator.AddRef();
    *iterator = &Iterator;
    return S_OK;
  }

 private:
  THeaders::const_iterator Find(LPCWSTR name) const {
    return std::find_if(Headers.begin(), Headers.end(),
                        [&](const auto& header) { return header.first == name; });
  }
};

class TFakeRequest final : public TFakeCom<ICoreWebView2WebResourceRequest> {
 public:
  std::wstring Uri;
  std::wstring Method = L"GET";
  IStream* Content = nullptr;  // not owned
  TFakeRequestHeaders Headers;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
  FAKE_STUB(put_Uri, LPCWSTR)
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override {
    *method = CoString(Method);
    return S_OK;
  }
  FAKE_STUB(put_Method, LPCWSTR)
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override {
    if (Content) Content->AddRef();
    *content = Content;
    return S_OK;
  }
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
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
  ICoreWebView2WebResourceResponse* Response = nullptr;
  TFakeDeferral* Deferral = nullptr;  // given by the test when the handler may wait
  int Deferrals = 0;
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
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;
  HRESULT STDMETHODCALLTYPE
  get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) override {
    *context = Context;
    return S_OK;
  }
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

// NamesFrame: a runtime that tells the frame that asks (ICoreWebView2NewWindowRequestedEventArgs3).
class TFakeNewWindowArgs final : public TFakeCom<ICoreWebView2NewWindowRequestedEventArgs3> {
 public:
  std::wstring Uri;
  BOOL Handled = FALSE;
  BOOL UserInitiated = TRUE;
  bool NamesFrame = true;
  TFakeFrameInfo Frame;
  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_ICoreWebView2NewWindowRequestedEventArgs) ||
           (NamesFrame && (IsEqualIID(riid, IID_ICoreWebView2NewWindowRequestedEventArgs2) ||
                           IsEqualIID(riid, IID_ICoreWebView2NewWindowRequestedEventArgs3)));
  }
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
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override {
    *value = UserInitiated;
    return S_OK;
  }
  FAKE_STUB(GetDeferral, ICoreWebView2Deferral**)
  FAKE_STUB(get_WindowFeatures, IUnknown**)
  FAKE_STUB(get_Name, LPWSTR*)
  HRESULT STDMETHODCALLTYPE get_OriginalSourceFrameInfo(ICoreWebView2FrameInfo** info) override {
    Frame.AddRef();
    *info = &Frame;
    return S_OK;
  }
};

class TFakeNavigationStartingArgs final
    : public TFakeCom<ICoreWebView2NavigationStartingEventArgs> {
 public:
  std::wstring Uri;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
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

class TFakeDownloadOperation final : public TFakeCom<ICoreWebView2DownloadOperation> {
 public:
  std::wstring Uri;
  FAKE_STUB(add_BytesReceivedChanged, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_BytesReceivedChanged, EventRegistrationToken)
  FAKE_STUB(add_EstimatedEndTimeChanged, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_EstimatedEndTimeChanged, EventRegistrationToken)
  FAKE_STUB(add_StateChanged, IUnknown*, EventRegistrationToken*)
  FAKE_STUB(remove_StateChanged, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = CoString(Uri);
    return S_OK;
  }
};

class TFakeDownloadArgs final : public TFakeCom<ICoreWebView2DownloadStartingEventArgs> {
 public:
  TFakeDownloadOperation Operation;
  BOOL Cancel = FALSE;
  std::wstring ResultFilePath = L"C:\\Users\\me\\Downloads\\report.pdf";
  bool PathSet = false;
  TFakeDeferral Deferral;
  int Deferrals = 0;
  HRESULT STDMETHODCALLTYPE get_DownloadOperation(ICoreWebView2DownloadOperation** op) override {
    Operation.AddRef();
    *op = &Operation;
    return S_OK;
  }
  FAKE_STUB(get_Cancel, BOOL*)
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    Cancel = cancel;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* path) override {
    *path = CoString(ResultFilePath);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR path) override {
    ResultFilePath = path;
    PathSet = true;
    return S_OK;
  }
  FAKE_STUB(get_Handled, BOOL*)
  FAKE_STUB(put_Handled, BOOL)
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override {
    ++Deferrals;
    Deferral.AddRef();
    *deferral = &Deferral;
    return S_OK;
  }
};

inline HRESULT STDMETHODCALLTYPE TFakeResourceArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
  if (!Deferral) return E_NOTIMPL;
  ++Deferrals;
  Deferral->AddRef();
  *deferral = Deferral;
  return S_OK;
}

#undef FAKE_STUB

}  // namespace velloc::test::webview2
