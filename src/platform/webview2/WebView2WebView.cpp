#include "platform/webview2/WebView2WebView.h"

#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <shlwapi.h>

#include "browser/PermissionPolicy.h"
#include "platform/webview2/WebView2BodyStream.h"
#include "platform/webview2/WebView2Handler.h"
#include "platform/webview2/WebView2Origin.h"
#include "platform/win32/Win32FileDialogs.h"

namespace velloc::embedded {
extern const std::string_view ApplicationPage;
}  // namespace velloc::embedded

namespace velloc::platform::webview2 {

void ReportHandlerFault(const char* what) {
  std::fprintf(stderr, "velloc: a WebView2 handler failed: %s\n", what);
  OutputDebugStringA(what);
}

std::string ApplicationPageScript() {
  return std::string(embedded::ApplicationPage) + "(\"" + std::string(kApplicationOrigin) + "\");";
}

namespace {

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

std::optional<std::string> AskWithSaveDialog(const std::string& title, const std::string& path) {
  TWin32FileDialogs dialogs;
  return dialogs.SaveFile(path, title, {}, true);
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

// Every header of a request, in order.
THeaderList RequestHeaders(ICoreWebView2WebResourceRequest* request) {
  THeaderList list;
  TComPtr<IUnknown> any;
  if (FAILED(request->get_Headers(any.Put())) || !any) return list;
  const auto headers = any.As<ICoreWebView2HttpRequestHeaders>();
  TComPtr<IUnknown> anyIterator;
  if (!headers || FAILED(headers->GetIterator(anyIterator.Put())) || !anyIterator) return list;
  const auto iterator = anyIterator.As<ICoreWebView2HttpHeadersCollectionIterator>();
  if (!iterator) return list;
  BOOL has = FALSE;
  for (iterator->get_HasCurrentHeader(&has); has;) {
    LPWSTR name = nullptr;
    LPWSTR value = nullptr;
    if (FAILED(iterator->GetCurrentHeader(&name, &value))) break;
    list.emplace_back(TakeCoTaskString(name), TakeCoTaskString(value));
    if (FAILED(iterator->MoveNext(&has))) break;
  }
  return list;
}

// The request's body whole, or nothing when it cannot be read to its end or is larger than a
// forwarded request may be: a part of it must never reach the server as if it were all.
std::optional<std::vector<std::uint8_t>> RequestBody(ICoreWebView2WebResourceRequest* request) {
  std::vector<std::uint8_t> body;
  TComPtr<IStream> stream;
  if (FAILED(request->get_Content(stream.Put())) || !stream) return body;
  std::uint8_t buffer[16384];
  for (;;) {
    ULONG read = 0;
    if (FAILED(stream->Read(buffer, sizeof buffer, &read))) return std::nullopt;
    if (read == 0) return body;
    if (body.size() + read > TWinHttpForwarder::kMaxBodyBytes) return std::nullopt;
    body.insert(body.end(), buffer, buffer + read);
  }
}

// A blob of the application origin is the application's, as "file:" URIs are.
std::string ToFileBlobUri(const std::string& uri) {
  constexpr std::string_view blob = "blob:";
  if (uri.compare(0, blob.size(), blob) != 0) return ToFileUri(uri);
  return std::string(blob) + ToFileUri(std::string_view(uri).substr(blob.size()));
}

}  // namespace

HRESULT TWebView2WebView::Create(ICoreWebView2Environment* environment, HWND parent,
                                 IWebViewEvents& events, TCreated created,
                                 TWebView2Options options) {
  if (environment == nullptr || !created) return E_POINTER;
  auto environmentRef = TComPtr<ICoreWebView2Environment>::Share(environment);
  auto* handler =
      TWebView2Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                       ICoreWebView2Controller*>::Create([environmentRef, &events, created,
                                                          options](
                                                             HRESULT result,
                                                             ICoreWebView2Controller* controller) {
        if (FAILED(result) || controller == nullptr) {
          created(nullptr, FAILED(result) ? result : E_FAIL);
          return S_OK;
        }
        auto view =
            std::make_unique<TWebView2WebView>(environmentRef.Get(), controller, events, options);
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
                                   TWebView2Options options)
    : FEnvironment(TComPtr<ICoreWebView2Environment>::Share(environment)),
      FController(TComPtr<ICoreWebView2Controller>::Share(controller)),
      FEvents(events),
      FOptions(std::move(options)),
      FAlive(std::make_shared<TWebView2WebView*>(this)) {
  if (!FOptions.Asker) FOptions.Asker = AskWithMessageBox;
  if (!FOptions.Poster) FOptions.Poster = PostToUiThread;
  if (!FOptions.SaveAsker) FOptions.SaveAsker = AskWithSaveDialog;
  if (FOptions.CrossOriginReads && !FOptions.Forwarder) {
    FOwnForwarder = std::make_unique<TWinHttpForwarder>();
    FOptions.Forwarder = FOwnForwarder->Forwarder();
  }
  FController->get_CoreWebView2(FWebView.Put());
  if (FWebView) Attach();
}

TWebView2WebView::~TWebView2WebView() {
  FAlive.reset();
  for (auto remove = FRemovers.rbegin(); remove != FRemovers.rend(); ++remove)
    (*remove)();
  FRemovers.clear();
  for (const auto& frame : FFrames) {
    if (frame->Messages) frame->Messages->remove_WebMessageReceived(frame->Message);
    frame->Frame->remove_Destroyed(frame->Destroyed);
  }
  FFrames.clear();
  if (FController) FController->Close();
}

void TWebView2WebView::AddFilters() {
  // Shared and service workers of the application reach the handler only through the filter
  // of ICoreWebView2_22; older runtimes serve documents and dedicated workers.
  const auto withKinds = FWebView.As<ICoreWebView2_22>();
  const auto add = [&](LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    if (withKinds) {
      withKinds->AddWebResourceRequestedFilterWithRequestSourceKinds(
          uri, context, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
    } else {
      FWebView->AddWebResourceRequestedFilter(uri, context);
    }
  };
  // The application origin alone: every request a filter matches passes the UI thread.
  add(kApplicationFilter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  if (FOptions.CrossOriginReads) {
    add(L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH);
    add(L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST);
  }
}

void TWebView2WebView::Attach() {
  FWebView->AddScriptToExecuteOnDocumentCreated(ToWide(ApplicationPageScript()).c_str(), nullptr);
  AddFilters();

  // Registers one event on `target`: the handler object, and how to undo it when the view goes.
  auto listen = [this](auto target, auto addMethod, auto removeMethod, auto* handler) {
    EventRegistrationToken token{};
    if (SUCCEEDED((target.Get()->*addMethod)(handler, &token))) {
      FRemovers.push_back([target, removeMethod, token] { (target.Get()->*removeMethod)(token); });
    }
    handler->Release();
    return token;
  };
  const TComPtr<ICoreWebView2>& view = FWebView;
  listen(view, &ICoreWebView2::add_WebResourceRequested,
         &ICoreWebView2::remove_WebResourceRequested,
         TWebView2Handler<ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*,
                          ICoreWebView2WebResourceRequestedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
               return WebResourceRequested(args);
             }));
  listen(view, &ICoreWebView2::add_WebMessageReceived, &ICoreWebView2::remove_WebMessageReceived,
         TWebView2Handler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                          ICoreWebView2WebMessageReceivedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
               return WebMessageReceived(args, {});
             }));
  listen(view, &ICoreWebView2::add_NavigationStarting, &ICoreWebView2::remove_NavigationStarting,
         TWebView2Handler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                          ICoreWebView2NavigationStartingEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*) {
               FProcessFailed = false;
               FForeignOrigins.clear();
               FEvents.BrowserNavigationStarting();
               return S_OK;
             }));
  // Every frame's navigations, nested ones too: the origins a download's question names.
  listen(view, &ICoreWebView2::add_FrameNavigationStarting,
         &ICoreWebView2::remove_FrameNavigationStarting,
         static_cast<IUnknown*>(
             TWebView2Handler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                              ICoreWebView2NavigationStartingEventArgs*>::
                 Create([this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
                   NoteFrameNavigation(args);
                   return S_OK;
                 })));
  listen(view, &ICoreWebView2::add_NavigationCompleted, &ICoreWebView2::remove_NavigationCompleted,
         TWebView2Handler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                          ICoreWebView2NavigationCompletedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*) {
               FEvents.BrowserNavigationCompleted();
               return S_OK;
             }));
  listen(view, &ICoreWebView2::add_DocumentTitleChanged,
         &ICoreWebView2::remove_DocumentTitleChanged,
         TWebView2Handler<ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*,
                          IUnknown*>::Create([this](ICoreWebView2*, IUnknown*) {
           FEvents.BrowserDocumentTitleChanged();
           return S_OK;
         }));
  listen(view, &ICoreWebView2::add_ProcessFailed, &ICoreWebView2::remove_ProcessFailed,
         TWebView2Handler<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                          ICoreWebView2ProcessFailedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
               return ProcessFailed(args);
             }));
  listen(view, &ICoreWebView2::add_NewWindowRequested, &ICoreWebView2::remove_NewWindowRequested,
         TWebView2Handler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                          ICoreWebView2NewWindowRequestedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
               return NewWindowRequested(args);
             }));
  listen(view, &ICoreWebView2::add_PermissionRequested, &ICoreWebView2::remove_PermissionRequested,
         TWebView2Handler<ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*,
                          ICoreWebView2PermissionRequestedEventArgs*>::
             Create([this](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
               return PermissionRequested(args);
             }));
  // DOMContentLoaded came with the second interface; older runtimes lack it.
  if (const auto view2 = FWebView.As<ICoreWebView2_2>()) {
    listen(view2, &ICoreWebView2_2::add_DOMContentLoaded, &ICoreWebView2_2::remove_DOMContentLoaded,
           TWebView2Handler<ICoreWebView2DOMContentLoadedEventHandler, ICoreWebView2*,
                            IUnknown*>::Create([this](ICoreWebView2*, IUnknown*) {
             FEvents.BrowserDOMContentLoaded();
             return S_OK;
           }));
  }
  // Frames and downloads came with the fourth.
  if (const auto view4 = FWebView.As<ICoreWebView2_4>()) {
    const std::size_t before = FRemovers.size();
    listen(view4, &ICoreWebView2_4::add_FrameCreated, &ICoreWebView2_4::remove_FrameCreated,
           TWebView2Handler<ICoreWebView2FrameCreatedEventHandler, ICoreWebView2*,
                            ICoreWebView2FrameCreatedEventArgs*>::
               Create([this](ICoreWebView2*, ICoreWebView2FrameCreatedEventArgs* args) {
                 return FrameCreated(args);
               }));
    FHasFrameEvents = FRemovers.size() > before;
    listen(view4, &ICoreWebView2_4::add_DownloadStarting, &ICoreWebView2_4::remove_DownloadStarting,
           TWebView2Handler<ICoreWebView2DownloadStartingEventHandler, ICoreWebView2*,
                            ICoreWebView2DownloadStartingEventArgs*>::
               Create([this](ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
                 return DownloadStarting(args);
               }));
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
  std::string uri = TakeCoTaskString(rawUri);
  LPWSTR rawMethod = nullptr;
  std::string method =
      SUCCEEDED(request->get_Method(&rawMethod)) ? TakeCoTaskString(rawMethod) : std::string("GET");
  THeaderList headers = RequestHeaders(request.Get());

  if (IsApplicationUri(uri)) {
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL;
    args->get_ResourceContext(&context);
    TRequestFacts facts;
    facts.Uri = std::move(uri);
    facts.Method = std::move(method);
    facts.Origin = HeaderValue(headers, "Origin");
    facts.Referer = HeaderValue(headers, "Referer");
    facts.FetchSite = HeaderValue(headers, "Sec-Fetch-Site");
    facts.FetchDest = HeaderValue(headers, "Sec-Fetch-Dest");
    facts.Range = HeaderValue(headers, "Range");
    facts.IsDocument = context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
    facts.IsMedia = context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA;
    std::optional<TResourceAnswer> answer =
        AnswerApplicationRequest(FEvents, facts, FOwnNavigation);
    return answer ? PutAnswer(args, std::move(*answer)) : S_OK;
  }
  // Everything else is the web view's own business, but for the cross-origin reads of the
  // application's documents when the application asked for them.
  if (!FOptions.CrossOriginReads || !IsCrossOriginReadOfApplication(uri, headers)) return S_OK;
  if (auto preflight = PreflightAnswer(method, headers))
    return PutAnswer(args, std::move(*preflight));
  return ForwardCrossOriginRead(args, request.Get(), std::move(uri), std::move(headers));
}

