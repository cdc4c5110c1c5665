#include "platform/gtk/GtkMenuItems.h"

#include <cstdio>
#include <exception>
#include <string>

#include "platform/gtk/GtkMenuImageDecoder.h"

namespace velloc::platform::gtk {
namespace {

// What an activated item needs to report its click; owned by the item.
struct TActivation {
  std::int32_t Id;
  TGtkMenuActivate OnActivate;
  gpointer UserData;
};

void OnItemActivate(GtkMenuItem* /*item*/, gpointer data) {
  const auto* activation = static_cast<const TActivation*>(data);
  try {
    activation->OnActivate(activation->Id, activation->UserData);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc menu: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc menu: unknown error\n");
  }
}

GtkWidget* NewItem(const TMenuEntry& entry) {
  if (entry.Separator) return gtk_separator_menu_item_new();
  const std::string label = MnemonicLabel(entry, '_');
  const auto* image = dynamic_cast<const TGtkMenuImage*>(entry.Image.get());
  if (!image) return gtk_menu_item_new_with_mnemonic(label.c_str());
  GtkWidget* item = gtk_menu_item_new();
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* text = gtk_label_new_with_mnemonic(label.c_str());
  gtk_label_set_mnemonic_widget(GTK_LABEL(text), item);
  gtk_label_set_xalign(GTK_LABEL(text), 0.0F);
  gtk_box_pack_start(GTK_BOX(box), image->NewImageWidget(entry.Enabled), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), text, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(item), box);
  return item;
}

}  // namespace

void AppendMenuEntries(GtkMenuShell* shell, const std::vector<TMenuEntry>& entries,
                       TGtkMenuActivate onActivate, gpointer userData) {
  for (const TMenuEntry& entry : entries) {
    GtkWidget* item = NewItem(entry);
    gtk_widget_set_sensitive(item, entry.Enabled);
    if (!entry.Separator && entry.Submenu) {
      GtkWidget* submenu = gtk_menu_new();
      AppendMenuEntries(GTK_MENU_SHELL(submenu), entry.Children, onActivate, userData);
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), submenu);
    } else if (!entry.Separator && entry.Clickable) {
      g_signal_connect_data(
          item, "activate", G_CALLBACK(OnItemActivate),
          new TActivation{entry.Id, onActivate, userData},
          [](gpointer data, GClosure*) { delete static_cast<TActivation*>(data); },
          GConnectFlags{});
    }
    gtk_menu_shell_append(shell, item);
  }
}

void ClearMenuShell(GtkMenuShell* shell) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child; child = child->next)
    gtk_widget_destroy(GTK_WIDGET(child->data));
  g_list_free(children);
}

}  // namespace velloc::platform::gtk
