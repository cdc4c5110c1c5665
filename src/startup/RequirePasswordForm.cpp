#include "startup/RequirePasswordForm.h"

#include "platform/Dialogs.h"

namespace velloc::startup {

int TRequirePasswordForm::ShowModal(const std::string& caption) {
  return FView.ShowModal(caption, *this);
}

void TRequirePasswordForm::PasswordEditKeyUp(const std::string& text) {
  if (text == FPassword) FView.SetModalResult(platform::mrOk);
}

}  // namespace velloc::startup
