// The channel from a later start of a single-instance application to the instance that runs,
// on Windows: a named pipe whose name carries the lock's name, the user's SID and the session.
// Pipe names are machine-wide, so the pipe is made as the first and only instance of its name
// (nobody can add an instance of their own while it exists), its DACL grants this user and the
// system alone, and each end checks the user of the process at the other end: a later start never
// writes to a pipe that another user made first, and the listener drops a client of another user.
// The listener reads on a thread of its own, at most the channel's limit and with a deadline per
// message, and hands what of it is well formed (InstanceMessage.h) to the UI thread through a
// message-only window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velloc::platform::win32 {

// The SID of this process's user as text ("S-1-5-21-..."); empty when the token cannot be read.
std::string CurrentUserSid();
// The pipe of the instance lock `lockName` for the user `sid` in the session `session`.
std::string InstancePipeName(const std::string& lockName, const std::string& sid,
                             unsigned long session);
// The same for this process's user and session; empty when the user is unknown.
std::string InstancePipeName(const std::string& lockName);
// The pipe's security descriptor as SDDL: a protected DACL that grants the user `sid` and the
// system, nobody else.
std::string InstancePipeSecurity(const std::string& sid);

// Sends the arguments to the instance listening at `pipeName`, waiting up to `waitMs` for it to
// begin listening (it may still be starting) or to finish with another later start. The running
// instance may then take the foreground. False when nobody of this user took them.
bool SendInstanceArguments(const std::string& pipeName, const std::vector<std::string>& arguments,
                           int waitMs);

class TInstanceListener {
 public:
  using TReceived = std::function<void(std::vector<std::string> arguments)>;
  // Made on the UI thread, which then receives the arguments; Listening() is false when the pipe
  // cannot be made (its name is taken, by an instance of this user or by anybody else).
  TInstanceListener(const std::string& pipeName, TReceived received);
  TInstanceListener(const TInstanceListener&) = delete;
  TInstanceListener& operator=(const TInstanceListener&) = delete;
  ~TInstanceListener();
  bool Listening() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace velloc::platform::win32
