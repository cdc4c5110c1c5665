#include "platform/win32/Win32Shell.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32WindowClass.h"

// clang-format off
// windows.h first: the other system headers build on it.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

namespace velloc::platform {
namespace {

constexpr UINT kCommandFinished = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VellocShellCommands";

// ShellExecute's answer: above 32 is success; otherwise the thread's last error, or, when the
// shell left none, its own code (which for the common cases is the same error number).
TOutcome ShellOutcome(HINSTANCE instance) {
  const auto code = reinterpret_cast<INT_PTR>(instance);
  if (code > 32) return {true, ""};
  const DWORD error = ::GetLastError();
  return {false, TWin32Shell::ErrorMessage(error != 0 ? error : static_cast<DWORD>(code))};
}

void ReportCallbackError(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc shell: %s: %s\n", where, e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc shell: %s: unknown error\n", where);
  }
}

}  // namespace

// Commands that have ended, waiting for the UI thread; the window is null once the shell is gone.
// Jobs: the job object of each command still running, which ends it with what it started.
struct TWin32Shell::TFinished {
  std::mutex Lock;
  HWND Window = nullptr;
  std::vector<std::pair<std::uint64_t, std::string>> Outputs;
  std::map<std::uint64_t, HANDLE> Jobs;
};

namespace {

// The message-only window's procedure: a finished command hands its output to the shell.
LRESULT CALLBACK CommandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCommandFinished) {
    if (auto* shell = reinterpret_cast<TWin32Shell*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
      shell->DeliverFinished();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Reads the command's output to its end (or to the limit, where the command is ended with what
// it started), waits for it, and hands the output to the UI thread.
void ReadCommand(std::shared_ptr<TWin32Shell::TFinished> finished, std::uint64_t id, HANDLE output,
                 HANDLE process, HANDLE job, std::size_t maxOutput) noexcept {
  std::string text;
  try {
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(output, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      const std::size_t room = maxOutput - bytes.size();
      bytes.append(buffer, std::min<std::size_t>(read, room));
      if (read > room) {
        if (!job || !::TerminateJobObject(job, 1)) ::TerminateProcess(process, 1);
        break;
      }
    }
    text = TWin32Shell::ConsoleOutputToUtf8(bytes);
  } catch (...) {
    ReportCallbackError("command output");  // out of memory: the reply carries what is left
  }
  ::CloseHandle(output);
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
  const std::lock_guard<std::mutex> lock(finished->Lock);
  if (job) {
    finished->Jobs.erase(id);
    ::CloseHandle(job);  // what the command left running goes on, as after any command
  }
  if (!finished->Window) return;
  try {
    finished->Outputs.emplace_back(id, std::move(text));
  } catch (...) {
    ReportCallbackError("command output");
    return;
  }
  ::PostMessageW(finished->Window, kCommandFinished, 0, 0);
}

}  // namespace

TWin32Shell::TWin32Shell(std::size_t maxOutput)
    : FFinished(std::make_shared<TFinished>()), FMaxOutput(maxOutput) {
  FWindow = win32::CreateMessageWindow(kWindowClass, CommandWindowProc, this);
  FFinished->Window = FWindow;
}

TWin32Shell::~TWin32Shell() {
  {
    const std::lock_guard<std::mutex> lock(FFinished->Lock);
    FFinished->Window = nullptr;
    FFinished->Outputs.clear();
    // Commands still running end with the shell, with every process they started.
    for (const auto& [id, job] : FFinished->Jobs)
      ::TerminateJobObject(job, 1);
  }
  if (FWindow) ::DestroyWindow(FWindow);
}

void TWin32Shell::DeliverFinished() {
  // A callback may end the shell itself: the shared state tells, as the destructor clears it.
  const std::shared_ptr<TFinished> finished = FFinished;
  std::vector<std::pair<std::uint64_t, std::string>> outputs;
  {
    const std::lock_guard<std::mutex> lock(finished->Lock);
    outputs.swap(finished->Outputs);
  }
  for (auto& [id, output] : outputs) {
    {
      const std::lock_guard<std::mutex> lock(finished->Lock);
      if (!finished->Window) return;
    }
    const auto pending = FPending.find(id);
    if (pending == FPending.end()) continue;
    auto done = std::move(pending->second);
    FPending.erase(pending);
    // Called from the window procedure: nothing may be thrown through the system's frames.
    try {
      done(std::move(output));
    } catch (...) {
      ReportCallbackError("command");
    }
  }
}

std::string TWin32Shell::ErrorMessage(unsigned long code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  std::string text = length > 0 && message ? win32::Narrow(std::wstring_view(message, length)) : "";
  ::LocalFree(message);
  return text;
}

std::string TWin32Shell::ConsoleOutputToUtf8(const std::string& bytes) {
  std::string kept;
  kept.reserve(bytes.size());
  for (const char c : bytes) {
    if (c != '\0') kept.push_back(c);
  }
  if (kept.empty() || kept.size() > INT_MAX) return {};
  // The whole output at once, so a character split between two reads stays whole.
  const int length = static_cast<int>(kept.size());
  const bool beyondAscii =
      std::any_of(kept.begin(), kept.end(), [](char c) { return (c & 0x80) != 0; });
  if (beyondAscii &&
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, kept.data(), length, nullptr, 0) > 0)
    return kept;
  // A command shares this process's console when it has one; else it gets a console of its
  // own, which starts in the OEM code page.
  UINT codePage = ::GetConsoleOutputCP();
  if (codePage == 0) codePage = CP_OEMCP;
  const int size = ::MultiByteToWideChar(codePage, 0, kept.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, kept.data(), length, wide.data(), size);
  return win32::Narrow(wide);
}

