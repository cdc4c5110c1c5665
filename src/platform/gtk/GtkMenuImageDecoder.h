// Menu images on GTK: data decoded by gdk-pixbuf (PNG, JPEG, BMP, GIF, ICO, and SVG where the
// librsvg loader is installed), scaled to 16 by 16 logical pixels at the screen's scale, with a
// grey copy for disabled items.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <gtk/gtk.h>

#include "platform/Menus.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {

class TGtkMenuImage final : public IMenuImage {
 public:
  TGtkMenuImage(glib::TObjectPtr<GdkPixbuf> pixbuf, int scale);
  ~TGtkMenuImage() override;
  TGtkMenuImage(const TGtkMenuImage&) = delete;
  TGtkMenuImage& operator=(const TGtkMenuImage&) = delete;

  // A new image widget showing the picture, in grey when `enabled` is false.
  GtkWidget* NewImageWidget(bool enabled) const;
  // The picture as PNG data (for menus exported over D-Bus).
  std::vector<std::uint8_t> Png(bool enabled) const;

 private:
  glib::TObjectPtr<GdkPixbuf> FPixbuf;
  glib::TObjectPtr<GdkPixbuf> FGrey;
  int FScale = 1;
};

class TGtkMenuImageDecoder final : public IMenuImageDecoder {
 public:
  TMenuImagePtr DecodeMenuImage(std::span<const std::uint8_t> data) override;
};

// The logical size of a menu image.
inline constexpr int kMenuImageSize = 16;

}  // namespace velloc::platform::gtk
