// A menu exported over D-Bus as com.canonical.dbusmenu, the way a StatusNotifierItem hands its
// context menu to the tray host: labels with access keys, enabled flags, separators, submenus
// and icons. The host draws the menu and reports clicks with the "clicked" event.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "platform/Menus.h"

namespace velloc::platform::gtk {

class TDBusMenu {
 public:
  static constexpr const char* kObjectPath = "/MenuBar";

  // Exports the menu on `connection`; throws std::runtime_error when it cannot.
  TDBusMenu(GDBusConnection* connection, TMenuItemClick onClick);
  ~TDBusMenu();
  TDBusMenu(const TDBusMenu&) = delete;
  TDBusMenu& operator=(const TDBusMenu&) = delete;

  // Replaces the items and tells the host the layout changed.
  void SetEntries(const std::vector<TMenuEntry>& entries);

 private:
  // One item of the exported tree; node 0 is the root.
  struct TNode {
    TMenuEntry Entry;  // without its children
    std::vector<int> Children;
  };

  void AddNodes(const std::vector<TMenuEntry>& entries, int parent);
  GVariant* Properties(int id) const;
  GVariant* Layout(int id, int depth) const;
  void Click(int id);

  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* objectPath, const gchar* interfaceName,
                           const gchar* methodName, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* objectPath, const gchar* interfaceName,
                                 const gchar* propertyName, GError** error, gpointer self);
  void MethodCall(const gchar* methodName, GVariant* parameters, GDBusMethodInvocation* invocation);

  GDBusConnection* FConnection;
  guint FRegistration = 0;
  std::uint32_t FRevision = 1;
  std::vector<TNode> FNodes;
  TMenuItemClick FOnClick;
};

}  // namespace velloc::platform::gtk
