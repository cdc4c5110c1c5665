// The web view as the core sees it. Each platform backend implements IWebView and calls back
// into IWebViewEvents on the UI thread; names follow the operations the core relies on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::platform {

// The settings the browser form applies after creation, in its order.
struct TWebViewSettings {
  bool IsScriptEnabled = true;
  bool IsWebMessageEnabled = true;
  bool IsBuiltInErrorPageEnabled = true;
  bool AreDefaultScriptDialogsEnabled = true;
  bool AreDevToolsEnabled = false;
  bool IsPinchZoomEnabled = false;
  bool IsZoomControlEnabled = false;
  bool AreBrowserAcceleratorKeysEnabled = false;
  bool AreDefaultContextMenusEnabled = false;
  bool IsStatusBarEnabled = false;
  bool IsGeneralAutofillEnabled = false;
  bool IsSwipeNavigationEnabled = false;
  bool IsPasswordAutosaveEnabled = false;
  bool IsReputationCheckingRequired = false;
  int HiddenPdfToolbarItems = 0;
};

// A response body that the web view reads in parts as it goes: a large package entry, decrypted
// from the package only where it is read. Read may come from any thread, and from several
// copies of a stream at once: implementations lock.
class IResponseBody {
 public:
  virtual ~IResponseBody() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` with the bytes at `offset` (the range lies inside the body); false when they
  // cannot be read, which fails the response.
  virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A complete answer to a resource request: the body handed over as is, or read in parts as the
// web view asks, or, for a file on disk, the file's path: the backend streams it, so a file of
// any size costs no more memory than the web view's own buffers. Package entries answer single
// byte ranges (browser::ApplyRange): 206 with the part, or 416 for a range beyond the end.
struct TWebResourceResponse {
  std::unique_ptr<std::vector<std::uint8_t>> Body;
  std::unique_ptr<IResponseBody> Stream;  // used when Body is null
  std::string FilePath;                   // used when Body and Stream are null
  std::string MimeType;  // the header becomes "Content-Type: <MimeType>; charset=utf-8"
  int StatusCode = 200;
  std::string ContentRange;    // the Content-Range header of a 206 or 416 answer
  bool AcceptsRanges = false;  // "Accept-Ranges: bytes"
};

// One message posted by a page through window.chrome.webview.postMessage.
struct TWebMessageEvent {
  std::string_view Json;       // the message as JSON text
  std::string_view SourceUri;  // URI of the document (frame) that posted it
  // Answers the posting document; at most once, also through a copy. It may be kept and called
  // after the event, for an answer that comes later.
  std::function<void(std::string_view json)> Reply;
};

// A protected capability that a page asks for.
enum class TPermissionKind {
  Camera,
  Microphone,
  CameraAndMicrophone,
  Location,
  Notifications,
  ScreenCapture,
  PointerLock,
  MediaDevices,
  ProtectedMedia,
  Clipboard,
  StorageAccess,
  Other
};

enum class TPermissionState { Allow, Deny, Ask };

// The answer to a permission request. Ask: the backend asks the user with Question (a yes/no
// question) and reports the answer through BrowserPermissionAnswered.
struct TPermissionDecision {
  TPermissionState State = TPermissionState::Deny;
  std::string Question;
};

// A download that a page starts: a link with a download attribute, or a response that is an
// attachment. WebKit and WebView2 name the view that downloads, not the frame.
struct TDownloadRequest {
  std::string Uri;       // what is downloaded ("file:" for the package scheme)
  std::string PageUri;   // the top document of the view that downloads
  bool InPopup = false;  // the view is a pop-up window the application opened
  // The origins of the documents of other origins that the page has shown in its frames.
  std::vector<std::string> ForeignOrigins;
};

// Refused, or asked where to save with a dialog of this title. Never saved unasked.
struct TDownloadDecision {
  bool Ask = false;
  std::string Title;
};

// Answers "file:///" requests like IWebViewEvents::BrowserWebResourceRequested, from any thread
// and from several at once: it holds its own copies of what it needs.
using TWebResourceResolver =
    std::function<std::optional<TWebResourceResponse>(std::string_view uri)>;

class IWebViewEvents {
 public:
  virtual ~IWebViewEvents() = default;
  virtual void BrowserAfterCreated() = 0;
  // The web view cannot be made: its environment or its controller failed, or the platform has
  // none to give. `reason` says what failed and why (with the system's error code). May come
  // from inside an event of the web view, so it must not show anything modal there.
  virtual void BrowserCreationFailed(std::string_view reason) = 0;
  // Called for every "file:///" request (the backend maps its own package scheme back to
  // "file:///" first). No value means: let the web view fail the load in its own way.
  virtual std::optional<TWebResourceResponse> BrowserWebResourceRequested(std::string_view uri) = 0;
  // The same answers for backends that extract and read off the UI thread; empty when requests
  // must be answered on the UI thread. Asked for again before each request.
  virtual TWebResourceResolver BrowserResourceResolver() { return {}; }
  virtual void BrowserWebMessageReceived(const TWebMessageEvent& message) = 0;
  virtual void BrowserDocumentTitleChanged() = 0;
  virtual void BrowserNavigationStarting() = 0;
  virtual void BrowserNavigationCompleted() = 0;
  virtual void BrowserDOMContentLoaded() = 0;
  // The process that renders the page ended (crashed, killed, out of memory).
  virtual void BrowserProcessFailed() = 0;
  // The page's process stopped answering (a long computation, a loop) or answers again. Raised
  // when that changes; the page and its state are still there.
  virtual void BrowserResponsivenessChanged(bool responsive) = 0;
  // A page asks for a new window (a script's window.open, a link with a new-window target).
  // Both URIs are "file:" for the application's pages (the backend maps its package scheme).
  // openerUri is the document that asks, as the backend knows it from what the engine itself
  // says (never from the page's own script): an application document, also standing for a
  // document of the application's origin without an address of its own (about:blank); a
  // document of another origin; or empty when the backend cannot tell. True when the request
  // was handled and the web view must open no window of its own.
  virtual bool BrowserNewWindowRequested(std::string_view uri, std::string_view openerUri) = 0;
  // The document pageUri (mapped as above) asks for a permission.
  virtual TPermissionDecision BrowserPermissionRequested(std::string_view pageUri,
                                                         TPermissionKind kind) = 0;
  // The user's answer to the question of a decision that said Ask.
  virtual void BrowserPermissionAnswered(std::string_view pageUri, TPermissionKind kind,
                                         bool allowed) = 0;
  // Refused unless the owner says otherwise: nothing is saved unasked.
  virtual TDownloadDecision BrowserDownloadRequested(const TDownloadRequest& request) {
    (void)request;
    return {};
  }
};

class IWebView {
 public:
  virtual ~IWebView() = default;
  virtual void AddScriptToExecuteOnDocumentCreated(std::string_view script) = 0;
  virtual void ApplySettings(const TWebViewSettings& settings) = 0;
  virtual void Navigate(std::string_view uri) = 0;
  virtual void ExecuteScript(std::string_view script) = 0;  // never awaited
  // Runs the script in the top document only if that document, when the script runs, is one of
  // the application's; otherwise the script is dropped. Never awaited.
  virtual void ExecuteScriptInApplicationDocument(std::string_view script) = 0;
  // The URI of the top document shown now (loaded, not one still being asked for), "file:" for
  // the application's pages as in IWebViewEvents; empty before the first.
  virtual std::string DocumentUri() const = 0;
  virtual std::string DocumentTitle() const = 0;
  virtual double ZoomFactor() const = 0;
  virtual void SetZoomFactor(double factor) = 0;
  virtual bool IsVisible() const = 0;
  virtual void MoveFocus() = 0;
  // Loads the page again, also one whose process does not answer: where the engine would wait
  // for that process, the backend ends it first.
  virtual void Reload() = 0;
  // Shows a document made of this HTML, with no access to the package or the bridge.
  virtual void NavigateToString(std::string_view html) = 0;
  // False while the page's process does not answer (hung, or gone).
  virtual bool IsResponsive() const = 0;
};

}  // namespace velloc::platform
