// The rounded-corner preference of one GTK top-level window. Its native window is created when
// GTK realizes the widget, so the preference goes out on each "realize". On X11 and Wayland the
// window manager or compositor draws the frame and decides the corners itself: there is no
// request to pass the preference on, and the platform call does nothing.
#pragma once

#include <gtk/gtk.h>

#include "core/RoundedCornerForm.h"

namespace velloc::platform::gtk {

class TGtkRoundedCorners final : public forms::TRoundedCornerForm {
 public:
  explicit TGtkRoundedCorners(GtkWidget* window);
  ~TGtkRoundedCorners() override;

 protected:
  void SetWindowCornerPreference(forms::TCornerPreference preference) override;

 private:
  static void OnRealize(GtkWidget* widget, TGtkRoundedCorners* self);
  static void OnUnrealize(GtkWidget* widget, TGtkRoundedCorners* self);

  GtkWidget* FWindow;  // one reference held, so the handlers can be disconnected at the end
};

}  // namespace velloc::platform::gtk
