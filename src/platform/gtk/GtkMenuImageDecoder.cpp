#include "platform/gtk/GtkMenuImageDecoder.h"

#include <memory>

namespace velloc::platform::gtk {
namespace {

int ScreenScale() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  return monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
}

}  // namespace

TGtkMenuImage::TGtkMenuImage(glib::TObjectPtr<GdkPixbuf> pixbuf, int scale)
    : FPixbuf(std::move(pixbuf)), FScale(scale) {
  FGrey = glib::TObjectPtr<GdkPixbuf>(gdk_pixbuf_copy(FPixbuf.Get()));
  if (FGrey) gdk_pixbuf_saturate_and_pixelate(FPixbuf.Get(), FGrey.Get(), 0.0F, FALSE);
}

TGtkMenuImage::~TGtkMenuImage() = default;

GtkWidget* TGtkMenuImage::NewImageWidget(bool enabled) const {
  GdkPixbuf* pixbuf = !enabled && FGrey ? FGrey.Get() : FPixbuf.Get();
  cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(pixbuf, FScale, nullptr);
  GtkWidget* image = gtk_image_new_from_surface(surface);
  cairo_surface_destroy(surface);
  return image;
}

std::vector<std::uint8_t> TGtkMenuImage::Png(bool enabled) const {
  GdkPixbuf* pixbuf = !enabled && FGrey ? FGrey.Get() : FPixbuf.Get();
  glib::TGFree<gchar> buffer;
  gsize size = 0;
  if (!gdk_pixbuf_save_to_buffer(pixbuf, buffer.Out(), &size, "png", nullptr, nullptr)) return {};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.Get());
  return {bytes, bytes + size};
}

TMenuImagePtr TGtkMenuImageDecoder::DecodeMenuImage(std::span<const std::uint8_t> data) {
  glib::TObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
  const int scale = ScreenScale();
  const int side = kMenuImageSize * scale;
  // Large pictures are decoded straight to the menu size.
  g_signal_connect(loader.Get(), "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* self, int width, int height, gpointer size) {
                     const int target = GPOINTER_TO_INT(size);
                     if (width > target || height > target)
                       gdk_pixbuf_loader_set_size(self, target, target);
                   }),
                   GINT_TO_POINTER(side));
  const bool written = gdk_pixbuf_loader_write(loader.Get(), data.data(), data.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.Get(), nullptr);
  if (!written || !closed) return nullptr;
  GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader.Get());
  if (!decoded) return nullptr;
  glib::TObjectPtr<GdkPixbuf> pixbuf;
  // An image list shows every image at its own size: smaller pictures are stretched too.
  if (gdk_pixbuf_get_width(decoded) == side && gdk_pixbuf_get_height(decoded) == side) {
    pixbuf = glib::TObjectPtr<GdkPixbuf>::Ref(decoded);
  } else {
    pixbuf = glib::TObjectPtr<GdkPixbuf>(
        gdk_pixbuf_scale_simple(decoded, side, side, GDK_INTERP_BILINEAR));
  }
  if (!pixbuf) return nullptr;
  return std::make_shared<TGtkMenuImage>(std::move(pixbuf), scale);
}

}  // namespace velloc::platform::gtk
