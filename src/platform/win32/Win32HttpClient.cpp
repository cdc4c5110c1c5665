#include "platform/win32/Win32HttpClient.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32WindowClass.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

namespace velloc::platform::win32 {
namespace {

constexpr UINT kEventsWaiting = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VellocHttpTransfers";
constexpr DWORD kReadSize = 64 * 1024;
constexpr std::size_t kMaxWaiting = 8;  // pieces read ahead of the user-interface thread
constexpr int kTimeoutMs = 30000;

std::string WinHttpError(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      ::GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = length ? Narrow(std::wstring_view(text, length)) : std::string();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "WinHTTP error " + std::to_string(code) : message;
}

LRESULT CALLBACK TransferWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kEventsWaiting) {
    if (auto* client =
            reinterpret_cast<TWin32HttpClient*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
      try {
        client->Deliver();
      } catch (const std::exception& error) {
        // No error leaves the window procedure.
        std::fprintf(stderr, "velloc: error in an update download: %s\n", error.what());
      } catch (...) {
        std::fprintf(stderr, "velloc: error in an update download\n");
      }
    }
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

struct THeadEvent {
  THttpHead Head;
};
struct TBodyEvent {
  std::vector<std::uint8_t> Bytes;
};
struct TEndEvent {
  std::string Error;
};
using TEvent = std::variant<THeadEvent, TBodyEvent, TEndEvent>;

}  // namespace

// What a transfer's thread and the user-interface thread share.
struct TWin32HttpClient::TTransfer {
  std::mutex Lock;
  std::condition_variable Room;
  std::deque<TEvent> Events;
  bool Cancelled = false;
  HWND Window = nullptr;        // null once the client is gone
  HINTERNET Request = nullptr;  // closed by whoever ends the transfer first
  THttpCallbacks Callbacks;     // the user-interface thread's

  // On the transfer's thread: false once nobody wants more.
  bool Push(TEvent event) {
    std::unique_lock lock(Lock);
    Room.wait(lock, [this] { return Cancelled || Events.size() < kMaxWaiting; });
    if (Cancelled || !Window) return false;
    Events.push_back(std::move(event));
    ::PostMessageW(Window, kEventsWaiting, 0, 0);
    return true;
  }
  void Cancel() {
    const std::lock_guard lock(Lock);
    Cancelled = true;
    if (Request) ::WinHttpCloseHandle(std::exchange(Request, nullptr));  // ends a blocked call
    Room.notify_all();
  }
};

namespace {

class TWin32Transfer final : public IHttpTransfer {
 public:
  explicit TWin32Transfer(std::shared_ptr<TWin32HttpClient::TTransfer> state)
      : FState(std::move(state)) {}
  ~TWin32Transfer() override { FState->Cancel(); }

