// The channel from a later start of a single-instance application to the instance that runs:
// a Unix socket in the private folder that also holds the instance lock, so only this user's
// processes can reach it; each end also checks the other's user through SO_PEERCRED. The
// listener reads on the GLib main loop, at most the channel's limit and for a few seconds, and
// hands over what of a message is well formed (InstanceMessage.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velloc::platform {

// Sends the arguments to the instance listening at `socketPath`, waiting up to `waitMs` for it
// to begin listening (it may still be starting). False when nobody took them.
bool SendInstanceArguments(const std::string& socketPath, const std::vector<std::string>& arguments,
                           int waitMs);

class TInstanceListener {
 public:
  using TReceived = std::function<void(std::vector<std::string> arguments)>;
  // Listens at `socketPath` (a stale socket of an ended instance is replaced); Listening() is
  // false when the socket cannot be made.
  TInstanceListener(const std::string& socketPath, TReceived received);
  TInstanceListener(const TInstanceListener&) = delete;
  TInstanceListener& operator=(const TInstanceListener&) = delete;
  ~TInstanceListener();
  bool Listening() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace velloc::platform
