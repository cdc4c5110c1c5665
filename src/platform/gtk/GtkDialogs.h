// Message dialogs with GTK; without a display their text goes to standard error.
#pragma once

#include "platform/Dialogs.h"

typedef struct _GtkWidget GtkWidget;

namespace velloc::platform::gtk {

class TGtkDialogs final : public IDialogs {
 public:
  explicit TGtkDialogs(bool hasDisplay) : FHasDisplay(hasDisplay) {}

  int MessageDlg(const std::string& message, TMsgDlgType kind,
                 const std::vector<TMsgDlgBtn>& buttons, const std::vector<std::string>& captions,
                 const std::string& title) override;
  void ShowMessage(const std::string& title, const std::string& message, bool error) override;

 private:
  bool FHasDisplay;
};

// Lets the text of a message dialog wrap inside a word as well: a long word from a page or a
// package would otherwise make the dialog wider than the screen.
void WrapMessageAnywhere(GtkWidget* dialog);

// The report of an error that start-up did not expect: a message box titled "Application Error"
// when a display exists, and the same text on standard error.
void ShowApplicationError(const std::string& message);

}  // namespace velloc::platform::gtk
