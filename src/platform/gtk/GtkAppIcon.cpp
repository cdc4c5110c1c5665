#include "platform/gtk/GtkAppIcon.h"

#include <gtk/gtk.h>

#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {

void SetDefaultWindowIcon(std::span<const std::uint8_t> icon) {
  if (icon.empty()) return;
  glib::TObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
  // An SVG is drawn at a size window managers and task bars pick from.
  g_signal_connect(loader.Get(), "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* self, int width, int height, gpointer) {
                     if (width > 256 || height > 256) gdk_pixbuf_loader_set_size(self, 256, 256);
                   }),
                   nullptr);
  const bool written = gdk_pixbuf_loader_write(loader.Get(), icon.data(), icon.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.Get(), nullptr);
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader.Get()) : nullptr;
  if (pixbuf) gtk_window_set_default_icon(pixbuf);
}

}  // namespace velloc::platform::gtk
