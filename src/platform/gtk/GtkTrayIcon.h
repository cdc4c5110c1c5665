// The tray icon on Linux: a StatusNotifierItem while a StatusNotifierWatcher runs on the
// session bus (KDE, GNOME with the AppIndicator extension, XFCE, ...), else a GtkStatusIcon in an
// XEmbed system tray. Re-registers when the watcher restarts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "platform/Tray.h"
#include "platform/gtk/GLibPtr.h"
#include "platform/gtk/StatusNotifierItem.h"

namespace velloc::platform::gtk {

class TGtkTrayIcon final : public ITrayIcon {
 public:
  // `id`: the application's ID, the item's Id on the bus.
  explicit TGtkTrayIcon(std::string id);
  ~TGtkTrayIcon() override;
  TGtkTrayIcon(const TGtkTrayIcon&) = delete;
  TGtkTrayIcon& operator=(const TGtkTrayIcon&) = delete;

  void SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) override;
  void Show() override;
  void Hide() override;
  bool Visible() const override { return FVisible; }
  void SetMenuEntries(const std::vector<TMenuEntry>& entries) override;
  void SetOnIconClick(std::function<void()> onClick) override { FOnIconClick = std::move(onClick); }
  void SetOnItemClick(TMenuItemClick onClick) override { FOnItemClick = std::move(onClick); }

 private:
  void Update();
  void WatchWatcher();
  void IconClick();
  void ItemClick(std::int32_t id);
  // At the screen position (x, y) when no click started it; 0, 0 for the pointer.
  void PopupMenu(int x, int y);
  std::vector<TIconPixmap> IconPixmaps() const;

  static void OnWatcherAppeared(GDBusConnection* connection, const gchar* name, const gchar* owner,
                                gpointer self);
  static void OnWatcherVanished(GDBusConnection* connection, const gchar* name, gpointer self);
  static void OnStatusIconActivate(GtkStatusIcon* icon, gpointer self);
  static void OnStatusIconPopup(GtkStatusIcon* icon, guint button, guint time, gpointer self);
  static void OnPopupActivate(std::int32_t id, gpointer self);

  std::string FId;
  std::string FTooltip;
  glib::TObjectPtr<GdkPixbuf> FPixbuf;
  std::vector<TMenuEntry> FEntries;
  bool FVisible = false;
  bool FWatched = false;
  bool FWatcherPresent = false;
  glib::TObjectPtr<GDBusConnection> FBus;
  guint FWatch = 0;
  std::unique_ptr<TStatusNotifierItem> FItem;
  GtkStatusIcon* FStatusIcon = nullptr;
  glib::TObjectPtr<GtkWidget> FPopup;
  int FPopupX = 0;  // where a menu asked for over D-Bus opens
  int FPopupY = 0;
  gint64 FLastClick = 0;
  bool FClickPending = false;  // the last click may be the first of a double click
  std::function<void()> FOnIconClick;
  TMenuItemClick FOnItemClick;
};

}  // namespace velloc::platform::gtk
