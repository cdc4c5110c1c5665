#include "platform/gtk/DBusMenu.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "platform/gtk/GLibPtr.h"
#include "platform/gtk/GtkMenuImageDecoder.h"

namespace velloc::platform::gtk {
namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="com.canonical.dbusmenu">
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ias)" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
  </interface>
</node>)xml";

GDBusInterfaceInfo* InterfaceInfo() {
  // Parsed once and kept for the life of the process.
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return node ? g_dbus_node_info_lookup_interface(node, kInterface) : nullptr;
}

void Report(const char* what) {
  std::fprintf(stderr, "velloc tray menu: %s\n", what);
}

}  // namespace

TDBusMenu::TDBusMenu(GDBusConnection* connection, TMenuItemClick onClick)
    : FConnection(connection), FOnClick(std::move(onClick)) {
  static const GDBusInterfaceVTable vtable = {
      &TDBusMenu::OnMethodCall, &TDBusMenu::OnGetProperty, nullptr, {}};
  FNodes.push_back({});
  FNodes[0].Entry.Submenu = true;
  GDBusInterfaceInfo* info = InterfaceInfo();
  glib::TError error;
  FRegistration = info ? g_dbus_connection_register_object(FConnection, kObjectPath, info, &vtable,
                                                           this, nullptr, error.Out())
                       : 0;
  if (FRegistration == 0)
    throw std::runtime_error(std::string("cannot export the tray menu: ") + error.Message());
}

TDBusMenu::~TDBusMenu() {
  g_dbus_connection_unregister_object(FConnection, FRegistration);
}

void TDBusMenu::SetEntries(const std::vector<TMenuEntry>& entries) {
  FNodes.resize(1);
  FNodes[0].Children.clear();
  AddNodes(entries, 0);
  ++FRevision;
  g_dbus_connection_emit_signal(FConnection, nullptr, kObjectPath, kInterface, "LayoutUpdated",
                                g_variant_new("(ui)", FRevision, 0), nullptr);
}

void TDBusMenu::AddNodes(const std::vector<TMenuEntry>& entries, int parent) {
  for (const TMenuEntry& entry : entries) {
    const int id = static_cast<int>(FNodes.size());
    FNodes.push_back({});
    FNodes.back().Entry = entry;
    FNodes.back().Entry.Children.clear();
    FNodes[static_cast<std::size_t>(parent)].Children.push_back(id);
    if (entry.Submenu && !entry.Separator) AddNodes(entry.Children, id);
  }
}

GVariant* TDBusMenu::Properties(int id) const {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  const TNode& node = FNodes[static_cast<std::size_t>(id)];
  const TMenuEntry& entry = node.Entry;
  if (id == 0) {
    g_variant_builder_add(&builder, "{sv}", "children-display", g_variant_new_string("submenu"));
    return g_variant_builder_end(&builder);
  }
  if (entry.Separator) {
    g_variant_builder_add(&builder, "{sv}", "type", g_variant_new_string("separator"));
    return g_variant_builder_end(&builder);
  }
  g_variant_builder_add(&builder, "{sv}", "label",
                        g_variant_new_string(MnemonicLabel(entry, '_').c_str()));
  g_variant_builder_add(&builder, "{sv}", "enabled", g_variant_new_boolean(entry.Enabled));
  if (entry.Submenu)
    g_variant_builder_add(&builder, "{sv}", "children-display", g_variant_new_string("submenu"));
  if (const auto* image = dynamic_cast<const TGtkMenuImage*>(entry.Image.get())) {
    const std::vector<std::uint8_t> png = image->Png(entry.Enabled);
    if (!png.empty())
      g_variant_builder_add(
          &builder, "{sv}", "icon-data",
          g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, png.data(), png.size(), 1));
  }
  return g_variant_builder_end(&builder);
}

// The tree is bounded by the core (depth and item count), so recursion stays shallow.
GVariant* TDBusMenu::Layout(int id, int depth) const {
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (depth != 0) {
    for (const int child : FNodes[static_cast<std::size_t>(id)].Children)
      g_variant_builder_add(&children, "v", Layout(child, depth < 0 ? -1 : depth - 1));
  }
  return g_variant_new("(i@a{sv}av)", id, Properties(id), &children);
}

void TDBusMenu::Click(int id) {
  if (id <= 0 || static_cast<std::size_t>(id) >= FNodes.size()) return;
  const TMenuEntry& entry = FNodes[static_cast<std::size_t>(id)].Entry;
  if (entry.Clickable && entry.Enabled && !entry.Separator && FOnClick) FOnClick(entry.Id);
}

