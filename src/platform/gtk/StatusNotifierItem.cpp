#include "platform/gtk/StatusNotifierItem.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <unistd.h>

#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {
namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Activate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="SecondaryActivate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Scroll">
      <arg name="delta" type="i" direction="in"/>
      <arg name="orientation" type="s" direction="in"/>
    </method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus">
      <arg name="status" type="s"/>
    </signal>
  </interface>
</node>)xml";

GDBusInterfaceInfo* InterfaceInfo() {
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return node ? g_dbus_node_info_lookup_interface(node, kInterface) : nullptr;
}

void Report(const char* what) {
  std::fprintf(stderr, "velloc tray: %s\n", what);
}

// Names of the items of this process: one per icon shown.
std::string NextBusName() {
  static int count = 0;
  return "org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
}

}  // namespace

TStatusNotifierItem::TStatusNotifierItem(GDBusConnection* connection, std::string id,
                                         std::string tooltip, std::vector<TIconPixmap> icon,
                                         TEvents events)
    : FConnection(connection),
      FId(std::move(id)),
      FTooltip(std::move(tooltip)),
      FIcon(std::move(icon)),
      FEvents(std::move(events)),
      FBusName(NextBusName()) {
  static const GDBusInterfaceVTable vtable = {
      &TStatusNotifierItem::OnMethodCall, &TStatusNotifierItem::OnGetProperty, nullptr, {}};
  g_object_ref(FConnection);
  FMenu = std::make_unique<TDBusMenu>(FConnection, FEvents.MenuItemClick);
  GDBusInterfaceInfo* info = InterfaceInfo();
  glib::TError error;
  FRegistration = info ? g_dbus_connection_register_object(FConnection, kObjectPath, info, &vtable,
                                                           this, nullptr, error.Out())
                       : 0;
  if (FRegistration == 0) {
    FMenu.reset();
    g_object_unref(FConnection);
    throw std::runtime_error(std::string("cannot export the tray icon: ") + error.Message());
  }
  FCancellable = g_cancellable_new();
  FOwner =
      g_bus_own_name_on_connection(FConnection, FBusName.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
                                   &TStatusNotifierItem::OnNameAcquired, nullptr, this, nullptr);
}

TStatusNotifierItem::~TStatusNotifierItem() {
  g_cancellable_cancel(FCancellable);
  g_object_unref(FCancellable);
  g_bus_unown_name(FOwner);
  g_dbus_connection_unregister_object(FConnection, FRegistration);
  FMenu.reset();
  // The name must be gone from the bus before the process might end.
  g_dbus_connection_flush_sync(FConnection, nullptr, nullptr);
  g_object_unref(FConnection);
}

void TStatusNotifierItem::Register() {
  if (!FNameAcquired) return;  // registered once the name is ours
  g_dbus_connection_call(
      FConnection, kWatcherName, "/StatusNotifierWatcher", kWatcherName,
      "RegisterStatusNotifierItem", g_variant_new("(s)", FBusName.c_str()), nullptr,
      G_DBUS_CALL_FLAGS_NONE, -1, FCancellable,
      [](GObject* source, GAsyncResult* result, gpointer) {
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
        if (reply) g_variant_unref(reply);
      },
      nullptr);
}

void TStatusNotifierItem::OnNameAcquired(GDBusConnection* /*connection*/, const gchar* /*name*/,
                                         gpointer self) {
  auto* item = static_cast<TStatusNotifierItem*>(self);
  item->FNameAcquired = true;
  item->Register();
}

GVariant* TStatusNotifierItem::Pixmaps() const {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
  for (const TIconPixmap& pixmap : FIcon) {
    g_variant_builder_add(
        &builder, "(ii@ay)", pixmap.Width, pixmap.Height,
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, pixmap.Argb.data(), pixmap.Argb.size(), 1));
  }
  return g_variant_builder_end(&builder);
}

GVariant* TStatusNotifierItem::Property(const std::string& name) const {
  if (name == "Category") return g_variant_new_string("ApplicationStatus");
  if (name == "Id") return g_variant_new_string(FId.c_str());
  if (name == "Title") return g_variant_new_string(FTooltip.c_str());
  if (name == "Status") return g_variant_new_string("Active");
  if (name == "WindowId") return g_variant_new_int32(0);
  if (name == "IconPixmap") return Pixmaps();
  if (name == "IconName" || name == "OverlayIconName" || name == "AttentionIconName" ||
      name == "AttentionMovieName")
    return g_variant_new_string("");
  if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap")
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
  if (name == "ToolTip") {
    return g_variant_new("(s@a(iiay)ss)", "",
                         g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                         FTooltip.c_str(), "");
  }
  if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (name == "Menu") return g_variant_new_object_path(TDBusMenu::kObjectPath);
  return nullptr;
}

void TStatusNotifierItem::MethodCall(const gchar* methodName, GVariant* parameters,
                                     GDBusMethodInvocation* invocation) {
  const std::string method = methodName;
  gint32 x = 0;
  gint32 y = 0;
  if (method == "Activate" || method == "ContextMenu" || method == "SecondaryActivate")
    g_variant_get(parameters, "(ii)", &x, &y);
  // Answer first: the page's handler runs after the click has been handled.
  g_dbus_method_invocation_return_value(invocation, nullptr);
  if (method == "Activate" && FEvents.Activate) {
    FEvents.Activate();
  } else if (method == "ContextMenu" && FEvents.ContextMenu) {
    FEvents.ContextMenu(x, y);
  }
}

void TStatusNotifierItem::OnMethodCall(GDBusConnection* /*connection*/, const gchar* /*sender*/,
                                       const gchar* /*objectPath*/, const gchar* /*interfaceName*/,
                                       const gchar* methodName, GVariant* parameters,
                                       GDBusMethodInvocation* invocation, gpointer self) {
  try {
    static_cast<TStatusNotifierItem*>(self)->MethodCall(methodName, parameters, invocation);
  } catch (const std::exception& error) {
    Report(error.what());
  } catch (...) {
    Report("unknown error");
  }
}

GVariant* TStatusNotifierItem::OnGetProperty(GDBusConnection* /*connection*/,
                                             const gchar* /*sender*/, const gchar* /*objectPath*/,
                                             const gchar* /*interfaceName*/,
                                             const gchar* propertyName, GError** /*error*/,
                                             gpointer self) {
  try {
    return static_cast<const TStatusNotifierItem*>(self)->Property(propertyName);
  } catch (...) {
    Report("property failed");
    return nullptr;
  }
}

}  // namespace velloc::platform::gtk
