#include "platform/win32/Win32InstanceChannel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "core/InstanceMessage.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32WindowClass.h"

// clang-format off
// windows.h first: the other system headers build on it.
#include <windows.h>
#include <sddl.h>
// clang-format on

namespace velloc::platform::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"VellocInstanceChannel";
constexpr UINT kArgumentsArrived = WM_APP + 1;
// How long a connected later start may take to write its message, and to be written to.
constexpr ULONGLONG kMessageTimeoutMs = 5000;
constexpr DWORD kWriteTimeoutMs = 2000;
constexpr std::size_t kMaxQueued = 32;

struct THandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using THandle = std::unique_ptr<void, THandleCloser>;

void ReportCallbackError(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc instance channel: %s: %s\n", where, e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc instance channel: %s: unknown error\n", where);
  }
}

// FNV-1a as hex text: the same in every process, and free of the characters a pipe name may not
// hold (the lock's name is the application's ID, which may hold anything).
std::string HashText(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// The user of a token, as a buffer that holds its TOKEN_USER.
std::vector<std::uint8_t> TokenUser(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<std::uint8_t> buffer(size);
  if (!::GetTokenInformation(token, ::TokenUser, buffer.data(), size, &size)) return {};
  return buffer;
}

std::vector<std::uint8_t> ProcessUser(HANDLE process) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  const THandle owned(token);
  return TokenUser(token);
}

// True when the process `pid` runs as this process's user. A process that cannot even be asked
// (another user's, as a rule) is not.
bool ProcessOfThisUser(ULONG pid) {
  if (pid == 0) return false;
  const THandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  const std::vector<std::uint8_t> theirs = ProcessUser(process.get());
  const std::vector<std::uint8_t> mine = ProcessUser(::GetCurrentProcess());
  if (theirs.empty() || mine.empty()) return false;
  return ::EqualSid(reinterpret_cast<const TOKEN_USER*>(theirs.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(mine.data())->User.Sid) != FALSE;
}

// Waits for the overlapped operation on `handle` until `stop` is set or `timeoutMs` passes; the
// operation is cancelled then. True when it completed, with its result in `done` and `error`.
bool Await(HANDLE handle, OVERLAPPED& overlapped, HANDLE stop, DWORD timeoutMs, DWORD& done,
           DWORD& error) {
  const HANDLE handles[] = {overlapped.hEvent, stop};
  const DWORD waited = ::WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, timeoutMs);
  if (waited != WAIT_OBJECT_0) {
    ::CancelIoEx(handle, &overlapped);
    ::GetOverlappedResult(handle, &overlapped, &done, TRUE);  // the buffer is free again
    return false;
  }
  error =
      ::GetOverlappedResult(handle, &overlapped, &done, FALSE) ? ERROR_SUCCESS : ::GetLastError();
  return true;
}

}  // namespace

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const THandle owned(token);
  const std::vector<std::uint8_t> user = TokenUser(token);
  if (user.empty()) return {};
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text))
    return {};
  std::string sid = Narrow(text);
  ::LocalFree(text);
  return sid;
}

std::string InstancePipeName(const std::string& lockName, const std::string& sid,
                             unsigned long session) {
  return "\\\\.\\pipe\\velloc-" + HashText(lockName) + "-" + sid + "-" + std::to_string(session);
}

