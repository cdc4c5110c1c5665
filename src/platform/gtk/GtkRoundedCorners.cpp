#include "platform/gtk/GtkRoundedCorners.h"

#include <cstdio>
#include <exception>

namespace velloc::platform::gtk {

TGtkRoundedCorners::TGtkRoundedCorners(GtkWidget* window)
    : FWindow(GTK_WIDGET(g_object_ref(window))) {
  g_signal_connect(FWindow, "realize", G_CALLBACK(OnRealize), this);
  g_signal_connect(FWindow, "unrealize", G_CALLBACK(OnUnrealize), this);
  if (gtk_widget_get_realized(FWindow)) WindowCreated();
}

TGtkRoundedCorners::~TGtkRoundedCorners() {
  g_signal_handlers_disconnect_by_data(FWindow, this);
  g_object_unref(FWindow);
}

void TGtkRoundedCorners::SetWindowCornerPreference(forms::TCornerPreference /*preference*/) {
  // The window manager decides the corners; nothing to ask it.
}

void TGtkRoundedCorners::OnRealize(GtkWidget*, TGtkRoundedCorners* self) {
  try {
    self->WindowCreated();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: window corners: %s\n", error.what());
  }
}

void TGtkRoundedCorners::OnUnrealize(GtkWidget*, TGtkRoundedCorners* self) {
  self->WindowDestroyed();
}

}  // namespace velloc::platform::gtk
