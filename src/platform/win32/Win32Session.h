// ISession on Windows: ExitWindowsEx with the shutdown privilege enabled first, always forced.
#pragma once

#include "platform/Session.h"

namespace velloc::platform {

class TWin32Session final : public ISession {
 public:
  // Answers at once: the system carries the request out afterwards.
  void EndSession(TSessionEnd how, TOutcomeCallback done) override;

  // The ExitWindowsEx flags of each way to end.
  static unsigned ExitFlags(TSessionEnd how);
};

}  // namespace velloc::platform
