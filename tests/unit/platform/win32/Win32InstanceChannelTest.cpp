// The channel from a later start to the running instance on Windows: the pipe's name and
// security, and messages through a real pipe under Wine, from another thread to this one's
// message loop.
#include <aclapi.h>
#include <chrono>
#include <future>
#include <sddl.h>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "core/InstanceMessage.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32InstanceChannel.h"
#include "platform/win32/Win32System.h"

namespace velloc::platform::win32 {
namespace {

// Runs the thread's messages until `done` or the time has passed.
template <typename TDone>
bool PumpUntil(TDone done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageW(&message);
  }
  return true;
}

// A pipe name of this test run alone: tests of several runs may share the machine.
std::string UniqueName(const char* what) {
  return InstancePipeName(std::string("velloc-test-") + what + "-" +
                          std::to_string(::GetCurrentProcessId()));
}

// Writes raw bytes to the pipe, as another program of the user could.
void SendRaw(const std::string& pipeName, const std::string& bytes) {
  const std::wstring name = Widen(pipeName);
  ASSERT_TRUE(::WaitNamedPipeW(name.c_str(), 5000));
  const HANDLE pipe =
      ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(pipe);
}

TEST(Win32InstanceChannel, NameCarriesTheLockTheUserAndTheSession) {
  const std::string sid = "S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string name = InstancePipeName("com.example.notes", sid, 2);
  EXPECT_EQ(name.rfind("\\\\.\\pipe\\velloc-", 0), 0u) << name;
  EXPECT_NE(name.find("-" + sid + "-2"), std::string::npos) << name;
  // Whatever the ID holds, the name stays one short pipe name (no further backslash).
  const std::vector<std::string> ids = {"com.example.notes", "a\\b", std::string(300, 'x'), "中文"};
  for (const std::string& id : ids) {
    const std::string pipe = InstancePipeName(id, sid, 1);
    EXPECT_EQ(pipe.find('\\', 9), std::string::npos) << pipe;
    EXPECT_LT(pipe.size(), 256u) << pipe;
  }
  // Another ID, user or session is another pipe.
  EXPECT_NE(InstancePipeName("com.example.notes", sid, 1),
            InstancePipeName("com.example.other", sid, 1));
  EXPECT_NE(InstancePipeName("a", sid, 1), InstancePipeName("a", "S-1-5-21-1-2-3-1002", 1));
  EXPECT_NE(InstancePipeName("a", sid, 1), InstancePipeName("a", sid, 2));
  // This process's own: its user is known.
  EXPECT_FALSE(CurrentUserSid().empty());
  EXPECT_EQ(InstancePipeName("a").rfind("\\\\.\\pipe\\velloc-", 0), 0u);
}

TEST(Win32InstanceChannel, SecurityGrantsTheUserAndTheSystemOnly) {
  const std::string sid = CurrentUserSid();
  ASSERT_FALSE(sid.empty());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      Widen(InstancePipeSecurity(sid)).c_str(), SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);  // nothing inherited from the defaults
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(dacl->AceCount, 2u);
  std::vector<std::string> granted;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    wchar_t* text = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(&allowed->SidStart, &text));
    granted.push_back(Narrow(text));
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  EXPECT_EQ(granted, (std::vector<std::string>{sid, "S-1-5-18"}));
}

