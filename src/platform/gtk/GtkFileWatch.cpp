#include "platform/gtk/GtkFileWatch.h"

#include <gio/gio.h>

#include "platform/gtk/CallbackGuard.h"

namespace velloc::platform::gtk {
namespace {

// A burst of events (a write in parts, a rename seen as delete and create) ends well within this.
constexpr guint kQuietMs = 100;

}  // namespace

TGtkFileWatch::TGtkFileWatch(const std::string& path, std::function<void()> changed)
    : FChanged(std::move(changed)) {
  GFile* file = g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  FMonitor = g_file_monitor_file(file, G_FILE_MONITOR_NONE, nullptr, &error);
  g_object_unref(file);
  if (!FMonitor) {
    glib::ReportCallbackError("watching a file", error ? error->message : path.c_str());
    if (error) g_error_free(error);
    return;
  }
  g_signal_connect(FMonitor, "changed", G_CALLBACK(OnChanged), this);
}

TGtkFileWatch::~TGtkFileWatch() {
  if (FTimer) g_source_remove(FTimer);
  if (FMonitor) {
    g_signal_handlers_disconnect_by_data(FMonitor, this);
    g_file_monitor_cancel(FMonitor);
    g_object_unref(FMonitor);
  }
}

void TGtkFileWatch::OnChanged(GFileMonitor*, void*, void*, int event, void* data) {
  auto* self = static_cast<TGtkFileWatch*>(data);
  // A removal alone leaves nothing to read; the file that replaces it reports its own event.
  if (event == G_FILE_MONITOR_EVENT_DELETED || event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED)
    return;
  if (self->FTimer) g_source_remove(self->FTimer);
  self->FTimer = g_timeout_add(kQuietMs, reinterpret_cast<GSourceFunc>(OnQuiet), self);
}

int TGtkFileWatch::OnQuiet(void* data) {
  auto* self = static_cast<TGtkFileWatch*>(data);
  self->FTimer = 0;
  glib::Guarded("a watched file's change", [&] { self->FChanged(); });
  return G_SOURCE_REMOVE;
}

}  // namespace velloc::platform::gtk