HRESULT TWebView2WebView::ForwardCrossOriginRead(ICoreWebView2WebResourceRequestedEventArgs* args,
                                                 ICoreWebView2WebResourceRequest* request,
                                                 std::string uri, THeaderList headers) {
  TForwardRequest forward;
  LPWSTR rawMethod = nullptr;
  if (SUCCEEDED(request->get_Method(&rawMethod))) forward.Method = TakeCoTaskString(rawMethod);
  forward.Uri = std::move(uri);
  forward.Headers = ForwardedRequestHeaders(headers);
  std::optional<std::vector<std::uint8_t>> body = RequestBody(request);
  if (!body) return S_OK;  // goes on to the network, where CORS fails it as it would
  forward.Body = std::move(*body);
  TComPtr<ICoreWebView2Deferral> deferral;
  if (FAILED(args->GetDeferral(deferral.Put())) || !deferral) return S_OK;
  auto event = TComPtr<ICoreWebView2WebResourceRequestedEventArgs>::Share(args);
  std::weak_ptr<TWebView2WebView*> alive = FAlive;
  // Without an answer the request goes on to the network, where CORS fails it as it would.
  FOptions.Forwarder(std::move(forward),
                     [event, deferral, alive](std::optional<TForwardResponse> response) {
                       if (response) {
                         if (const auto view = alive.lock())
                           (*view)->PutAnswer(event.Get(), CrossOriginAnswer(std::move(*response)));
                       }
                       deferral->Complete();
                     });
  return S_OK;
}

