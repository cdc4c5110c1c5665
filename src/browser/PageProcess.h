// What becomes of the page when its process ends or stops answering. A process that ends (a
// crash, the out-of-memory killer) loses the page anyway: it is loaded again once, and a page
// that takes its process down again at once gets an error page instead of a loop. A process
// that only stops answering (a long computation) still holds the page and its state: the user
// is asked whether to wait or reload, never reloaded unasked, and the question goes by itself
// once the page answers again. The browser form feeds in the web view's events and the user's
// answers and carries out the steps.
#pragma once

#include <chrono>
#include <optional>

namespace velloc::browser {

// A page whose process ends again this soon after a reload is not reloaded once more.
inline constexpr std::chrono::seconds kProcessRecoveryWindow{10};

// What the browser form does next; any combination.
struct TPageSteps {
  bool CloseQuestion = false;
  bool Ask = false;
  bool Reload = false;
  bool ShowErrorPage = false;
};

class TPageProcess {
 public:
  using TClock = std::chrono::steady_clock;

  TPageSteps ProcessEnded(TClock::time_point now);
  TPageSteps ResponsivenessChanged(bool responsive);
  // The user's answer to the open question; an answer to a question already gone (the page
  // answered, or ended, meanwhile) changes nothing.
  TPageSteps Answered(bool reload);

  // The page failed for good and shows the error page.
  bool Failed() const { return FFailed; }
  // The page answers as far as its events tell: not failed, not hanging.
  bool Answering() const { return !FFailed && FState == TState::Answering; }
  bool Asking() const { return FState == TState::Asking; }

 private:
  enum class TState { Answering, Asking, Waiting };
  TState FState = TState::Answering;
  bool FFailed = false;
  std::optional<TClock::time_point> FLastEnd;
};

}  // namespace velloc::browser