void TDBusMenu::MethodCall(const gchar* methodName, GVariant* parameters,
                           GDBusMethodInvocation* invocation) {
  const std::string method = methodName;
  const auto valid = [this](gint32 id) {
    return id >= 0 && static_cast<std::size_t>(id) < FNodes.size();
  };
  if (method == "GetLayout") {
    gint32 parent = 0;
    gint32 depth = -1;
    g_variant_get(parameters, "(ii^a&s)", &parent, &depth, nullptr);
    if (!valid(parent)) parent = 0;
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(u@(ia{sv}av))", FRevision, Layout(parent, depth)));
  } else if (method == "GetGroupProperties") {
    GVariantIter* ids = nullptr;
    g_variant_get(parameters, "(ai^a&s)", &ids, nullptr);
    GVariantBuilder result;
    g_variant_builder_init(&result, G_VARIANT_TYPE("a(ia{sv})"));
    gint32 id = 0;
    while (g_variant_iter_next(ids, "i", &id)) {
      if (valid(id)) g_variant_builder_add(&result, "(i@a{sv})", id, Properties(id));
    }
    g_variant_iter_free(ids);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &result));
  } else if (method == "GetProperty") {
    gint32 id = 0;
    const gchar* name = nullptr;
    g_variant_get(parameters, "(i&s)", &id, &name);
    GVariant* value = nullptr;
    if (valid(id)) {
      GVariant* properties = Properties(id);
      g_variant_ref_sink(properties);
      value = g_variant_lookup_value(properties, name, nullptr);
      g_variant_unref(properties);
    }
    if (!value) {
      g_dbus_method_invocation_return_dbus_error(invocation, "com.canonical.dbusmenu.Error",
                                                 "no such property");
      return;
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
    g_variant_unref(value);
  } else if (method == "Event") {
    gint32 id = 0;
    const gchar* event = nullptr;
    g_variant_get(parameters, "(i&svu)", &id, &event, nullptr, nullptr);
    // Answer first: the page's handler may take its time.
    const bool clicked = std::string(event) == "clicked";
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (clicked) Click(id);
  } else if (method == "EventGroup") {
    GVariantIter* events = nullptr;
    g_variant_get(parameters, "(a(isvu))", &events);
    std::vector<gint32> clicked;
    GVariantBuilder errors;
    g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
    gint32 id = 0;
    const gchar* event = nullptr;
    while (g_variant_iter_next(events, "(i&svu)", &id, &event, nullptr, nullptr)) {
      if (!valid(id)) {
        g_variant_builder_add(&errors, "i", id);
      } else if (std::string(event) == "clicked") {
        clicked.push_back(id);
      }
    }
    g_variant_iter_free(events);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ai)", &errors));
    for (const gint32 item : clicked)
      Click(item);
  } else if (method == "AboutToShow") {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
  } else if (method == "AboutToShowGroup") {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(aiai)", nullptr, nullptr));
  } else {
    g_dbus_method_invocation_return_dbus_error(
        invocation, "org.freedesktop.DBus.Error.UnknownMethod", "unknown method");
  }
}

void TDBusMenu::OnMethodCall(GDBusConnection* /*connection*/, const gchar* /*sender*/,
                             const gchar* /*objectPath*/, const gchar* /*interfaceName*/,
                             const gchar* methodName, GVariant* parameters,
                             GDBusMethodInvocation* invocation, gpointer self) {
  try {
    static_cast<TDBusMenu*>(self)->MethodCall(methodName, parameters, invocation);
  } catch (const std::exception& error) {
    Report(error.what());
  } catch (...) {
    Report("unknown error");
  }
}

GVariant* TDBusMenu::OnGetProperty(GDBusConnection* /*connection*/, const gchar* /*sender*/,
                                   const gchar* /*objectPath*/, const gchar* /*interfaceName*/,
                                   const gchar* propertyName, GError** /*error*/,
                                   gpointer /*self*/) {
  const std::string name = propertyName;
  if (name == "Version") return g_variant_new_uint32(3);
  if (name == "TextDirection") return g_variant_new_string("ltr");
  if (name == "Status") return g_variant_new_string("normal");
  if (name == "IconThemePath") return g_variant_new_strv(nullptr, 0);
  return nullptr;
}

}  // namespace velloc::platform::gtk