HRESULT TWebView2WebView::PutAnswer(ICoreWebView2WebResourceRequestedEventArgs* args,
                                    TResourceAnswer answer) {
  TComPtr<IStream> stream = ResponseStream(answer.Content);
  if (!stream) {
    // The file went away or cannot be read since the lookup found it.
    answer = ApplicationErrorAnswer(404);
    stream = ResponseStream(answer.Content);
  }
  TComPtr<ICoreWebView2WebResourceResponse> response;
  if (FAILED(FEnvironment->CreateWebResourceResponse(
          stream.Get(), answer.StatusCode, ToWide(answer.ReasonPhrase).c_str(),
          ToWide(answer.Headers).c_str(), response.Put())) ||
      !response) {
    return S_OK;
  }
  return args->put_Response(response.Get());
}

HRESULT TWebView2WebView::WebMessageReceived(ICoreWebView2WebMessageReceivedEventArgs* args,
                                             TComPtr<ICoreWebView2Frame2> frame) {
  LPWSTR rawSource = nullptr;
  if (FAILED(args->get_Source(&rawSource))) return S_OK;
  const std::string source = TakeCoTaskString(rawSource);
  // Only an application document inside an application page reaches the bridge: a remote page,
  // or a frame of one, posts into nothing.
  if (!IsApplicationUri(source) || !IsApplicationUri(Source())) return S_OK;
  LPWSTR rawJson = nullptr;
  if (FAILED(args->get_WebMessageAsJson(&rawJson))) return S_OK;
  const std::string json = TakeCoTaskString(rawJson);
  const std::string fileSource = ToFileUri(source);
  // The way back may be kept and used after the event; copies share one state, and the first
  // answer counts. A view that is gone by then takes no answer. A frame's answer goes to it.
  auto answered = std::make_shared<bool>(false);
  std::weak_ptr<TWebView2WebView*> alive = FAlive;
  TWebMessageEvent event{json, fileSource, [answered, alive, frame](std::string_view reply) {
                           if (*answered) return;
                           const auto view = alive.lock();
                           if (!view) return;
                           *answered = true;
                           const std::wstring text = ToWide(reply);
                           if (frame) {
                             frame->PostWebMessageAsJson(text.c_str());
                           } else {
                             (*view)->FWebView->PostWebMessageAsJson(text.c_str());
                           }
                         }};
  FEvents.BrowserWebMessageReceived(event);
  return S_OK;
}

