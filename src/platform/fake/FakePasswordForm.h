// The password form for tests: it replays the edit box's text after each of a list of key
// releases, then the user closes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/PasswordForm.h"

namespace velloc::platform::fake {

class TFakePasswordFormView : public IPasswordFormView {
 public:
  std::vector<std::string> Texts;     // the text after each key release, in order
  std::vector<std::string> Captions;  // one per ShowModal
  std::size_t KeyUps = 0;             // key releases delivered before the form closed

  int ShowModal(const std::string& caption, IPasswordFormEvents& events) override {
    Captions.push_back(caption);
    FResult.reset();
    KeyUps = 0;
    for (const std::string& text : Texts) {
      ++KeyUps;
      events.PasswordEditKeyUp(text);
      if (FResult) return *FResult;
    }
    return mrCancel;  // the close box
  }
  void SetModalResult(int result) override { FResult = result; }

 private:
  std::optional<int> FResult;
};

}  // namespace velloc::platform::fake