void TWin32Shell::NotifyAssociationsChanged() {
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

TOutcome TWin32Shell::Execute(const std::string& filePath, const std::string& arguments) {
  const std::wstring file = win32::Widen(filePath), parameters = win32::Widen(arguments);
  ::SetLastError(0);
  return ShellOutcome(::ShellExecuteW(::GetActiveWindow(), L"open", file.c_str(),
                                      parameters.c_str(), nullptr, SW_SHOWNORMAL));
}

void TWin32Shell::Explore(const std::string& filePath, TOutcomeCallback done) {
  const std::wstring parameters = L"/select, \"" + win32::Widen(filePath) + L"\"";
  ::SetLastError(0);
  done(ShellOutcome(::ShellExecuteW(::GetActiveWindow(), L"open", L"explorer.exe",
                                    parameters.c_str(), nullptr, SW_SHOWNORMAL)));
}

void TWin32Shell::RunCommand(const std::string& commandLine, const std::string& workingDir,
                             bool showWindow, std::function<void(std::string output)> done) {
  if (!FWindow) {  // no way back to the UI thread
    done({});
    return;
  }
  // Started here on the UI thread, one at a time: the write end of each pipe is closed before
  // the next command starts, so no command inherits another's and keeps its output open.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    done({});
    return;
  }
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = showWindow ? SW_SHOWNORMAL : SW_HIDE;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::wstring line = L"cmd.exe /C " + win32::Widen(commandLine);
  const std::wstring folder = win32::Widen(workingDir);
  PROCESS_INFORMATION process{};
  // Started suspended and put in a job of its own before it runs, so that everything it starts
  // can be ended with it (at the output limit, or when the shell goes).
  const bool started =
      ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process) != FALSE;
  ::CloseHandle(writeEnd);
  if (!started) {
    ::CloseHandle(readEnd);
    done({});
    return;
  }
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (job && !::AssignProcessToJobObject(job, process.hProcess)) {
    ::CloseHandle(job);
    job = nullptr;
  }
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  const std::uint64_t id = FNextCommand++;
  FPending.emplace(id, std::move(done));
  if (job) {
    const std::lock_guard<std::mutex> lock(FFinished->Lock);
    FFinished->Jobs.emplace(id, job);
  }
  try {
    std::thread(ReadCommand, FFinished, id, readEnd, process.hProcess, job, FMaxOutput).detach();
  } catch (...) {
    ::CloseHandle(readEnd);
    ::CloseHandle(process.hProcess);
    if (job) {
      const std::lock_guard<std::mutex> lock(FFinished->Lock);
      FFinished->Jobs.erase(id);
      ::CloseHandle(job);
    }
    auto callback = std::move(FPending[id]);
    FPending.erase(id);
    callback({});
  }
}

}  // namespace velloc::platform
