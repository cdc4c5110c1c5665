#include "platform/linux/InstanceChannel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>

#include <glib-unix.h>
#include <glib.h>

#include "core/InstanceMessage.h"
#include "platform/gtk/CallbackGuard.h"

namespace velloc::platform {
namespace {

constexpr guint kMessageTimeoutSeconds = 5;

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool PeerIsThisUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

}  // namespace

bool SendInstanceArguments(const std::string& socketPath, const std::vector<std::string>& arguments,
                           int waitMs) {
  sockaddr_un address;
  const std::string message = EncodeInstanceMessage(arguments);
  if (!MakeAddress(socketPath, address)) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      bool sent = PeerIsThisUser(fd);
      const timeval timeout{2, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      for (std::size_t done = 0; sent && done < message.size();) {
        const ssize_t n = ::send(fd, message.data() + done, message.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
          sent = false;
        else
          done += static_cast<std::size_t>(n);
      }
      ::close(fd);
      return sent;
    }
    const int error = errno;
    ::close(fd);
    // The running instance has the lock but may not listen yet: it is still starting.
    if ((error != ENOENT && error != ECONNREFUSED) || std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// The listening socket and its connections, on the GLib main loop.
struct TInstanceListener::TImpl {
  std::string Path;
  TReceived Received;
  int Socket = -1;
  guint Source = 0;
  struct TConnection {
    TImpl* Owner;
    int Fd;
    guint ReadSource = 0;
    guint TimeoutSource = 0;
    std::string Bytes;
  };
  std::vector<TConnection*> Connections;

  ~TImpl();
  void Drop(TConnection* connection);
  void Finish(TConnection* connection);
  static gboolean OnAcceptable(gint fd, GIOCondition condition, gpointer self);
  static gboolean OnReadable(gint fd, GIOCondition condition, gpointer connection);
  static gboolean OnTimeout(gpointer connection);
};

TInstanceListener::TInstanceListener(const std::string& socketPath, TReceived received)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Path = socketPath;
  FImpl->Received = std::move(received);
  sockaddr_un address;
  if (!MakeAddress(socketPath, address)) return;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  // Only the holder of the instance lock listens, so a socket left here is an ended
  // instance's.
  ::unlink(socketPath.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  FImpl->Socket = fd;
  FImpl->Source = g_unix_fd_add(fd, G_IO_IN, TImpl::OnAcceptable, FImpl.get());
}

TInstanceListener::~TInstanceListener() = default;

bool TInstanceListener::Listening() const {
  return FImpl->Socket >= 0;
}

TInstanceListener::TImpl::~TImpl() {
  for (TConnection* connection : std::vector<TConnection*>(Connections))
    Drop(connection);
  if (Source) g_source_remove(Source);
  if (Socket >= 0) {
    ::close(Socket);
    ::unlink(Path.c_str());
  }
}

gboolean TInstanceListener::TImpl::OnAcceptable(gint fd, GIOCondition, gpointer data) {
  auto* self = static_cast<TImpl*>(data);
  for (;;) {
    const int connection = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (connection < 0) break;
    if (!PeerIsThisUser(connection) || self->Connections.size() >= 8) {
      ::close(connection);
      continue;
    }
    const bool kept = glib::Guarded("a later start's connection", [&] {
      auto state = std::make_unique<TConnection>(TConnection{self, connection, 0, 0, {}});
      state->Bytes.reserve(kMaxInstanceMessage);
      self->Connections.push_back(state.get());
      TConnection* added = state.release();
      added->ReadSource = g_unix_fd_add(connection, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP),
                                        OnReadable, added);
      added->TimeoutSource = g_timeout_add_seconds(kMessageTimeoutSeconds, OnTimeout, added);
      return true;
    });
    if (!kept) ::close(connection);
  }
  return G_SOURCE_CONTINUE;
}

gboolean TInstanceListener::TImpl::OnReadable(gint fd, GIOCondition, gpointer data) {
  auto* connection = static_cast<TConnection*>(data);
  char buffer[4096];
  for (;;) {
    // Never more than the limit: the rest of a message that long is not read.
    const std::size_t room = kMaxInstanceMessage - connection->Bytes.size();
    if (room == 0) break;
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, room));
    if (n > 0) {
      connection->Bytes.append(buffer, static_cast<std::size_t>(n));  // reserved: no allocation
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return G_SOURCE_CONTINUE;
    break;  // the end of the message, or an error
  }
  connection->ReadSource = 0;  // this source ends with the return below
  connection->Owner->Finish(connection);
  return G_SOURCE_REMOVE;
}

// A later start that does not finish in time hands over what it has sent.
gboolean TInstanceListener::TImpl::OnTimeout(gpointer data) {
  auto* connection = static_cast<TConnection*>(data);
  connection->TimeoutSource = 0;
  connection->Owner->Finish(connection);
  return G_SOURCE_REMOVE;
}

// The window comes forward for every later start, with what of its arguments arrived well
// formed; bytes that are no later start's message reach nobody.
void TInstanceListener::TImpl::Finish(TConnection* connection) {
  glib::Guarded("a later start's arguments", [&] {
    std::optional<std::vector<std::string>> arguments = DecodeInstanceMessage(connection->Bytes);
    Drop(connection);
    connection = nullptr;
    if (arguments && Received) Received(std::move(*arguments));
  });
  if (connection) Drop(connection);
}

void TInstanceListener::TImpl::Drop(TConnection* connection) {
  if (connection->ReadSource) g_source_remove(connection->ReadSource);
  if (connection->TimeoutSource) g_source_remove(connection->TimeoutSource);
  ::close(connection->Fd);
  Connections.erase(std::remove(Connections.begin(), Connections.end(), connection),
                    Connections.end());
  delete connection;
}

}  // namespace velloc::platform
