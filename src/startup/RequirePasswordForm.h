// The password gate's rule: after every key release the whole text of the edit box is compared
// with the password, ordinally (letter case matters, nothing trimmed); a match closes the form
// with OK. A wrong text is never reported.
#pragma once

#include <string>

#include "platform/PasswordForm.h"

namespace velloc::startup {

class TRequirePasswordForm final : public platform::IPasswordFormEvents {
 public:
  explicit TRequirePasswordForm(platform::IPasswordFormView& view) : FView(view) { FormCreate(); }

  const std::string& Password() const { return FPassword; }
  void Password(std::string password) { FPassword = std::move(password); }

  // mrOk once the password was typed, mrCancel when the user closed the form.
  int ShowModal(const std::string& caption);

  void FormCreate() { FPassword.clear(); }
  void PasswordEditKeyUp(const std::string& text) override;

 private:
  platform::IPasswordFormView& FView;
  std::string FPassword;
};

}  // namespace velloc::startup
