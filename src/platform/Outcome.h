// How a request to the desktop ended: accepted, or refused with the system's own text for why.
#pragma once

#include <functional>
#include <string>

namespace velloc::platform {

struct TOutcome {
  bool Accepted = false;
  std::string ErrorText;  // the system's message when refused (untrimmed)
};

// Called once, on the UI thread, when an asynchronous request has ended; possibly before the
// call that started it returns.
using TOutcomeCallback = std::function<void(TOutcome outcome)>;

}  // namespace velloc::platform
