#include "platform/webview2/WebView2CrossOrigin.h"

#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "browser/CrossOriginReads.h"
#include "core/Text.h"
#include "platform/webview2/WebView2Com.h"
#include "platform/win32/Win32WindowClass.h"

namespace velloc::platform::webview2 {
namespace {

bool NameIs(std::string_view name, std::string_view wanted) {
  return text::AsciiEqualsIgnoreCase(name, wanted);
}

bool StartsWithNoCase(std::string_view name, std::string_view prefix) {
  return text::AsciiStartsWithIgnoreCase(name, prefix);
}

// Headers of one hop, or set by the layer that makes the request, never the page's to pass on.
bool IsRequestLayerHeader(std::string_view name) {
  for (const std::string_view own :
       {"Host", "Connection", "Keep-Alive", "Content-Length", "Transfer-Encoding",
        "Accept-Encoding", "Origin", "Referer", "Cookie", "Proxy-Connection", "TE", "Upgrade"}) {
    if (NameIs(name, own)) return true;
  }
  return StartsWithNoCase(name, "Sec-Fetch-") || StartsWithNoCase(name, "Access-Control-");
}

bool IsDroppedResponseHeader(std::string_view name) {
  for (const std::string_view dropped :
       {"Set-Cookie", "Set-Cookie2", "Content-Encoding", "Content-Length", "Transfer-Encoding",
        "Connection", "Keep-Alive", "Vary"}) {
    if (NameIs(name, dropped)) return true;
  }
  return StartsWithNoCase(name, "Access-Control-");
}

std::string CorsHeaders() {
  return "Access-Control-Allow-Origin: " + std::string(kApplicationOrigin) +
         "\nAccess-Control-Allow-Credentials: true\nVary: Origin";
}

}  // namespace

std::optional<std::string> HeaderValue(const THeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers) {
    if (NameIs(key, name)) return value;
  }
  return std::nullopt;
}

bool IsCrossOriginReadOfApplication(std::string_view uri, const THeaderList& headers) {
  if (IsApplicationUri(uri)) return false;
  if (!StartsWithNoCase(uri, "http://") && !StartsWithNoCase(uri, "https://")) return false;
  const auto origin = HeaderValue(headers, "Origin");
  return origin && *origin == kApplicationOrigin;
}

std::optional<TResourceAnswer> PreflightAnswer(std::string_view method,
                                               const THeaderList& headers) {
  if (!NameIs(method, "OPTIONS")) return std::nullopt;
  const auto asked = HeaderValue(headers, "Access-Control-Request-Method");
  if (!asked) return std::nullopt;  // an OPTIONS request of the page itself
  TResourceAnswer answer;
  answer.StatusCode = 204;
  answer.ReasonPhrase = "No Content";
  answer.Headers = CorsHeaders() + "\nAccess-Control-Allow-Methods: " + *asked;
  if (const auto names = HeaderValue(headers, "Access-Control-Request-Headers"); names) {
    answer.Headers += "\nAccess-Control-Allow-Headers: " + *names;
  }
  answer.Headers += "\nAccess-Control-Max-Age: 600";
  answer.Content.Body = std::make_unique<std::vector<std::uint8_t>>();
  return answer;
}

THeaderList ForwardedRequestHeaders(const THeaderList& headers) {
  THeaderList kept;
  for (const auto& header : headers) {
    if (!IsRequestLayerHeader(header.first)) kept.push_back(header);
  }
  return kept;
}

TResourceAnswer CrossOriginAnswer(TForwardResponse response) {
  TResourceAnswer answer;
  answer.StatusCode = response.StatusCode;
  answer.ReasonPhrase = response.ReasonPhrase;
  answer.Headers = CorsHeaders();
  std::string exposed;
  for (const auto& [name, value] : response.Headers) {
    if (IsDroppedResponseHeader(name)) continue;
    answer.Headers += "\n" + name + ": " + value;
    if (!exposed.empty()) exposed += ", ";
    exposed += name;
  }
  if (!exposed.empty()) answer.Headers += "\nAccess-Control-Expose-Headers: " + exposed;
  answer.Content.Body = std::make_unique<std::vector<std::uint8_t>>(std::move(response.Body));
  return answer;
}

