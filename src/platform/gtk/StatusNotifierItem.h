// The tray icon as a StatusNotifierItem on the session bus (org.kde.StatusNotifierItem),
// registered with the desktop's org.kde.StatusNotifierWatcher, with its menu exported as
// com.canonical.dbusmenu. Unlike the common tray libraries it reports a left click (Activate),
// which the page's icon-click event needs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "platform/Menus.h"
#include "platform/gtk/DBusMenu.h"

namespace velloc::platform::gtk {

// One icon size of the item, as ARGB32 in network byte order.
struct TIconPixmap {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Argb;
};

class TStatusNotifierItem {
 public:
  static constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
  static constexpr const char* kObjectPath = "/StatusNotifierItem";

  struct TEvents {
    std::function<void()> Activate;                 // left click
    std::function<void(int x, int y)> ContextMenu;  // the host asks us to show the menu
    TMenuItemClick MenuItemClick;
  };

  // Exports the item and its menu under a bus name of its own and registers it with the
  // watcher once the name is ours. Throws std::runtime_error when it cannot be exported.
  TStatusNotifierItem(GDBusConnection* connection, std::string id, std::string tooltip,
                      std::vector<TIconPixmap> icon, TEvents events);
  // Gives the name up: the watcher sees the item go.
  ~TStatusNotifierItem();
  TStatusNotifierItem(const TStatusNotifierItem&) = delete;
  TStatusNotifierItem& operator=(const TStatusNotifierItem&) = delete;

  // Registers again, for a watcher that has (re)started.
  void Register();
  void SetMenuEntries(const std::vector<TMenuEntry>& entries) { FMenu->SetEntries(entries); }
  const std::string& BusName() const { return FBusName; }

 private:
  void MethodCall(const gchar* methodName, GVariant* parameters, GDBusMethodInvocation* invocation);
  GVariant* Property(const std::string& name) const;
  GVariant* Pixmaps() const;

  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* objectPath, const gchar* interfaceName,
                           const gchar* methodName, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* objectPath, const gchar* interfaceName,
                                 const gchar* propertyName, GError** error, gpointer self);
  static void OnNameAcquired(GDBusConnection* connection, const gchar* name, gpointer self);

  GDBusConnection* FConnection;
  std::string FId;
  std::string FTooltip;
  std::vector<TIconPixmap> FIcon;
  TEvents FEvents;
  std::string FBusName;
  guint FRegistration = 0;
  guint FOwner = 0;
  bool FNameAcquired = false;
  GCancellable* FCancellable = nullptr;
  std::unique_ptr<TDBusMenu> FMenu;
};

}  // namespace velloc::platform::gtk