 private:
  std::shared_ptr<TWin32HttpClient::TTransfer> FState;
};

// The transfer's thread: one GET, each step handed to the user-interface thread.
void Run(std::shared_ptr<TWin32HttpClient::TTransfer> transfer, HINTERNET session,
         std::wstring url) noexcept {
  try {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
      transfer->Push(TEndEvent{"not a valid address"});
      return;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const HINTERNET connection = ::WinHttpConnect(session, host.c_str(), parts.nPort, 0);
    HINTERNET request =
        connection
            ? ::WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                   WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
            : nullptr;
    {
      const std::lock_guard lock(transfer->Lock);
      if (transfer->Cancelled && request) ::WinHttpCloseHandle(std::exchange(request, nullptr));
      transfer->Request = request;
    }
    const auto finish = [&](TEvent last) {
      transfer->Push(std::move(last));
      {
        const std::lock_guard lock(transfer->Lock);
        if (transfer->Request) ::WinHttpCloseHandle(std::exchange(transfer->Request, nullptr));
      }
      if (connection) ::WinHttpCloseHandle(connection);
    };
    if (!request) return finish(TEndEvent{WinHttpError(::GetLastError())});
    // The caller judges every address a redirect leads to.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    ::WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    if (!::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                              0, 0) ||
        !::WinHttpReceiveResponse(request, nullptr))
      return finish(TEndEvent{WinHttpError(::GetLastError())});
    THttpHead head;
    DWORD status = 0, size = sizeof status;
    ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    head.Status = static_cast<int>(status);
    const auto header = [request](DWORD which) -> std::wstring {
      wchar_t buffer[2048];
      DWORD bytes = sizeof buffer;
      if (!::WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &bytes,
                                 WINHTTP_NO_HEADER_INDEX))
        return {};
      return std::wstring(buffer, bytes / sizeof(wchar_t));
    };
    head.Location = Narrow(header(WINHTTP_QUERY_LOCATION));
    const std::wstring length = header(WINHTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty() && length.size() <= 19 &&
        length.find_first_not_of(L"0123456789") == std::wstring::npos)
      head.Length = std::stoull(length);
    if (!transfer->Push(THeadEvent{head})) return finish(TEndEvent{});
    for (;;) {
      std::vector<std::uint8_t> piece(kReadSize);
      DWORD read = 0;
      if (!::WinHttpReadData(request, piece.data(), kReadSize, &read))
        return finish(TEndEvent{WinHttpError(::GetLastError())});
      if (read == 0) return finish(TEndEvent{});
      piece.resize(read);
      if (!transfer->Push(TBodyEvent{std::move(piece)})) return finish(TEndEvent{});
    }
  } catch (...) {
    transfer->Push(TEndEvent{"the download failed"});
  }
}

}  // namespace

TWin32HttpClient::TWin32HttpClient() {
  FSession = ::WinHttpOpen(L"Velloc", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
  if (FSession) ::WinHttpSetTimeouts(FSession, 0, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  FWindow = CreateMessageWindow(kWindowClass, TransferWindowProc, this);
}

TWin32HttpClient::~TWin32HttpClient() {
  for (const auto& transfer : FTransfers) {
    {
      const std::lock_guard lock(transfer->Lock);
      transfer->Window = nullptr;
    }
    transfer->Cancel();
  }
  if (FWindow) ::DestroyWindow(static_cast<HWND>(FWindow));
  if (FSession) ::WinHttpCloseHandle(FSession);
}

std::unique_ptr<IHttpTransfer> TWin32HttpClient::Get(const std::string& url,
                                                     THttpCallbacks callbacks) {
  auto transfer = std::make_shared<TTransfer>();
  transfer->Callbacks = std::move(callbacks);
  transfer->Window = static_cast<HWND>(FWindow);
  FTransfers.push_back(transfer);
  if (!FSession || !FWindow) {
    transfer->Events.push_back(TEndEvent{"WinHTTP is not available"});
    ::PostMessageW(static_cast<HWND>(FWindow), kEventsWaiting, 0, 0);
  } else {
    std::thread(Run, transfer, static_cast<HINTERNET>(FSession), Widen(url)).detach();
  }
  return std::make_unique<TWin32Transfer>(transfer);
}

void TWin32HttpClient::Deliver() {
  // A callback may start or end transfers: work on a copy of the list.
  const std::vector<std::shared_ptr<TTransfer>> transfers = FTransfers;
  for (const auto& transfer : transfers) {
    for (;;) {
      TEvent event;
      {
        const std::lock_guard lock(transfer->Lock);
        if (transfer->Cancelled || transfer->Events.empty()) break;
        event = std::move(transfer->Events.front());
        transfer->Events.pop_front();
        transfer->Room.notify_all();
      }
      bool more = true;
      const THttpCallbacks callbacks = transfer->Callbacks;  // the transfer may go inside one
      if (auto* head = std::get_if<THeadEvent>(&event)) {
        more = callbacks.Head(head->Head);
      } else if (auto* body = std::get_if<TBodyEvent>(&event)) {
        more = callbacks.Body(body->Bytes);
      } else {
        transfer->Cancel();
        callbacks.End(std::get<TEndEvent>(event).Error);
        break;
      }
      if (!more) {
        transfer->Cancel();
        break;
      }
    }
  }
  std::erase_if(FTransfers, [](const auto& transfer) {
    const std::lock_guard lock(transfer->Lock);
    return transfer->Cancelled;
  });
}

}  // namespace velloc::platform::win32
