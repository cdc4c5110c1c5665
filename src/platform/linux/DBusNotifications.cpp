#include "platform/linux/DBusNotifications.h"

#include <cstdio>
#include <exception>
#include <utility>

#include <gio/gio.h>

#include "platform/gtk/GLibPtr.h"

namespace velloc::platform {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

void ReportCallbackError(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc notifications: %s: %s\n", where, e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc notifications: %s: unknown error\n", where);
  }
}

struct TPresent {
  GCancellable* Cancellable;  // owned reference
  TDBusNotifications* Owner;  // valid while Cancellable is not cancelled
  std::string Name;
  std::function<void(bool shown)> Done;
  ~TPresent() { g_object_unref(Cancellable); }
};

void OnNotified(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TPresent*>(data);
  try {
    glib::TError error;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, error.Out());
    if (!g_cancellable_is_cancelled(request->Cancellable)) {
      guint32 id = 0;
      if (reply) g_variant_get(reply, "(u)", &id);
      request->Owner->Shown(request->Name, id);
      // No answer, or an error in its place: there is no usable notification service.
      request->Done(reply != nullptr);
    }
    if (reply) g_variant_unref(reply);
  } catch (...) {
    ReportCallbackError("notify");
  }
  delete request;
}

void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
              GVariant* parameters, gpointer data) {
  auto* self = static_cast<TDBusNotifications*>(data);
  try {
    if (g_strcmp0(signal, "ActionInvoked") == 0 &&
        g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
      guint32 id = 0;
      const char* action = nullptr;
      g_variant_get(parameters, "(u&s)", &id, &action);
      self->ActionInvoked(id, action);
    } else if (g_strcmp0(signal, "NotificationClosed") == 0 &&
               g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
      guint32 id = 0, reason = 0;
      g_variant_get(parameters, "(uu)", &id, &reason);
      self->Closed(id);
    }
  } catch (...) {
    ReportCallbackError(signal);
  }
}

}  // namespace

TDBusNotifications::TDBusNotifications(std::string appName, std::string appIcon)
    : FAppName(std::move(appName)),
      FAppIcon(std::move(appIcon)),
      FCancellable(g_cancellable_new()) {}

TDBusNotifications::~TDBusNotifications() {
  g_cancellable_cancel(FCancellable);
  g_object_unref(FCancellable);
  if (FBus) {
    g_dbus_connection_signal_unsubscribe(FBus, FActionSubscription);
    g_dbus_connection_signal_unsubscribe(FBus, FClosedSubscription);
    g_object_unref(FBus);
  }
}

bool TDBusNotifications::Connect() {
  if (FBus) return true;
  FBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!FBus) return false;
  // Signals of the service only (the bus resolves its name), on the main loop, where the page's
  // event must be raised.
  FActionSubscription = g_dbus_connection_signal_subscribe(
      FBus, kService, kInterface, "ActionInvoked", kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      OnSignal, this, nullptr);
  FClosedSubscription = g_dbus_connection_signal_subscribe(
      FBus, kService, kInterface, "NotificationClosed", kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      OnSignal, this, nullptr);
  return true;
}

void TDBusNotifications::Present(const TNotification& notification,
                                 std::function<void(bool shown)> done) {
  if (!Connect()) {
    done(false);
    return;
  }
  // One of the same name is on its way: this one follows once its id is known.
  const auto waiting = FWaiting.find(notification.Name);
  if (waiting != FWaiting.end()) {
    waiting->second.emplace_back(notification, std::move(done));
    return;
  }
  FWaiting[notification.Name];
  Send(notification, std::move(done));
}

void TDBusNotifications::Send(const TNotification& notification, TDone done) {
  const auto known = FIds.find(notification.Name);
  const guint32 replaces = known != FIds.end() ? known->second : 0;
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", "default");
  g_variant_builder_add(&actions, "s", "Open");
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  auto* request = new TPresent{G_CANCELLABLE(g_object_ref(FCancellable)), this, notification.Name,
                               std::move(done)};
  g_dbus_connection_call(FBus, kService, kPath, kInterface, "Notify",
                         g_variant_new("(susssasa{sv}i)", FAppName.c_str(), replaces,
                                       FAppIcon.c_str(), notification.Title.c_str(),
                                       notification.AlertBody.c_str(), &actions, &hints, -1),
                         G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, FCancellable,
                         OnNotified, request);
}

void TDBusNotifications::SetOnClick(std::function<void(const std::string& name)> onClick) {
  FOnClick = std::move(onClick);
}

void TDBusNotifications::Shown(const std::string& name, std::uint32_t id) {
  if (id != 0) {
    const auto previous = FIds.find(name);
    if (previous != FIds.end() && previous->second != id) FNames.erase(previous->second);
    FIds[name] = id;
    FNames[id] = name;
  }
  const auto waiting = FWaiting.find(name);
  if (waiting == FWaiting.end()) return;
  if (waiting->second.empty()) {
    FWaiting.erase(waiting);
    return;
  }
  auto [next, done] = std::move(waiting->second.front());
  waiting->second.pop_front();
  Send(next, std::move(done));
}

void TDBusNotifications::ActionInvoked(std::uint32_t id, const std::string& action) {
  if (action != "default") return;
  const auto name = FNames.find(id);
  if (name == FNames.end() || !FOnClick) return;
  const std::string clicked = name->second;  // the handler may show or replace notifications
  FOnClick(clicked);
}

void TDBusNotifications::Closed(std::uint32_t id) {
  const auto name = FNames.find(id);
  if (name == FNames.end()) return;
  const auto current = FIds.find(name->second);
  if (current != FIds.end() && current->second == id) FIds.erase(current);
  FNames.erase(name);
}

}  // namespace velloc::platform
