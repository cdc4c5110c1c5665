// The channel from a later start to the running instance, on a real socket and main loop.
#include <future>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <glib.h>

#include "common/ScratchDir.h"
#include "core/InstanceMessage.h"
#include "platform/linux/InstanceChannel.h"

namespace velloc::platform {
namespace {

// Runs the main loop until `done` or two seconds have passed.
void Pump(const std::function<bool()>& done) {
  const gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
  while (!done() && g_get_monotonic_time() < deadline)
    g_main_context_iteration(nullptr, FALSE);
}

// Writes raw bytes to the socket, as another program of the user could.
void SendRaw(const std::string& path, const std::string& bytes) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

TEST(InstanceChannel, ArgumentsReachTheListenerAndNothingElseDoes) {
  velloc::testing::ScratchDir folder("velloc-channel");
  const std::string path = (folder / "x.sock").string();
  std::vector<std::vector<std::string>> received;
  TInstanceListener listener(path, [&](std::vector<std::string> a) { received.push_back(a); });
  ASSERT_TRUE(listener.Listening());

  const std::vector<std::string> arguments = {"velloc-e2e://open?x=1", "/home/José/a b.md"};
  auto sent =
      std::async(std::launch::async, [&] { return SendInstanceArguments(path, arguments, 1000); });
  Pump([&] { return !received.empty(); });
  EXPECT_TRUE(sent.get());
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], arguments);

  // Of a message cut short or too long, what is well formed; bytes that are no later start's
  // message reach nobody. The listener goes on.
  SendRaw(path, "velloc-args 1\n1:a\n5:ab\n");
  SendRaw(path, std::string(kMaxInstanceMessage + 10, 'x'));
  SendRaw(path, "velloc-args 1\n2:ok\n" + std::string(kMaxInstanceMessage, '1'));
  std::thread later([&] { SendInstanceArguments(path, {"after"}, 1000); });
  Pump([&] { return received.size() == 4; });
  later.join();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[1], std::vector<std::string>{"a"});
  EXPECT_EQ(received[2], std::vector<std::string>{"ok"});
  EXPECT_EQ(received[3], std::vector<std::string>{"after"});
}

// A later start that stops sending hands over what arrived once its time is up.
TEST(InstanceChannel, ASlowLaterStartHandsOverWhatArrived) {
  velloc::testing::ScratchDir folder("velloc-channel");
  const std::string path = (folder / "x.sock").string();
  std::vector<std::vector<std::string>> received;
  TInstanceListener listener(path, [&](std::vector<std::string> a) { received.push_back(a); });
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string part = "velloc-args 1\n4:file\n9:cut";
  ASSERT_EQ(::write(fd, part.data(), part.size()), static_cast<ssize_t>(part.size()));
  const gint64 deadline = g_get_monotonic_time() + 8 * G_USEC_PER_SEC;
  while (received.empty() && g_get_monotonic_time() < deadline)
    g_main_context_iteration(nullptr, FALSE);
  ::close(fd);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], std::vector<std::string>{"file"});
}

TEST(InstanceChannel, NobodyListeningTakesNothing) {
  velloc::testing::ScratchDir folder("velloc-channel");
  EXPECT_FALSE(SendInstanceArguments((folder / "none.sock").string(), {"a"}, 200));
  // A path too long for a socket address.
  EXPECT_FALSE(SendInstanceArguments(std::string(200, 'a'), {"a"}, 0));
  EXPECT_FALSE(TInstanceListener(std::string(200, 'a'), nullptr).Listening());
}

}  // namespace
}  // namespace velloc::platform