// ---------------------------------------------------------------------------------------------
// WinHTTP

namespace {

constexpr UINT kRunAnswers = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VellocCrossOriginAnswers";

// Closes a WinHTTP handle when it goes.
class TInternet {
 public:
  explicit TInternet(HINTERNET handle) : FHandle(handle) {}
  ~TInternet() {
    if (FHandle) WinHttpCloseHandle(FHandle);
  }
  TInternet(const TInternet&) = delete;
  TInternet& operator=(const TInternet&) = delete;
  HINTERNET Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }

 private:
  HINTERNET FHandle;
};

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

// "Name: value" lines after the status line.
THeaderList ParseHeaders(const std::string& raw) {
  THeaderList headers;
  std::size_t start = raw.find('\n');
  while (start != std::string::npos && start + 1 < raw.size()) {
    const std::size_t end = raw.find('\n', start + 1);
    std::string line = raw.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
      std::size_t value = colon + 1;
      while (value < line.size() && (line[value] == ' ' || line[value] == '\t'))
        ++value;
      headers.emplace_back(line.substr(0, colon), line.substr(value));
    }
    start = end;
  }
  return headers;
}

}  // namespace

struct TWinHttpForwarder::TShared {
  HINTERNET Session = nullptr;
  std::mutex Lock;
  HWND Window = nullptr;  // null once the forwarder is gone
  std::deque<std::function<void()>> Answers;

  ~TShared() {
    if (Session) WinHttpCloseHandle(Session);
  }

  // From any thread: runs `task` on the UI thread, or never when the forwarder is gone.
  void Post(std::function<void()> task) {
    const std::lock_guard lock(Lock);
    if (!Window) return;
    Answers.push_back(std::move(task));
    PostMessageW(Window, kRunAnswers, 0, 0);
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kRunAnswers) return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<TShared*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return 0;
    std::deque<std::function<void()>> tasks;
    {
      const std::lock_guard lock(self->Lock);
      tasks.swap(self->Answers);
    }
    // A window procedure is a C boundary.
    for (auto& task : tasks) {
      try {
        task();
      } catch (const std::exception& error) {
        std::fprintf(stderr, "velloc: a forwarded answer failed: %s\n", error.what());
      } catch (...) {
        std::fprintf(stderr, "velloc: a forwarded answer failed\n");
      }
    }
    return 0;
  }
};

