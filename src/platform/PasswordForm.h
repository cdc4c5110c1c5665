// The password form shown at start-up when the application has a password: an edit box that
// shows every character as "*", nothing else. The core decides when the typed text is right.
#pragma once

#include <string>

namespace velloc::platform {

class IPasswordFormEvents {
 public:
  virtual ~IPasswordFormEvents() = default;
  // After every key release in the edit box, with its whole text.
  virtual void PasswordEditKeyUp(const std::string& text) = 0;
};

class IPasswordFormView {
 public:
  virtual ~IPasswordFormView() = default;
  // Shows the form modally until a modal result is set (mrOk) or the user closes it (mrCancel).
  virtual int ShowModal(const std::string& caption, IPasswordFormEvents& events) = 0;
  // Closes the form that is showing with this result.
  virtual void SetModalResult(int result) = 0;
};

}  // namespace velloc::platform
