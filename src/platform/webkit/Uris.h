// The runtime speaks "file:///" for package pages; WebKit refuses handlers for "file", so the
// module serves them under its own scheme and swaps the prefix both ways.
#pragma once

#include <string>
#include <string_view>

namespace velloc::webkit {

inline constexpr std::string_view kPackageScheme = "vlx";
// The origin of every package document, as WebKit sends it in Origin headers.
inline constexpr std::string_view kApplicationOrigin = "vlx://";
// Cross-origin requests of application documents, forwarded by the runtime:
// "vlx-net:https://host/path".
inline constexpr std::string_view kForwardingScheme = "vlx-net";
// "include" on a forwarded request: the page asked for it with credentials (fetch's
// `credentials: "include"`, XHR's withCredentials). WebKit tells neither its web-process
// extension nor a scheme handler the credentials mode, so the application documents' fetch and
// XHR say it with this header (ForwardedCredentials.js); the forwarder takes it off. Without it
// a read carries no cookies and keeps none, as the engine's own cross-origin reads in the
// modes "same-origin" (the default) and "omit". A page that sets the header itself only asks
// for what `credentials: "include"` gives its own request.
inline constexpr std::string_view kCredentialsHeader = "Velloc-Credentials";

bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// "file:///x" → "vlx:///x"; any other URI unchanged.
std::string ToPackageUri(std::string_view uri);

// "vlx:..." → "file:..."; any other URI unchanged.
std::string ToFileUri(std::string_view uri);

// "https://host/x" → "vlx-net:https://host/x", and back; the way back is empty for anything
// that is not a forwarded web address.
std::string ToForwardingUri(std::string_view uri);
std::string FromForwardingUri(std::string_view uri);

// The origin of the development server that `velloc run --url` shows, whose pages count as the
// application's in that session only (package/DevelopmentPackage.h); empty otherwise. Set once
// in each process, before any page loads: by the runtime from start-up's decision, and by the
// web-process extension from what the runtime hands it.
void SetDevelopmentOrigin(std::string origin);
const std::string& DevelopmentOrigin();

// The application's own documents: package pages ("vlx:") and "file:" URIs, and the pages of
// the development server in its session.
bool IsApplicationUri(std::string_view uri);

// The origins of application documents as WebKit writes them: "vlx://", and the development
// server's in its session.
bool IsApplicationOrigin(std::string_view origin);

// Whether a package-scheme request comes from an application document, judged by its Origin
// and Referer headers (null when absent). A request that names another origin (a remote page,
// or an opaque "null" one) is refused; one without either header is a navigation or a
// no-cors load, which WebKit already allows only to local documents.
bool IsApplicationRequest(const char* origin, const char* referer);

// The Content-Type header of a package response: the type with "; charset=utf-8", except for
// WebAssembly, whose streaming compile accepts exactly "application/wasm" and nothing after it.
std::string ContentTypeHeader(std::string_view mimeType);

}  // namespace velloc::webkit
