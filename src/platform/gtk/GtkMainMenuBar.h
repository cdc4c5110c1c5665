// The main window's menu bar on GTK: a GtkMenuBar put above the web view when it is attached.
#pragma once

#include <cstdint>
#include <vector>

#include <gtk/gtk.h>

#include "platform/Menus.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {

class TGtkMainMenuBar final : public IMainMenuBar {
 public:
  // `contentBox`: the vertical box of the main window whose first child the bar becomes.
  explicit TGtkMainMenuBar(GtkWidget* contentBox);
  ~TGtkMainMenuBar() override;
  TGtkMainMenuBar(const TGtkMainMenuBar&) = delete;
  TGtkMainMenuBar& operator=(const TGtkMainMenuBar&) = delete;

  void Attach() override;
  void SetEntries(const std::vector<TMenuEntry>& entries) override;
  void SetOnItemClick(TMenuItemClick onClick) override { FOnClick = std::move(onClick); }

 private:
  static void OnActivate(std::int32_t id, gpointer self);

  GtkWidget* FContentBox;
  glib::TObjectPtr<GtkWidget> FBar;  // our reference: the window may go first
  bool FAttached = false;
  TMenuItemClick FOnClick;
};

}  // namespace velloc::platform::gtk
