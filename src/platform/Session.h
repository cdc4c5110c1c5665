// Ending the user's session or the machine's run.
#pragma once

#include "platform/Outcome.h"

namespace velloc::platform {

enum class TSessionEnd { LogOff, Reboot, PowerOff };

class ISession {
 public:
  virtual ~ISession() = default;
  // Asks the system to log the user off, restart or power off; `done` tells whether it accepted.
  virtual void EndSession(TSessionEnd how, TOutcomeCallback done) = 0;
};

}  // namespace velloc::platform