TEST(Win32InstanceChannel, ArgumentsReachTheUiThreadAndNothingElseDoes) {
  const std::string name = UniqueName("round");
  std::vector<std::vector<std::string>> received;
  std::vector<DWORD> threads;
  TInstanceListener listener(name, [&](std::vector<std::string> arguments) {
    received.push_back(std::move(arguments));
    threads.push_back(::GetCurrentThreadId());
  });
  ASSERT_TRUE(listener.Listening());

  const std::vector<std::string> arguments = {"velloc-e2e://open?x=1", "C:\\Users\\José\\a b.md",
                                              ""};
  auto sent =
      std::async(std::launch::async, [&] { return SendInstanceArguments(name, arguments, 2000); });
  ASSERT_TRUE(PumpUntil([&] { return !received.empty(); }));
  EXPECT_TRUE(sent.get());
  EXPECT_EQ(received[0], arguments);
  EXPECT_EQ(threads[0], ::GetCurrentThreadId());

  // Of a message cut short or too long, what is well formed; bytes that are no later start's
  // message reach nobody. The listener goes on.
  std::thread raw([&] {
    SendRaw(name, "velloc-args 1\n1:a\n5:ab\n");
    SendRaw(name, std::string(kMaxInstanceMessage + 10, 'x'));
    SendRaw(name, "velloc-args 1\n2:ok\n" + std::string(kMaxInstanceMessage, '1'));
    SendRaw(name, "");
  });
  // Arguments beyond the limits: the leading ones that fit.
  const std::vector<std::string> many(kMaxInstanceArguments + 1, "m");
  std::thread later([&] {
    raw.join();
    EXPECT_TRUE(SendInstanceArguments(name, many, 5000));
  });
  ASSERT_TRUE(PumpUntil([&] { return received.size() == 4; }));
  later.join();
  EXPECT_EQ(received[1], std::vector<std::string>{"a"});
  EXPECT_EQ(received[2], std::vector<std::string>{"ok"});
  EXPECT_EQ(received[3], std::vector<std::string>(kMaxInstanceArguments, "m"));
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(received.size(), 4u);
}

TEST(Win32InstanceChannel, TheNameIsHeldWhileTheListenerLives) {
  const std::string name = UniqueName("held");
  {
    TInstanceListener first(name, nullptr);
    ASSERT_TRUE(first.Listening());
    // Nobody, this user included, can listen under the name now.
    EXPECT_FALSE(TInstanceListener(name, nullptr).Listening());
    const HANDLE squatter =
        ::CreateNamedPipeW(Widen(name).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE,
                           PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    EXPECT_EQ(squatter, INVALID_HANDLE_VALUE);
    if (squatter != INVALID_HANDLE_VALUE) ::CloseHandle(squatter);
  }
  // An ended listener leaves the name free.
  EXPECT_TRUE(TInstanceListener(name, nullptr).Listening());
}

TEST(Win32InstanceChannel, NobodyListeningTakesNothing) {
  EXPECT_FALSE(SendInstanceArguments(UniqueName("none"), {"a"}, 200));
  EXPECT_FALSE(SendInstanceArguments("", {"a"}, 0));
  EXPECT_FALSE(TInstanceListener("", nullptr).Listening());
}

TEST(Win32InstanceChannel, AnInstanceThatNeverReadsDoesNotHoldTheSender) {
  // A pipe that takes a connection but never reads, with room for next to nothing: the message
  // cannot be written whole, and the sender gives up.
  const std::string name = UniqueName("hung");
  const HANDLE pipe = ::CreateNamedPipeW(Widen(name).c_str(), PIPE_ACCESS_INBOUND,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 1, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const std::vector<std::string> big(4, std::string(15000, 'b'));
  EXPECT_FALSE(SendInstanceArguments(name, big, 1000));
  ::CloseHandle(pipe);
}

TEST(Win32InstanceChannel, TheSystemListensUnderTheLocksName) {
  TWin32System system, later;
  const std::string lock = "velloc-test-system-" + std::to_string(::GetCurrentProcessId());
  std::vector<std::string> received;
  system.ListenForLaterStarts(lock, [&](std::vector<std::string> a) { received = std::move(a); });
  auto sent = std::async(std::launch::async,
                         [&] { return later.SendToRunningInstance(lock, {"file.md"}); });
  ASSERT_TRUE(PumpUntil([&] { return !received.empty(); }));
  EXPECT_TRUE(sent.get());
  EXPECT_EQ(received, std::vector<std::string>{"file.md"});
  // After the stop, later starts reach nobody.
  system.StopListeningForLaterStarts();
  EXPECT_FALSE(later.SendToRunningInstance(lock, {"again"}));
}

}  // namespace
}  // namespace velloc::platform::win32
