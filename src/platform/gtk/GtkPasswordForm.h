// The password form with GTK: a fixed-size dialog window whose one child is an edit box showing
// "*" for every character, with a key icon at its start and the focus.
#pragma once

#include <optional>

#include <gtk/gtk.h>

#include "platform/PasswordForm.h"

namespace velloc::platform::gtk {

class TGtkPasswordForm final : public IPasswordFormView {
 public:
  explicit TGtkPasswordForm(bool hasDisplay) : FHasDisplay(hasDisplay) {}
  TGtkPasswordForm(const TGtkPasswordForm&) = delete;
  TGtkPasswordForm& operator=(const TGtkPasswordForm&) = delete;

  int ShowModal(const std::string& caption, IPasswordFormEvents& events) override;
  void SetModalResult(int result) override;

 private:
  static gboolean OnKeyRelease(GtkWidget* entry, GdkEventKey* event, TGtkPasswordForm* self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, TGtkPasswordForm* self);

  bool FHasDisplay;
  IPasswordFormEvents* FEvents = nullptr;
  GMainLoop* FLoop = nullptr;
  std::optional<int> FResult;
};

}  // namespace velloc::platform::gtk