HRESULT TWebView2WebView::FrameCreated(ICoreWebView2FrameCreatedEventArgs* args) {
  auto frame = std::make_unique<TFrame>();
  if (FAILED(args->get_Frame(frame->Frame.Put())) || !frame->Frame) return S_OK;
  auto* destroyed =
      TWebView2Handler<ICoreWebView2FrameDestroyedEventHandler, ICoreWebView2Frame*,
                       IUnknown*>::Create([this](ICoreWebView2Frame* sender, IUnknown*) {
        FrameDestroyed(sender);
        return S_OK;
      });
  frame->Frame->add_Destroyed(destroyed, &frame->Destroyed);
  destroyed->Release();
  // A runtime with frames but not their messages: the frame still counts for the opener rule.
  frame->Messages = frame->Frame.As<ICoreWebView2Frame2>();
  if (frame->Messages) {
    const TComPtr<ICoreWebView2Frame2> target = frame->Messages;
    auto* message =
        TWebView2Handler<ICoreWebView2FrameWebMessageReceivedEventHandler, ICoreWebView2Frame*,
                         ICoreWebView2WebMessageReceivedEventArgs*>::
            Create([this, target](ICoreWebView2Frame*,
                                  ICoreWebView2WebMessageReceivedEventArgs* messageArgs) {
              return WebMessageReceived(messageArgs, target);
            });
    if (FAILED(frame->Messages->add_WebMessageReceived(message, &frame->Message)))
      frame->Messages.Reset();
    message->Release();
  }
  FFrames.push_back(std::move(frame));
  return S_OK;
}

