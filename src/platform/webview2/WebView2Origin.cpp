#include "platform/webview2/WebView2Origin.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "browser/ResourceServer.h"
#include "core/Text.h"

namespace velloc::platform::webview2 {
namespace {

constexpr std::string_view kFilePrefix = "file:///";

std::string_view ReasonPhrase(int statusCode) {
  switch (statusCode) {
    case 206:
      return "Partial Content";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 416:
      return "Range Not Satisfiable";
    default:
      return "OK";
  }
}

// A remote frame may not hold a document of the application's origin: it would get the
// document scripts, and the bridge of an application page around the frame.
constexpr std::string_view kFramingHeaders =
    "\nContent-Security-Policy: frame-ancestors 'self'\nX-Frame-Options: SAMEORIGIN";

std::string_view HeaderWord(const std::optional<std::string>& value) {
  return value ? text::TrimControl(*value) : std::string_view();
}

// "%XX" decoded, for comparing a URI with the same URI as Chromium escaped it.
std::string PercentDecoded(std::string_view text) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string ToApplicationUri(std::string_view uri) {
  if (!text::AsciiStartsWithIgnoreCase(uri, kFilePrefix)) return std::string(uri);
  return std::string(kApplicationOrigin) + "/" + std::string(uri.substr(kFilePrefix.size()));
}

bool IsApplicationUri(std::string_view uri) {
  if (!text::AsciiStartsWithIgnoreCase(uri, kApplicationOrigin)) return false;
  const std::string_view rest = uri.substr(kApplicationOrigin.size());
  // Not "https://velloc.localhost.example.com/" nor another port.
  return rest.empty() || rest.front() == '/' || rest.front() == '?' || rest.front() == '#';
}

std::string ToFileUri(std::string_view uri) {
  if (!IsApplicationUri(uri)) return std::string(uri);
  std::string_view rest = uri.substr(kApplicationOrigin.size());
  if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  return std::string(kFilePrefix) + std::string(rest);
}

TRequestSource JudgeRequest(const TRequestFacts& request, std::string_view ownNavigation) {
  // Chromium sets these headers itself; a page cannot forge them. An opaque origin ("null", a
  // sandboxed frame) is not the application's.
  if (request.Origin && *request.Origin != kApplicationOrigin) return TRequestSource::Foreign;
  if (request.Referer && !IsApplicationUri(*request.Referer)) return TRequestSource::Foreign;
  if (request.FetchSite) {
    const std::string_view site = HeaderWord(request.FetchSite);
    if (text::AsciiEqualsIgnoreCase(site, "same-origin")) return TRequestSource::Application;
    if (!text::AsciiEqualsIgnoreCase(site, "none")) return TRequestSource::Foreign;
  } else if (request.Origin || request.Referer) {
    return TRequestSource::Application;
  }
  if (request.IsDocument && !ownNavigation.empty() &&
      PercentDecoded(request.Uri) == PercentDecoded(ownNavigation)) {
    return TRequestSource::Application;
  }
  return TRequestSource::Unproven;
}

std::string ContentTypeValue(std::string_view mimeType) {
  if (mimeType == "application/wasm") return std::string(mimeType);
  return std::string(mimeType) + "; charset=utf-8";
}

TResourceAnswer ApplicationErrorAnswer(int statusCode) {
  TResourceAnswer answer;
  answer.StatusCode = statusCode;
  answer.ReasonPhrase = std::string(ReasonPhrase(statusCode));
  answer.Headers = "Content-Type: text/plain; charset=utf-8";
  answer.Headers += kFramingHeaders;
  answer.Content.Body = std::make_unique<std::vector<std::uint8_t>>();
  return answer;
}

std::optional<TResourceAnswer> AnswerApplicationRequest(IWebViewEvents& events,
                                                        const TRequestFacts& request,
                                                        std::string_view ownNavigation) {
  if (!IsApplicationUri(request.Uri)) return std::nullopt;
  const TRequestSource source = JudgeRequest(request, ownNavigation);
  if (source == TRequestSource::Foreign) return ApplicationErrorAnswer(403);
  std::optional<TWebResourceResponse> found =
      events.BrowserWebResourceRequested(ToFileUri(request.Uri));
  if (!found) return ApplicationErrorAnswer(404);
  const bool fromDisk = !found->FilePath.empty();
  if (source == TRequestSource::Unproven && fromDisk) return ApplicationErrorAnswer(403);
  // The core says which bodies take ranges (package entries) and cuts the part.
  if (request.Range) {
    const std::string_view dest = HeaderWord(request.FetchDest);
    const bool media = request.IsMedia || text::AsciiEqualsIgnoreCase(dest, "audio") ||
                       text::AsciiEqualsIgnoreCase(dest, "video") ||
                       text::AsciiEqualsIgnoreCase(dest, "track");
    browser::ApplyRange(*found, *request.Range, media ? browser::kOpenRangePart : 0);
  }
  TResourceAnswer answer;
  answer.StatusCode = found->StatusCode;
  answer.ReasonPhrase = std::string(ReasonPhrase(found->StatusCode));
  answer.Headers = "Content-Type: " + ContentTypeValue(found->MimeType);
  answer.Headers += kFramingHeaders;
  if (found->AcceptsRanges) answer.Headers += "\nAccept-Ranges: bytes";
  if (!found->ContentRange.empty()) answer.Headers += "\nContent-Range: " + found->ContentRange;
  answer.Content = std::move(*found);
  return answer;
}

}  // namespace velloc::platform::webview2
