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

  // Malformed and oversized messages are dropped whole; the listener goes on.
  SendRaw(path, "velloc-args 1\n5:ab\n");
  SendRaw(path, std::string(kMaxInstanceMessage + 10, 'x'));
  std::thread later([&] { SendInstanceArguments(path, {"after"}, 1000); });
  Pump([&] { return received.size() == 2; });
  later.join();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1], std::vector<std::string>{"after"});
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
