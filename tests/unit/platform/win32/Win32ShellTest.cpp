// The Win32 shell, window list, session and network against Wine's: console commands and
// their output, shell refusals, window titles, the adapters list and the exit flags.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Session.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32WindowList.h"

namespace velloc::platform {
namespace {

// Runs the thread's messages until `done` or the time has passed.
template <typename TDone>
bool PumpUntil(TDone done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return true;
}

std::optional<std::string> RunCommand(TWin32Shell& shell, const std::string& command,
                                      const std::string& workingDir = "") {
  std::optional<std::string> output;
  shell.RunCommand(command, workingDir, false, [&](std::string text) { output = std::move(text); });
  if (!PumpUntil([&] { return output.has_value(); })) return std::nullopt;
  return output;
}

TEST(Win32Shell, CommandOutputArrivesWholeOnTheUiThread) {
  TWin32Shell shell;
  const DWORD uiThread = ::GetCurrentThreadId();
  DWORD calledOn = 0;
  std::optional<std::string> output;
  shell.RunCommand("echo hello", "", false, [&](std::string text) {
    calledOn = ::GetCurrentThreadId();
    output = std::move(text);
  });
  EXPECT_FALSE(output) << "the command is read on another thread; the reply comes later";
  ASSERT_TRUE(PumpUntil([&] { return output.has_value(); }));
  EXPECT_EQ(*output, "hello\r\n");
  EXPECT_EQ(calledOn, uiThread);

  const struct {
    const char* Command;
    std::string Expected;
  } cases[] = {
      {"echo \"quoted\" back\\slash", "\"quoted\" back\\slash\r\n"},
      {"echo out& echo err>&2", "out\r\nerr\r\n"},  // errors share the one pipe
      {"for /L %i in (1,1,40) do @echo line %i is longer than a few bytes",
       [] {
         std::string text;
         for (int i = 1; i <= 40; ++i)
           text += "line " + std::to_string(i) + " is longer than a few bytes\r\n";
         return text;
       }()},
      {"exit 3", ""},
  };
  for (const auto& c : cases) {
    const auto result = RunCommand(shell, c.Command);
    ASSERT_TRUE(result) << c.Command;
    EXPECT_EQ(*result, c.Expected) << c.Command;
  }
}

TEST(Win32Shell, CommandsRunInTheirWorkingFolder) {
  TWin32Shell shell;
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(RunCommand(shell, "cd", windows), std::string(windows) + "\r\n");
  char current[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(RunCommand(shell, "cd"), std::string(current) + "\r\n");
  // A folder that does not exist: the command cannot start, which gives no output at all.
  EXPECT_EQ(RunCommand(shell, "echo never", "C:\\no\\such\\folder"), "");
}

TEST(Win32Shell, SeveralCommandsAtOnceEachGetTheirOwnOutput) {
  TWin32Shell shell;
  std::vector<std::optional<std::string>> outputs(4);
  for (std::size_t i = 0; i < outputs.size(); ++i)
    shell.RunCommand("echo " + std::to_string(i), "", false,
                     [&outputs, i](std::string text) { outputs[i] = std::move(text); });
  ASSERT_TRUE(PumpUntil([&] {
    for (const auto& o : outputs)
      if (!o) return false;
    return true;
  }));
  for (std::size_t i = 0; i < outputs.size(); ++i)
    EXPECT_EQ(*outputs[i], std::to_string(i) + "\r\n");
}

TEST(Win32Shell, NoCallbackOnceTheShellIsGone) {
  bool called = false;
  {
    TWin32Shell shell;
    shell.RunCommand("echo late", "", false, [&](std::string) { called = true; });
  }
  // Gives the command its time; the pump ends by the clock.
  PumpUntil([] { return false; }, std::chrono::milliseconds(1500));
  EXPECT_FALSE(called);
}

// A file in the temporary folder, removed with the object.
struct TTempFile {
  explicit TTempFile(const std::string& name) {
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    Path = folder + std::wstring(name.begin(), name.end());
    ::DeleteFileW(Path.c_str());
  }
  ~TTempFile() { ::DeleteFileW(Path.c_str()); }
  std::string Narrow() const { return std::string(Path.begin(), Path.end()); }
  bool Exists() const { return ::GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::wstring Path;
};

// A command that writes more than may be kept gives what may be kept and is ended there: what
// it would have done next never happens. (A limit of 1 MiB: Wine's pipes are slow.)
TEST(Win32Shell, OutputBeyondTheLimitIsCutAndTheCommandEnded) {
  constexpr std::size_t kLimit = 1 << 20;
  TTempFile big("velloc-shell-big.txt"), after("velloc-shell-after.txt");
  {
    HANDLE file = ::CreateFileW(big.Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string block(1 << 20, 'y');
    for (std::size_t written = 0; written < 2 * kLimit; written += block.size()) {
      DWORD done = 0;
      ASSERT_TRUE(
          ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr));
    }
    ::CloseHandle(file);
  }
  TWin32Shell shell(kLimit);
  const auto output =
      RunCommand(shell, "type \"" + big.Narrow() + "\" & echo after>\"" + after.Narrow() + "\"");
  ASSERT_TRUE(output);
  EXPECT_EQ(output->size(), kLimit);
  EXPECT_EQ(output->find_first_not_of('y'), std::string::npos);
  PumpUntil([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_FALSE(after.Exists());
}

// Commands still running when the shell goes end with it.
TEST(Win32Shell, RunningCommandsEndWithTheShell) {
  TTempFile after("velloc-shell-late.txt");
  {
    TWin32Shell shell;
    shell.RunCommand("ping -n 3 127.0.0.1 >nul & echo late>\"" + after.Narrow() + "\"", "", false,
                     [](std::string) { ADD_FAILURE() << "no answer after the end"; });
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  }
  // Left running, the command would write its file after about 5 s under Wine.
  PumpUntil([] { return false; }, std::chrono::milliseconds(8000));
  EXPECT_FALSE(after.Exists());
}

TEST(Win32Shell, ACallbackMayEndTheShell) {
  auto shell = std::make_unique<TWin32Shell>();
  int calls = 0;
  for (int i = 0; i < 2; ++i) {
    shell->RunCommand("echo " + std::to_string(i), "", false, [&](std::string) {
      ++calls;
      shell.reset();
    });
  }
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
  PumpUntil([] { return false; }, std::chrono::milliseconds(1000));
  EXPECT_EQ(calls, 1);
}

TEST(Win32Shell, RefusalsCarryTheSystemMessage) {
  TWin32Shell shell;
  const TOutcome missing = shell.Execute("C:\\no\\such\\file.txt", "");
  EXPECT_FALSE(missing.Accepted);
  EXPECT_FALSE(missing.ErrorText.empty());
  EXPECT_FALSE(TWin32Shell::ErrorMessage(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_EQ(TWin32Shell::ErrorMessage(0x2FFFFFFF), "");
}

TEST(Win32Shell, OutputIsTextOfTheConsoleCodePageOrUtf8) {
  EXPECT_EQ(TWin32Shell::ConsoleOutputToUtf8(std::string("a\0b\r\n", 5)), "ab\r\n");
  EXPECT_EQ(TWin32Shell::ConsoleOutputToUtf8(""), "");
  // What a program that writes UTF-8 wrote stays as it is.
  EXPECT_EQ(TWin32Shell::ConsoleOutputToUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\u00e9 \u20ac");
  // cmd.exe's "echo café" in the US and Western European console code pages.
  const UINT console = ::GetConsoleOutputCP() ? ::GetConsoleOutputCP() : ::GetOEMCP();
  if (console == 437 || console == 850) {
    EXPECT_EQ(TWin32Shell::ConsoleOutputToUtf8("caf\x82 na\x8Bve"), "caf\u00e9 na\u00efve");
  }
  // The whole way, from cmd.exe in a console of its own, is the whole-program test's: a test
  // program run from a terminal under Wine hands its commands no console.
}

TEST(Win32WindowList, ListsTopLevelWindowsWithTheirWholeTitles) {
  const wchar_t* titles[] = {L"  Velloc padded title  ", L"Velloc \u00fcber \u4e16\u754c"};
  std::vector<HWND> windows;
  for (const wchar_t* title : titles)
    windows.push_back(::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, nullptr, nullptr));
  HWND blank = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
  // Wine makes no window without a display: this case runs where the tests have one.
  if (windows[0] == nullptr) GTEST_SKIP() << "no window without a display";
  for (HWND window : windows)
    ASSERT_NE(window, nullptr);

  const std::vector<std::string> listed = TWin32WindowList().TopLevelWindowTitles();
  for (const std::string expected : {"  Velloc padded title  ", "Velloc über 世界"})
    EXPECT_NE(std::find(listed.begin(), listed.end(), expected), listed.end()) << expected;
  // Blank titles are listed too; leaving them out is the caller's rule.
  EXPECT_NE(std::find(listed.begin(), listed.end(), ""), listed.end());

  for (HWND window : windows)
    ::DestroyWindow(window);
  ::DestroyWindow(blank);
}

TEST(Win32Network, AdapterKindsAndAddresses) {
  IP_ADAPTER_INFO list[4] = {};
  const struct {
    UINT Type;
    std::vector<std::uint8_t> Address;
    TLinkKind Kind;
  } cases[] = {
      {MIB_IF_TYPE_ETHERNET, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, TLinkKind::Ethernet},
      {IF_TYPE_IEEE80211, {0x02, 0x00, 0x00, 0x00, 0x00, 0x01}, TLinkKind::Wireless},
      {MIB_IF_TYPE_LOOPBACK, {}, TLinkKind::Other},
      {MIB_IF_TYPE_PPP, {1, 2, 3, 4, 5, 6, 7, 8}, TLinkKind::Other},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    list[i].Type = cases[i].Type;
    list[i].AddressLength = static_cast<UINT>(cases[i].Address.size());
    std::copy(cases[i].Address.begin(), cases[i].Address.end(), list[i].Address);
    list[i].Next = i + 1 < 4 ? &list[i + 1] : nullptr;
  }
  const std::vector<TNetworkAdapter> adapters = TWin32Network::FromAdapterInfo(list);
  ASSERT_EQ(adapters.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(adapters[i].Kind, cases[i].Kind) << i;
    EXPECT_EQ(adapters[i].Address, cases[i].Address) << i;
  }
  EXPECT_TRUE(TWin32Network::FromAdapterInfo(nullptr).empty());

  // The machine's own list: whatever Wine reports, read without fault.
  for (const TNetworkAdapter& adapter : TWin32Network().Adapters())
    EXPECT_LE(adapter.Address.size(), static_cast<std::size_t>(MAX_ADAPTER_ADDRESS_LENGTH));
}

TEST(Win32Session, EveryEndIsForced) {
  EXPECT_EQ(TWin32Session::ExitFlags(TSessionEnd::LogOff), 4u);
  EXPECT_EQ(TWin32Session::ExitFlags(TSessionEnd::Reboot), 6u);
  EXPECT_EQ(TWin32Session::ExitFlags(TSessionEnd::PowerOff), 5u);
}

}  // namespace
}  // namespace velloc::platform
