#include "platform/linux/LogindSession.h"

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include <gio/gio.h>

#include "platform/gtk/GLibPtr.h"

namespace velloc::platform {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
// Polkit may ask the user for a password: no time limit on the answer.
constexpr int kNoTimeout = G_MAXINT;

struct TRequest {
  GCancellable* Cancellable;  // owned reference
  TOutcomeCallback Done;
  ~TRequest() { g_object_unref(Cancellable); }
};

// The D-Bus error's own message, without the remote error name GDBus puts in front.
std::string DBusErrorText(GError* error) {
  if (!error) return {};
  g_dbus_error_strip_remote_error(error);
  return error->message;
}

void Finish(TRequest* request, TOutcome outcome) {
  if (!g_cancellable_is_cancelled(request->Cancellable)) request->Done(std::move(outcome));
}

void OnEnded(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TRequest*>(data);
  try {
    glib::TError error;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, error.Out());
    if (reply) {
      g_variant_unref(reply);
      Finish(request, {true, ""});
    } else {
      Finish(request, {false, DBusErrorText(*error.Out())});
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc session: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc session: unknown error\n");
  }
  delete request;
}

// The caller's session object is known; terminate it.
void OnSessionFound(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TRequest*>(data);
  try {
    auto* bus = G_DBUS_CONNECTION(source);
    glib::TError error;
    GVariant* reply = g_dbus_connection_call_finish(bus, result, error.Out());
    if (!reply) {
      Finish(request, {false, DBusErrorText(*error.Out())});
      delete request;
      return;
    }
    const char* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    g_dbus_connection_call(bus, kLogind, path, kSession, "Terminate", nullptr, nullptr,
                           G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, kNoTimeout,
                           request->Cancellable, OnEnded, request);
    g_variant_unref(reply);
  } catch (...) {
    std::fprintf(stderr, "velloc session: could not terminate the session\n");
    delete request;
  }
}

}  // namespace

TLogindSession::TLogindSession() : FCancellable(g_cancellable_new()) {}

TLogindSession::~TLogindSession() {
  g_cancellable_cancel(FCancellable);
  g_object_unref(FCancellable);
}

void TLogindSession::EndSession(TSessionEnd how, TOutcomeCallback done) {
  glib::TError error;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, error.Out());
  if (!bus) {
    done({false, error.Message()});
    return;
  }
  auto* request = new TRequest{G_CANCELLABLE(g_object_ref(FCancellable)), std::move(done)};
  if (how == TSessionEnd::LogOff) {
    // The session this process runs in: logind's "auto" names the caller's own (graphical)
    // session when XDG_SESSION_ID does not.
    const char* id = g_getenv("XDG_SESSION_ID");
    g_dbus_connection_call(bus, kLogind, kManagerPath, kManager, "GetSession",
                           g_variant_new("(s)", id && *id ? id : "auto"), G_VARIANT_TYPE("(o)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, FCancellable, OnSessionFound, request);
  } else {
    // interactive = true: polkit may ask the user where the policy wants that.
    g_dbus_connection_call(
        bus, kLogind, kManagerPath, kManager, how == TSessionEnd::Reboot ? "Reboot" : "PowerOff",
        g_variant_new("(b)", TRUE), nullptr, G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION,
        kNoTimeout, FCancellable, OnEnded, request);
  }
  g_object_unref(bus);
}

}  // namespace velloc::platform
