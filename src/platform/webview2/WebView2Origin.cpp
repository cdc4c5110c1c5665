#include "platform/webview2/WebView2Origin.h"

#include <charconv>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Text.h"

namespace velloc::platform::webview2 {
namespace {

constexpr std::string_view kFilePrefix = "file:///";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

bool ParseNumber(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

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

// An error answer: nothing of the origin goes to the network, and the page sees the status.
TResourceAnswer ErrorAnswer(int statusCode) {
  TResourceAnswer answer;
  answer.StatusCode = statusCode;
  answer.ReasonPhrase = std::string(ReasonPhrase(statusCode));
  answer.Headers = "Content-Type: text/plain; charset=utf-8";
  answer.Content.Body = std::make_unique<std::vector<std::uint8_t>>();
  return answer;
}

// A remote frame may not hold a page of the application: its origin would be the application's,
// and with it the bridge of an application page around the frame.
constexpr std::string_view kFramingHeaders =
    "\nContent-Security-Policy: frame-ancestors 'self'\nX-Frame-Options: SAMEORIGIN";

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
  // Chromium sets both headers itself; a page cannot forge them. An opaque origin ("null", a
  // sandboxed frame) is not the application's.
  if (request.Origin && *request.Origin != kApplicationOrigin) return TRequestSource::Foreign;
  if (request.Referer && !IsApplicationUri(*request.Referer)) return TRequestSource::Foreign;
  if (request.Origin || request.Referer) return TRequestSource::Application;
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

std::optional<TResourceAnswer> AnswerApplicationRequest(IWebViewEvents& events,
                                                        const TRequestFacts& request,
                                                        std::string_view ownNavigation) {
  if (!IsApplicationUri(request.Uri)) return std::nullopt;
  const TRequestSource source = JudgeRequest(request, ownNavigation);
  if (source == TRequestSource::Foreign) return ErrorAnswer(403);
  std::optional<TWebResourceResponse> found =
      events.BrowserWebResourceRequested(ToFileUri(request.Uri));
  if (!found) return ErrorAnswer(404);
  const bool fromDisk = !found->FilePath.empty();
  if (source == TRequestSource::Unproven && fromDisk) return ErrorAnswer(403);
  TResourceAnswer answer;
  answer.Headers = "Content-Type: " + ContentTypeValue(found->MimeType);
  answer.Headers += kFramingHeaders;
  answer.Content = std::move(*found);
  if (!fromDisk) answer.Headers += "\nAccept-Ranges: bytes";
  if (request.Range) ApplyByteRange(answer, *request.Range);
  return answer;
}

void ApplyByteRange(TResourceAnswer& answer, std::string_view rangeHeader) {
  auto& body = answer.Content.Body;
  if (!body || answer.StatusCode != 200 || body->empty()) return;
  const std::uint64_t size = body->size();
  rangeHeader = Trimmed(rangeHeader);
  const std::size_t equals = rangeHeader.find('=');
  if (equals == std::string_view::npos ||
      !text::AsciiEqualsIgnoreCase(Trimmed(rangeHeader.substr(0, equals)), "bytes")) {
    return;
  }
  const std::string_view spec = Trimmed(rangeHeader.substr(equals + 1));
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return;
  const std::string_view firstText = Trimmed(spec.substr(0, dash));
  const std::string_view lastText = Trimmed(spec.substr(dash + 1));
  std::uint64_t first = 0;
  std::uint64_t last = size - 1;
  bool satisfiable = true;
  if (firstText.empty()) {
    // The last N bytes.
    std::uint64_t count = 0;
    if (!ParseNumber(lastText, count)) return;
    satisfiable = count > 0;
    first = size - std::min(count, size);
  } else {
    if (!ParseNumber(firstText, first)) return;
    if (!lastText.empty()) {
      std::uint64_t to = 0;
      if (!ParseNumber(lastText, to) || to < first) return;
      last = std::min(to, size - 1);
    }
    satisfiable = first < size;
  }
  if (!satisfiable) {
    answer.StatusCode = 416;
    answer.Headers += "\nContent-Range: bytes */" + std::to_string(size);
    body->clear();
  } else {
    answer.StatusCode = 206;
    answer.Headers += "\nContent-Range: bytes " + std::to_string(first) + "-" +
                      std::to_string(last) + "/" + std::to_string(size);
    const auto begin = body->begin() + static_cast<std::ptrdiff_t>(first);
    body = std::make_unique<std::vector<std::uint8_t>>(
        begin, body->begin() + static_cast<std::ptrdiff_t>(last + 1));
  }
  answer.ReasonPhrase = std::string(ReasonPhrase(answer.StatusCode));
}

}  // namespace velloc::platform::webview2
