#include "platform/gtk/GtkMainMenuBar.h"

#include "platform/gtk/GtkMenuItems.h"

namespace velloc::platform::gtk {

TGtkMainMenuBar::TGtkMainMenuBar(GtkWidget* contentBox) : FContentBox(contentBox) {
  FBar = glib::TObjectPtr<GtkWidget>(GTK_WIDGET(g_object_ref_sink(gtk_menu_bar_new())));
}

TGtkMainMenuBar::~TGtkMainMenuBar() {
  // Destroying the bar takes its items and their click bindings with it.
  gtk_widget_destroy(FBar.Get());
}

void TGtkMainMenuBar::Attach() {
  if (FAttached) return;
  FAttached = true;
  gtk_box_pack_start(GTK_BOX(FContentBox), FBar.Get(), FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(FContentBox), FBar.Get(), 0);
  gtk_widget_show_all(FBar.Get());
}

void TGtkMainMenuBar::SetEntries(const std::vector<TMenuEntry>& entries) {
  GtkMenuShell* shell = GTK_MENU_SHELL(FBar.Get());
  ClearMenuShell(shell);
  AppendMenuEntries(shell, entries, &TGtkMainMenuBar::OnActivate, this);
  if (FAttached) gtk_widget_show_all(FBar.Get());
}

void TGtkMainMenuBar::OnActivate(std::int32_t id, gpointer self) {
  auto* bar = static_cast<TGtkMainMenuBar*>(self);
  if (bar->FOnClick) bar->FOnClick(id);
}

}  // namespace velloc::platform::gtk