std::string InstancePipeName(const std::string& lockName) {
  const std::string sid = CurrentUserSid();
  DWORD session = 0;
  if (sid.empty() || !::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return {};
  return InstancePipeName(lockName, sid, session);
}

std::string InstancePipeSecurity(const std::string& sid) {
  // Protected: nothing is inherited from the pipe file system's defaults (which let everybody
  // read); GA is all access.
  return "D:P(A;;GA;;;" + sid + ")(A;;GA;;;SY)";
}

bool SendInstanceArguments(const std::string& pipeName, const std::vector<std::string>& arguments,
                           int waitMs) {
  const std::string message = EncodeInstanceMessage(arguments);
  if (pipeName.empty()) return false;
  const std::wstring name = Widen(pipeName);
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(waitMs > 0 ? waitMs : 0);
  THandle pipe;
  for (;;) {
    // Identification only: a server may learn who wrote, never act as this user.
    pipe.reset(::CreateFileW(
        name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe.get() != INVALID_HANDLE_VALUE) break;
    pipe.release();
    const DWORD error = ::GetLastError();
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD remaining = static_cast<DWORD>(deadline - now);
    if (error == ERROR_PIPE_BUSY) {
      // The running instance is reading another later start's message.
      ::WaitNamedPipeW(name.c_str(), remaining);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      // The running instance holds the lock but may not listen yet: it is still starting.
      ::Sleep(remaining < 50 ? remaining : 50);
    } else {
      return false;
    }
  }
  ULONG server = 0;
  if (!::GetNamedPipeServerProcessId(pipe.get(), &server) || !ProcessOfThisUser(server))
    return false;
  // The running instance comes forward when it is told; the system lets it only when this
  // process, which the user just started, allows it.
  ::AllowSetForegroundWindow(server);
  const THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return false;
  for (std::size_t done = 0; done < message.size();) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD written = 0, error = ERROR_SUCCESS;
    if (!::WriteFile(pipe.get(), message.data() + done, static_cast<DWORD>(message.size() - done),
                     &written, &overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING) return false;
      // A running instance that does not read is not waited for long.
      if (!Await(pipe.get(), overlapped, nullptr, kWriteTimeoutMs, written, error) ||
          error != ERROR_SUCCESS)
        return false;
    } else if (!::GetOverlappedResult(pipe.get(), &overlapped, &written, FALSE)) {
      return false;
    }
    if (written == 0) return false;
    done += written;
  }
  return true;
}

// The pipe, the thread that reads it, and the window through which arguments reach the UI thread.
struct TInstanceListener::TImpl {
  TReceived Received;
  THandle Pipe;
  THandle Stop;  // set when the listener ends
  HWND Window = nullptr;
  std::thread Reader;
  std::mutex Lock;
  std::deque<std::vector<std::string>> Arrived;

  ~TImpl();
  void Serve() noexcept;
  std::optional<std::vector<std::string>> ReadClient(HANDLE event);
  void Deliver();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

TInstanceListener::TInstanceListener(const std::string& pipeName, TReceived received)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Received = std::move(received);
  const std::string sid = CurrentUserSid();
  if (pipeName.empty() || sid.empty()) return;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          Widen(InstancePipeSecurity(sid)).c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // One instance, and the first of its name: while it exists nobody else can listen under it.
  FImpl->Pipe.reset(::CreateNamedPipeW(
      Widen(pipeName).c_str(),
      PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
      static_cast<DWORD>(kMaxInstanceMessage), 0, &attributes));
  ::LocalFree(descriptor);
  if (FImpl->Pipe.get() == INVALID_HANDLE_VALUE) {
    FImpl->Pipe.release();
    return;
  }
  FImpl->Stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  FImpl->Window = CreateMessageWindow(kWindowClass, TImpl::WindowProc, FImpl.get());
  if (!FImpl->Stop || !FImpl->Window) {
    FImpl->Pipe.reset();
    return;
  }
  FImpl->Reader = std::thread(&TImpl::Serve, FImpl.get());
}

TInstanceListener::~TInstanceListener() = default;

bool TInstanceListener::Listening() const {
  return FImpl->Reader.joinable();
}

TInstanceListener::TImpl::~TImpl() {
  if (Reader.joinable()) {
    ::SetEvent(Stop.get());
    Reader.join();
  }
  // Arguments still queued go with the window: the application is ending.
  if (Window) ::DestroyWindow(Window);
}

void TInstanceListener::TImpl::Serve() noexcept {
  const THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return;
  while (::WaitForSingleObject(Stop.get(), 0) == WAIT_TIMEOUT) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    ::ResetEvent(event.get());
    DWORD error =
        ::ConnectNamedPipe(Pipe.get(), &overlapped) ? ERROR_PIPE_CONNECTED : ::GetLastError();
    if (error == ERROR_IO_PENDING) {
      DWORD unused = 0;
      if (!Await(Pipe.get(), overlapped, Stop.get(), INFINITE, unused, error)) return;
      if (error == ERROR_SUCCESS) error = ERROR_PIPE_CONNECTED;
    }
    // ERROR_NO_DATA: the later start wrote and left before the connection was taken; what it
    // wrote may still be there.
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
      try {
        if (std::optional<std::vector<std::string>> arguments = ReadClient(event.get())) {
          const std::lock_guard lock(Lock);
          // A UI thread that does not take them (it hangs) does not make the queue grow.
          if (Arrived.size() < kMaxQueued) {
            Arrived.push_back(std::move(*arguments));
            ::PostMessageW(Window, kArgumentsArrived, 0, 0);
          }
        }
      } catch (...) {
        ReportCallbackError("reading a later start");
      }
    } else {
      // Not expected of a pipe that exists; a pause keeps a lasting fault from spinning.
      ::WaitForSingleObject(Stop.get(), 100);
    }
    ::DisconnectNamedPipe(Pipe.get());
  }
}

std::optional<std::vector<std::string>> TInstanceListener::TImpl::ReadClient(HANDLE event) {
  ULONG client = 0;
  if (!::GetNamedPipeClientProcessId(Pipe.get(), &client) || !ProcessOfThisUser(client))
    return std::nullopt;
  // At most the channel's limit, for a few seconds: a later start that sends more, or takes
  // longer, hands over what arrived until then.
  const ULONGLONG deadline = ::GetTickCount64() + kMessageTimeoutMs;
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < kMaxInstanceMessage) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ::ResetEvent(event);
    const DWORD room =
        static_cast<DWORD>(std::min(sizeof buffer, kMaxInstanceMessage - bytes.size()));
    DWORD read = 0, error = ERROR_SUCCESS;
    if (!::ReadFile(Pipe.get(), buffer, room, &read, &overlapped)) {
      error = ::GetLastError();
      if (error == ERROR_IO_PENDING && !Await(Pipe.get(), overlapped, Stop.get(),
                                              static_cast<DWORD>(deadline - now), read, error))
        break;
    } else if (!::GetOverlappedResult(Pipe.get(), &overlapped, &read, FALSE)) {
      error = ::GetLastError();
    }
    // ERROR_BROKEN_PIPE: the later start closed its end, the message is whole.
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) break;
    bytes.append(buffer, read);
  }
  return DecodeInstanceMessage(bytes);
}

void TInstanceListener::TImpl::Deliver() {
  std::deque<std::vector<std::string>> arrived;
  {
    const std::lock_guard lock(Lock);
    arrived.swap(Arrived);
  }
  for (std::vector<std::string>& arguments : arrived) {
    if (Received) Received(std::move(arguments));
  }
}

LRESULT CALLBACK TInstanceListener::TImpl::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam) {
  if (message == kArgumentsArrived) {
    if (auto* self = reinterpret_cast<TImpl*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
      // Called from the window procedure: nothing may be thrown through the system's frames.
      try {
        self->Deliver();
      } catch (...) {
        ReportCallbackError("a later start's arguments");
      }
    }
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velloc::platform::win32