void TWebView2WebView::FrameDestroyed(ICoreWebView2Frame* frame) {
  // COM identity: the sender may be another interface pointer of the same frame.
  const auto identity = [](IUnknown* object) {
    TComPtr<IUnknown> unknown;
    if (object) object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.Put()));
    return unknown.Get();
  };
  IUnknown* const gone = identity(frame);
  // The frame is gone and its handlers with it; only our reference goes. (Removing the handler
  // that is running would free it under our feet.)
  for (auto held = FFrames.begin(); held != FFrames.end(); ++held) {
    if (identity((*held)->Frame.Get()) != gone) continue;
    FFrames.erase(held);
    return;
  }
}

void TWebView2WebView::NoteFrameNavigation(ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return;
  LPWSTR rawUri = nullptr;
  if (FAILED(args->get_Uri(&rawUri))) return;
  const std::string uri = TakeCoTaskString(rawUri);
  if (IsApplicationUri(uri)) return;
  if (std::string origin = browser::OriginOf(uri); !origin.empty())
    FForeignOrigins.insert(std::move(origin));
}

std::string TWebView2WebView::OpenerOf(ICoreWebView2NewWindowRequestedEventArgs* args) const {
  TComPtr<ICoreWebView2NewWindowRequestedEventArgs> held =
      TComPtr<ICoreWebView2NewWindowRequestedEventArgs>::Share(args);
  if (const auto withFrame = held.As<ICoreWebView2NewWindowRequestedEventArgs3>()) {
    TComPtr<ICoreWebView2FrameInfo> info;
    LPWSTR source = nullptr;
    if (SUCCEEDED(withFrame->get_OriginalSourceFrameInfo(info.Put())) && info &&
        SUCCEEDED(info->get_Source(&source))) {
      return ToFileUri(TakeCoTaskString(source));
    }
    return {};
  }
  // An older runtime does not say which frame asks: the top document only while there is no
  // frame that could have (a runtime without frame events cannot tell at all).
  if (FHasFrameEvents && !FFrames.empty()) return {};
  return ToFileUri(Source());
}

