// Message dialogs on Windows: a dialog of our own rather than MessageBox, whose fixed button
// sets have no lone Yes button and no way to caption them. Buttons are laid out in the standard
// order with the captions given; Enter presses the default button (OK, else Yes, else Retry),
// Escape presses Cancel, else No, else OK, and does nothing otherwise; the close box gives
// Cancel.
#pragma once

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/Dialogs.h"

namespace velloc::platform {

class TWin32Dialogs final : public IDialogs {
 public:
  int MessageDlg(const std::string& message, TMsgDlgType kind,
                 const std::vector<TMsgDlgBtn>& buttons, const std::vector<std::string>& captions,
                 const std::string& title) override;
  void ShowMessage(const std::string& title, const std::string& message, bool error) override;

  // The dialog's buttons in layout order, each with its result and caption.
  struct TButton {
    int Result;
    std::string Caption;
  };
  static std::vector<TButton> LaidOutButtons(const std::vector<TMsgDlgBtn>& buttons,
                                             const std::vector<std::string>& captions);
  static int DefaultResult(const std::vector<TMsgDlgBtn>& buttons);
  // mrNone when Escape does nothing.
  static int EscapeResult(const std::vector<TMsgDlgBtn>& buttons);

  // The same dialog without blocking: it shows at once, owned by `owner`, and when a button or
  // its close box ends it, it goes and then calls `answered` with the result. Null when it
  // cannot be made; it also goes, unanswered, with its owner.
  static HWND ShowModeless(HWND owner, const std::string& message, TMsgDlgType kind,
                           const std::vector<TMsgDlgBtn>& buttons,
                           const std::vector<std::string>& captions, const std::string& title,
                           std::function<void(int)> answered);
  // Takes a dialog of ShowModeless away unanswered.
  static void CloseModeless(HWND dialog);
  // For the message loop: the keys of the dialogs of ShowModeless (Tab, Enter, Escape); true
  // when the message was theirs and has been handled.
  static bool IsModelessMessage(MSG& message);
};

// The report of an error that start-up did not expect: a message box titled
// "Application Error" with the error's text, and the same text on standard error.
void ShowApplicationError(const std::string& message);

}  // namespace velloc::platform
