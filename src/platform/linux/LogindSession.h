// ISession on Linux: systemd-logind over the system bus. Log off terminates the caller's session;
// restart and power off ask the manager, which may have polkit ask the user.
#pragma once

#include "platform/Session.h"

typedef struct _GCancellable GCancellable;

namespace velloc::platform {

class TLogindSession final : public ISession {
 public:
  TLogindSession();
  // Pending requests are cancelled: their callbacks are not called any more.
  ~TLogindSession() override;
  TLogindSession(const TLogindSession&) = delete;
  TLogindSession& operator=(const TLogindSession&) = delete;

  void EndSession(TSessionEnd how, TOutcomeCallback done) override;

 private:
  GCancellable* FCancellable;
};

}  // namespace velloc::platform