HRESULT TWebView2WebView::NewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args) {
  LPWSTR rawUri = nullptr;
  if (FAILED(args->get_Uri(&rawUri))) return S_OK;
  const std::string uri = ToFileUri(TakeCoTaskString(rawUri));
  const std::string opener = OpenerOf(args);
  bool handled = FEvents.BrowserNewWindowRequested(uri, opener);
  // A pop-up window of WebView2's own: a document that is not the application's opens one only
  // on a user gesture.
  if (!handled && !browser::IsApplicationDocument(opener)) {
    BOOL userInitiated = FALSE;
    if (FAILED(args->get_IsUserInitiated(&userInitiated)) || !userInitiated) handled = true;
  }
  return args->put_Handled(handled ? TRUE : FALSE);
}

HRESULT TWebView2WebView::PermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args) {
  LPWSTR rawUri = nullptr;
  COREWEBVIEW2_PERMISSION_KIND rawKind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
  if (FAILED(args->get_Uri(&rawUri))) return S_OK;
  // WebView2 names the document that asks, frames included.
  const std::string uri = ToFileUri(TakeCoTaskString(rawUri));
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
  FOptions.Poster([request, deferral, alive, uri, kind, question = decision.Question] {
    bool allowed = false;
    if (const auto view = alive.lock()) {
      allowed = (*view)->FOptions.Asker(question);
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

HRESULT TWebView2WebView::DownloadStarting(ICoreWebView2DownloadStartingEventArgs* args) {
  TComPtr<ICoreWebView2DownloadOperation> operation;
  LPWSTR rawUri = nullptr;
  if (FAILED(args->get_DownloadOperation(operation.Put())) || !operation ||
      FAILED(operation->get_Uri(&rawUri))) {
    return args->put_Cancel(TRUE);
  }
  TDownloadRequest request;
  request.Uri = ToFileBlobUri(TakeCoTaskString(rawUri));
  request.PageUri = ToFileUri(Source());
  request.ForeignOrigins.assign(FForeignOrigins.begin(), FForeignOrigins.end());
  const TDownloadDecision decision = FEvents.BrowserDownloadRequested(request);
  if (!decision.Ask) return args->put_Cancel(TRUE);
  LPWSTR rawPath = nullptr;
  const std::string proposed =
      SUCCEEDED(args->get_ResultFilePath(&rawPath)) ? TakeCoTaskString(rawPath) : std::string();
  // Never saved unasked: the download waits on its deferral while the user chooses where, one
  // question at a time.
  TComPtr<ICoreWebView2Deferral> deferral;
  if (FAILED(args->GetDeferral(deferral.Put())) || !deferral) return args->put_Cancel(TRUE);
  auto event = TComPtr<ICoreWebView2DownloadStartingEventArgs>::Share(args);
  std::weak_ptr<TWebView2WebView*> alive = FAlive;
  FDownloadQuestions.push_back([event, deferral, alive, title = decision.Title, proposed] {
    std::optional<std::string> path;
    if (const auto view = alive.lock()) path = (*view)->FOptions.SaveAsker(title, proposed);
    if (path && !path->empty()) {
      event->put_ResultFilePath(ToWide(*path).c_str());
    } else {
      event->put_Cancel(TRUE);
    }
    deferral->Complete();
    if (const auto view = alive.lock()) {
      (*view)->FAskingDownload = false;
      (*view)->AskNextDownload();
    }
  });
  AskNextDownload();
  return S_OK;
}

void TWebView2WebView::AskNextDownload() {
  if (FAskingDownload || FDownloadQuestions.empty()) return;
  FAskingDownload = true;
  std::function<void()> question = std::move(FDownloadQuestions.front());
  FDownloadQuestions.pop_front();
  FOptions.Poster(std::move(question));
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
  if (!FWebView) return;
  FOwnNavigation = ToApplicationUri(uri);
  FWebView->Navigate(ToWide(FOwnNavigation).c_str());
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
  if (!FWebView) return;
  // A reload that the runtime asks for asks again for the document it shows, without a referrer.
  FOwnNavigation = Source();
  FWebView->Reload();
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
