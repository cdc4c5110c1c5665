#include "browser/PageProcess.h"

namespace velloc::browser {

TPageSteps TPageProcess::ProcessEnded(TClock::time_point now) {
  TPageSteps steps;
  // The hang, if any, ended with the process: the question has nothing left to decide.
  steps.CloseQuestion = FState == TState::Asking;
  FState = TState::Answering;
  if (FLastEnd && now - *FLastEnd < kProcessRecoveryWindow) {
    FFailed = true;
    steps.ShowErrorPage = true;
  } else {
    steps.Reload = true;
  }
  FLastEnd = now;
  return steps;
}

TPageSteps TPageProcess::ResponsivenessChanged(bool responsive) {
  TPageSteps steps;
  if (responsive) {
    steps.CloseQuestion = FState == TState::Asking;
    FState = TState::Answering;
  } else if (FState == TState::Answering && !FFailed) {
    // Asked once per hang: after "wait" the page is left alone until it answers again.
    FState = TState::Asking;
    steps.Ask = true;
  }
  return steps;
}

TPageSteps TPageProcess::Answered(bool reload) {
  TPageSteps steps;
  if (FState != TState::Asking) return steps;
  if (reload) {
    FState = TState::Answering;
    steps.Reload = true;
  } else {
    FState = TState::Waiting;
  }
  return steps;
}

}  // namespace velloc::browser
