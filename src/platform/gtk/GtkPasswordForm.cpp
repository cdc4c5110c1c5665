#include "platform/gtk/GtkPasswordForm.h"

#include <cstdio>

#include "platform/Dialogs.h"
#include "platform/gtk/CallbackGuard.h"

namespace velloc::platform::gtk {
namespace {

constexpr int kClientWidth = 308;
constexpr int kClientHeight = 71;
constexpr int kEditLeft = 24;
constexpr int kEditTop = 24;
constexpr int kEditWidth = 257;
constexpr int kEditHeight = 21;

}  // namespace

int TGtkPasswordForm::ShowModal(const std::string& caption, IPasswordFormEvents& events) {
  if (!FHasDisplay) {
    std::fprintf(stderr, "%s: a password is required and no display is open\n", caption.c_str());
    return mrCancel;
  }
  FEvents = &events;
  FResult.reset();

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), caption.c_str());
  // A dialog frame: fixed size, a close box, no minimise or maximise.
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_modal(GTK_WINDOW(window), TRUE);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  gtk_window_set_default_size(GTK_WINDOW(window), kClientWidth, kClientHeight);
  gtk_widget_set_size_request(window, kClientWidth, kClientHeight);

  GtkWidget* fixed = gtk_fixed_new();
  GtkWidget* edit = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(edit), FALSE);
  gtk_entry_set_invisible_char(GTK_ENTRY(edit), '*');
  // The key is decoration only: it does nothing when clicked.
  gtk_entry_set_icon_from_icon_name(GTK_ENTRY(edit), GTK_ENTRY_ICON_PRIMARY, "dialog-password");
  gtk_entry_set_icon_activatable(GTK_ENTRY(edit), GTK_ENTRY_ICON_PRIMARY, FALSE);
  gtk_widget_set_size_request(edit, kEditWidth, kEditHeight);
  gtk_fixed_put(GTK_FIXED(fixed), edit, kEditLeft, kEditTop);
  gtk_container_add(GTK_CONTAINER(window), fixed);

  g_signal_connect(edit, "key-release-event", G_CALLBACK(OnKeyRelease), this);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), this);

  gtk_widget_realize(window);
  gdk_window_set_functions(gtk_widget_get_window(window),
                           static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
  gtk_widget_show_all(window);
  gtk_widget_grab_focus(edit);
  gtk_window_present(GTK_WINDOW(window));

  FLoop = g_main_loop_new(nullptr, FALSE);
  if (!FResult) g_main_loop_run(FLoop);
  g_main_loop_unref(FLoop);
  FLoop = nullptr;
  FEvents = nullptr;

  g_signal_handlers_disconnect_by_data(edit, this);
  g_signal_handlers_disconnect_by_data(window, this);
  gtk_widget_destroy(window);
  while (gtk_events_pending())
    gtk_main_iteration();
  return FResult.value_or(mrCancel);
}

void TGtkPasswordForm::SetModalResult(int result) {
  FResult = result;
  if (FLoop) g_main_loop_quit(FLoop);
}

gboolean TGtkPasswordForm::OnKeyRelease(GtkWidget* entry, GdkEventKey*, TGtkPasswordForm* self) {
  glib::Guarded("a key release in the password form", [&] {
    if (self->FEvents && !self->FResult) {
      self->FEvents->PasswordEditKeyUp(gtk_entry_get_text(GTK_ENTRY(entry)));
    }
  });
  return FALSE;
}

// The close box and Alt+F4 close the form with Cancel.
gboolean TGtkPasswordForm::OnDelete(GtkWidget*, GdkEvent*, TGtkPasswordForm* self) {
  self->SetModalResult(mrCancel);
  return TRUE;  // destroyed by ShowModal once its loop has ended
}

}  // namespace velloc::platform::gtk
