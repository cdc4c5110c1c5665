#include "platform/webkit/Uris.h"

#include "package/DevelopmentPackage.h"

namespace velloc::webkit {
namespace {

std::string GDevelopmentOrigin;

bool IsPackageOrFileUri(std::string_view uri) {
  return StartsWithNoCase(uri, "vlx:") || StartsWithNoCase(uri, "file:");
}

}  // namespace

void SetDevelopmentOrigin(std::string origin) {
  GDevelopmentOrigin = std::move(origin);
}

const std::string& DevelopmentOrigin() {
  return GDevelopmentOrigin;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

std::string ToPackageUri(std::string_view uri) {
  if (!StartsWithNoCase(uri, "file:///")) return std::string(uri);
  return std::string(kPackageScheme) + ":///" + std::string(uri.substr(8));
}

std::string ToFileUri(std::string_view uri) {
  if (!StartsWithNoCase(uri, "vlx:")) return std::string(uri);
  return "file:" + std::string(uri.substr(4));
}

std::string ToForwardingUri(std::string_view uri) {
  return std::string(kForwardingScheme) + ":" + std::string(uri);
}

std::string FromForwardingUri(std::string_view uri) {
  const std::string prefix = std::string(kForwardingScheme) + ":";
  if (!StartsWithNoCase(uri, prefix)) return {};
  uri.remove_prefix(prefix.size());
  if (!StartsWithNoCase(uri, "http://") && !StartsWithNoCase(uri, "https://")) return {};
  return std::string(uri);
}

std::string ContentTypeHeader(std::string_view mimeType) {
  if (mimeType == "application/wasm") return std::string(mimeType);
  return std::string(mimeType) + "; charset=utf-8";
}

bool IsApplicationUri(std::string_view uri) {
  return IsPackageOrFileUri(uri) || package::IsDevelopmentDocument(uri, GDevelopmentOrigin);
}

bool IsApplicationOrigin(std::string_view origin) {
  return origin == kApplicationOrigin ||
         (!GDevelopmentOrigin.empty() && origin == GDevelopmentOrigin);
}

bool IsApplicationRequest(const char* origin, const char* referer) {
  // Package documents have the origin "vlx://"; WebKit sends it on every CORS-mode request.
  // The package scheme is local, so WebKit gives it to local documents only; a development
  // server's pages reach package pages through the runtime (vlx.app.navigate, new windows).
  if (origin && std::string_view(origin) != kApplicationOrigin) return false;
  return !referer || IsPackageOrFileUri(referer);
}

}  // namespace velloc::webkit
