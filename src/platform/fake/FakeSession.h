// Fake of the session: records each request and answers with the outcome a test sets.
#pragma once

#include <vector>

#include "platform/Session.h"

namespace velloc::platform::fake {

class TFakeSession : public ISession {
 public:
  TOutcome Outcome{true, ""};
  std::vector<TSessionEnd> Requests;

  void EndSession(TSessionEnd how, TOutcomeCallback done) override {
    Requests.push_back(how);
    done(Outcome);
  }
};

}  // namespace velloc::platform::fake
