#include "browser/CrossOriginReads.h"

#include <vector>

#include "browser/PermissionPolicy.h"
#include "core/Text.h"

namespace velloc::browser {
namespace {

// The five parts of a URI reference (RFC 3986, 3); an absent part is not an empty one.
struct TUriParts {
  std::optional<std::string_view> Scheme;
  std::optional<std::string_view> Authority;
  std::string_view Path;
  std::optional<std::string_view> Query;
};

TUriParts Split(std::string_view uri) {
  TUriParts parts;
  uri = uri.substr(0, uri.find('#'));
  const std::size_t colon = uri.find(':');
  if (colon != std::string_view::npos && colon > 0 && colon < uri.find_first_of("/?")) {
    bool scheme = (uri[0] >= 'a' && uri[0] <= 'z') || (uri[0] >= 'A' && uri[0] <= 'Z');
    for (std::size_t i = 1; scheme && i < colon; ++i) {
      const char c = uri[i];
      scheme = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '+' || c == '-' || c == '.';
    }
    if (scheme) {
      parts.Scheme = uri.substr(0, colon);
      uri.remove_prefix(colon + 1);
    }
  }
  if (uri.substr(0, 2) == "//") {
    uri.remove_prefix(2);
    const std::size_t end = uri.find_first_of("/?");
    parts.Authority = uri.substr(0, end);
    uri = end == std::string_view::npos ? std::string_view() : uri.substr(end);
  }
  const std::size_t question = uri.find('?');
  parts.Path = uri.substr(0, question);
  if (question != std::string_view::npos) parts.Query = uri.substr(question + 1);
  return parts;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> kept;
  const bool absolute = !path.empty() && path.front() == '/';
  std::size_t start = absolute ? 1 : 0;
  bool endsInFolder = false;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::string_view segment = path.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    const bool last = slash == std::string_view::npos;
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      endsInFolder = last;
    } else if (segment == ".") {
      endsInFolder = last;
    } else {
      kept.push_back(segment);
      endsInFolder = false;
    }
    if (last) break;
    start = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += '/';
    out += kept[i];
  }
  if (endsInFolder && !kept.empty() && !kept.back().empty()) out += '/';
  return out;
}

std::string Join(const TUriParts& parts, std::string_view path) {
  std::string out;
  if (parts.Scheme) out += std::string(*parts.Scheme) + ":";
  if (parts.Authority) out += "//" + std::string(*parts.Authority);
  out += path;
  if (parts.Query) out += "?" + std::string(*parts.Query);
  return out;
}

// "scheme://host:port" with the default port written, or empty for anything but http(s).
std::string HttpOrigin(std::string_view uri) {
  std::string origin = OriginOf(uri);
  const bool https = origin.rfind("https://", 0) == 0;
  if (!https && origin.rfind("http://", 0) != 0) return {};
  // A port is the digits after the last colon that follows the host (an IPv6 host has its
  // colons inside brackets).
  const std::size_t colon = origin.rfind(':');
  const std::size_t bracket = origin.rfind(']');
  if (colon <= 5 || (bracket != std::string::npos && colon < bracket)) {
    origin += https ? ":443" : ":80";
  } else if (colon + 1 == origin.size()) {
    origin += https ? "443" : "80";
  }
  return origin;
}

}  // namespace

std::string ResolveReference(std::string_view base, std::string_view reference) {
  const TUriParts b = Split(base);
  TUriParts r = Split(text::TrimControl(reference));
  if (r.Scheme) return Join(r, RemoveDotSegments(r.Path));
  r.Scheme = b.Scheme;
  if (r.Authority) return Join(r, RemoveDotSegments(r.Path));
  r.Authority = b.Authority;
  if (r.Path.empty()) {
    if (!r.Query) r.Query = b.Query;
    return Join(r, b.Path);
  }
  if (r.Path.front() == '/') return Join(r, RemoveDotSegments(r.Path));
  // Merged with the base's folder (5.2.3).
  std::string merged;
  if (b.Authority && b.Path.empty()) {
    merged = "/" + std::string(r.Path);
  } else {
    const std::size_t slash = b.Path.rfind('/');
    merged = std::string(slash == std::string_view::npos ? std::string_view()
                                                         : b.Path.substr(0, slash + 1)) +
             std::string(r.Path);
  }
  return Join(r, RemoveDotSegments(merged));
}

bool IsSameHttpOrigin(std::string_view a, std::string_view b) {
  const std::string origin = HttpOrigin(a);
  return !origin.empty() && origin == HttpOrigin(b);
}

TRedirect NextRequest(int status, std::string_view method, std::string_view uri,
                      std::optional<std::string_view> location, int redirects) {
  TRedirect next;
  if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
    return next;
  }
  if (!location) return next;
  next.Uri = ResolveReference(uri, *location);
  if (HttpOrigin(next.Uri).empty() || redirects >= kMaxForwardedRedirects) {
    next.Kind = TRedirect::Refused;
    return next;
  }
  next.Kind = TRedirect::Follow;
  const bool post = text::AsciiEqualsIgnoreCase(method, "POST");
  const bool keepsMethod =
      text::AsciiEqualsIgnoreCase(method, "GET") || text::AsciiEqualsIgnoreCase(method, "HEAD");
  next.DropsBody = (status == 303 && !keepsMethod) || ((status == 301 || status == 302) && post);
  next.Method = next.DropsBody ? "GET" : std::string(method);
  next.CrossOrigin = !IsSameHttpOrigin(uri, next.Uri);
  return next;
}

bool IsBodyHeader(std::string_view name) {
  for (const std::string_view body :
       {"Content-Encoding", "Content-Language", "Content-Location", "Content-Type"}) {
    if (text::AsciiEqualsIgnoreCase(name, body)) return true;
  }
  return false;
}

}  // namespace velloc::browser
