// The application's origin on WebView2. Chromium gives a "file:" document an opaque origin: no
// fetch of "file:" URLs, no module scripts or workers, no secure context, and every file an
// origin of its own for storage. So the application's pages live at one made-up secure origin,
// answered from memory through WebResourceRequested, while the runtime keeps speaking
// "file:///" as the Linux side does: the backend maps "file:///x" onto the origin when it
// navigates and maps the origin back to "file:///x" before it asks the core.
//
// https, so that a request which never reached our handler (a pop-up window of WebView2's own,
// a request kind the filter misses) ends in a certificate error rather than in whatever answers
// there: nobody can hold a certificate for the name. ".localhost" (RFC 6761), because Chromium
// resolves it itself: no name lookup leaves the machine or delays the page, as made-up names
// under other domains do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/WebView.h"

namespace velloc::platform::webview2 {

inline constexpr std::string_view kApplicationOrigin = "https://velloc.localhost";
// The request filter of the origin.
inline constexpr const wchar_t* kApplicationFilter = L"https://velloc.localhost/*";

// "file:///x" (letter case of the scheme ignored) → "https://velloc.localhost/x"; any other URI
// unchanged.
std::string ToApplicationUri(std::string_view uri);

// "https://velloc.localhost/x" (letter case of scheme and host ignored) → "file:///x", and the
// bare origin → "file:///"; any other URI unchanged. Nothing is decoded.
std::string ToFileUri(std::string_view uri);

// A URI of the application origin.
bool IsApplicationUri(std::string_view uri);

// What a request to the origin tells of where it comes from, as WebView2 reports it.
struct TRequestFacts {
  std::string Uri;
  std::string Method = "GET";
  std::optional<std::string> Origin;
  std::optional<std::string> Referer;
  // Fetch metadata, which Chromium sets on every request; a page can neither forge nor drop it
  // (Origin and Referer it can drop, with referrerpolicy="no-referrer").
  std::optional<std::string> FetchSite;  // Sec-Fetch-Site
  std::optional<std::string> FetchDest;  // Sec-Fetch-Dest
  std::optional<std::string> Range;
  bool IsDocument = false;  // a navigation (resource context "document")
  bool IsMedia = false;     // a media element's load (resource context "media")
};

// Application: an application document asks, or it is the navigation the backend itself
// started. Foreign: another origin asks. Unproven: nothing says who asks (a navigation of the
// browser or the user; without fetch metadata, a request with neither Origin nor Referer).
// Sec-Fetch-Site decides where Chromium sends it: "same-origin" is an application document
// (every document of the origin is one), "cross-site" and "same-site" are documents of other
// origins (a same-site one would be another port or name under velloc.localhost, which is the
// loopback: some other program's page), "none" no document at all. Without it, the Origin and
// Referer headers decide. A header that names another origin makes any request foreign.
enum class TRequestSource { Application, Unproven, Foreign };
TRequestSource JudgeRequest(const TRequestFacts& request, std::string_view ownNavigation);

// A complete answer: status, reason phrase, header lines (joined by "\n", as WebView2 takes
// them) and the content (empty for errors).
struct TResourceAnswer {
  int StatusCode = 200;
  std::string ReasonPhrase = "OK";
  std::string Headers;
  TWebResourceResponse Content;
};

// The answer to a request of the application origin, or no value for any other URI (the web
// view's own business). The core looks the file up (package, beside the executable, absolute
// path); another origin gets 403, an unproven request 403 for a file on disk (a page of the
// package is no secret of the machine, a file a download put somewhere could be), nothing found
// 404, all with an empty body: nothing of the origin ever reaches the network. Every answer,
// errors too, forbids framing by documents of other origins, so a remote frame cannot hold a
// document of the application's origin (which would get the document scripts, and reach the
// bridge of the page around it). A media element's open-ended range gets at most
// browser::kOpenRangePart: WebView2 reads an answer to its end even when the player has
// moved on.
std::optional<TResourceAnswer> AnswerApplicationRequest(IWebViewEvents& events,
                                                        const TRequestFacts& request,
                                                        std::string_view ownNavigation);

// An error answer of the origin (403, 404), with an empty body and the framing headers.
TResourceAnswer ApplicationErrorAnswer(int statusCode);

// The Content-Type header's value: the type with "; charset=utf-8", except for WebAssembly,
// whose streaming compile takes exactly "application/wasm".
std::string ContentTypeValue(std::string_view mimeType);

}  // namespace velloc::platform::webview2