TWinHttpForwarder::TWinHttpForwarder() : FShared(std::make_shared<TShared>()) {
  // The system's proxy settings where WinHTTP knows them (Windows 8.1), else its defaults.
  FShared->Session = WinHttpOpen(L"Velloc", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!FShared->Session) {
    FShared->Session = WinHttpOpen(L"Velloc", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (FShared->Session) {
    DWORD decompress = WINHTTP_DECOMPRESSION_FLAG_ALL;
    WinHttpSetOption(FShared->Session, WINHTTP_OPTION_DECOMPRESSION, &decompress,
                     sizeof decompress);
  }
  FShared->Window = win32::CreateMessageWindow(kWindowClass, &TShared::WindowProc, FShared.get());
}

TWinHttpForwarder::~TWinHttpForwarder() {
  HWND window = nullptr;
  {
    const std::lock_guard lock(FShared->Lock);
    window = std::exchange(FShared->Window, nullptr);
    FShared->Answers.clear();
  }
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

namespace {

// One request of a chain, made and answered up to its headers.
struct THop {
  std::unique_ptr<TInternet> Connection;
  std::unique_ptr<TInternet> Call;
};

std::optional<THop> SendOne(HINTERNET session, const std::string& method, const std::string& uri,
                            const THeaderList& headerList, const std::vector<std::uint8_t>* body) {
  std::wstring wideUri = ToWide(uri);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUri.c_str(), 0, 0, &parts)) return std::nullopt;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  // The fragment is the page's own.
  if (const auto hash = path.find(L'#'); hash != std::wstring::npos) path.resize(hash);
  if (path.empty()) path = L"/";

  THop hop;
  hop.Connection =
      std::make_unique<TInternet>(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
  if (!*hop.Connection) return std::nullopt;
  hop.Call = std::make_unique<TInternet>(
      WinHttpOpenRequest(hop.Connection->Get(), ToWide(method).c_str(), path.c_str(), nullptr,
                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!*hop.Call) return std::nullopt;
  HINTERNET call = hop.Call->Get();
  // The browser's cookies stay the browser's; none of WinHTTP's own either. Redirects are
  // followed one by one by the caller: WinHTTP would send the page's headers to every server.
  DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(call, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
  std::wstring headers;
  for (const auto& [name, value] : headerList)
    headers += ToWide(name) + L": " + ToWide(value) + L"\r\n";
  if (!headers.empty() &&
      !WinHttpAddRequestHeaders(call, headers.c_str(), static_cast<DWORD>(headers.size()),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
    return std::nullopt;
  }
  const auto bodySize = body ? static_cast<DWORD>(body->size()) : 0;
  if (!WinHttpSendRequest(call, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          bodySize ? const_cast<std::uint8_t*>(body->data()) : nullptr, bodySize,
                          bodySize, 0) ||
      !WinHttpReceiveResponse(call, nullptr)) {
    return std::nullopt;
  }
  return hop;
}

std::optional<TForwardResponse> SendWith(HINTERNET session, const TForwardRequest& request) {
  if (!session) return std::nullopt;
  std::string method = request.Method;
  std::string uri = request.Uri;
  THeaderList headers = request.Headers;
  const std::vector<std::uint8_t>* body = &request.Body;
  for (int redirects = 0;; ++redirects) {
    std::optional<THop> hop = SendOne(session, method, uri, headers, body);
    if (!hop) return std::nullopt;
    HINTERNET call = hop->Call->Get();
    TForwardResponse response;
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(call, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                             WINHTTP_NO_HEADER_INDEX)) {
      return std::nullopt;
    }
    response.StatusCode = static_cast<int>(status);
    response.ReasonPhrase = ToUtf8(QueryText(call, WINHTTP_QUERY_STATUS_TEXT));
    response.Headers = ParseHeaders(ToUtf8(QueryText(call, WINHTTP_QUERY_RAW_HEADERS_CRLF)));
    const auto location = HeaderValue(response.Headers, "Location");
    const browser::TRedirect next = browser::NextRequest(
        response.StatusCode, method, uri,
        location ? std::optional<std::string_view>(*location) : std::nullopt, redirects);
    if (next.Kind == browser::TRedirect::Refused) return std::nullopt;
    if (next.Kind == browser::TRedirect::Follow) {
      // The redirect's own body is nobody's: its connection closes unread.
      uri = next.Uri;
      method = next.Method;
      if (next.DropsBody) {
        body = nullptr;
        std::erase_if(headers, [](const auto& h) { return browser::IsBodyHeader(h.first); });
      }
      if (next.CrossOrigin) {
        std::erase_if(headers, [](const auto& h) { return NameIs(h.first, "Authorization"); });
      }
      continue;
    }
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(call, &available)) return std::nullopt;
      if (available == 0) break;
      if (response.Body.size() + available > TWinHttpForwarder::kMaxBodyBytes) return std::nullopt;
      const std::size_t at = response.Body.size();
      response.Body.resize(at + available);
      DWORD read = 0;
      if (!WinHttpReadData(call, response.Body.data() + at, available, &read)) return std::nullopt;
      response.Body.resize(at + read);
    }
    return response;
  }
}

}  // namespace

std::optional<TForwardResponse> TWinHttpForwarder::Send(const TForwardRequest& request) const {
  return SendWith(FShared->Session, request);
}

TForwarder TWinHttpForwarder::Forwarder() {
  std::weak_ptr<TShared> weak = FShared;
  return
      [weak](TForwardRequest request, std::function<void(std::optional<TForwardResponse>)> done) {
        const auto shared = weak.lock();
        if (!shared) return done(std::nullopt);
        // The thread holds the session; the answer reaches the UI thread while the forwarder lives.
        std::thread([shared, request = std::move(request), done = std::move(done)]() mutable {
          std::optional<TForwardResponse> response;
          try {
            response = SendWith(shared->Session, request);
          } catch (const std::exception&) {
            response.reset();
          }
          shared->Post([done = std::move(done), response = std::move(response)]() mutable {
            done(std::move(response));
          });
        }).detach();
      };
}

}  // namespace velloc::platform::webview2
