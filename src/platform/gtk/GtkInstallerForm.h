// The busy form while the web view runtime installer runs: an undecorated 80 x 80 window with
// slightly rounded corners, centred, with the busy cursor and an animated indicator; it refuses
// every close request.
#pragma once

#include <cstdint>

#include <gtk/gtk.h>

#include "platform/RuntimeInstaller.h"

namespace velloc::platform::gtk {

inline constexpr int kInstallerFormSize = 80;

// A colour of the configuration as GTK draws it: 0x00BBGGRR directly, a system colour index
// (0xFF000000 + index) as the GTK theme's matching colour, else the classic default.
GdkRGBA InstallerFormColor(std::int32_t color, GtkStyleContext* theme);

class TGtkInstallerForm {
 public:
  explicit TGtkInstallerForm(const TInstallerFormStyle& style);
  TGtkInstallerForm(const TGtkInstallerForm&) = delete;
  TGtkInstallerForm& operator=(const TGtkInstallerForm&) = delete;
  ~TGtkInstallerForm();

  GtkWidget* Window() const { return FWindow; }

 private:
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, TGtkInstallerForm* self);
  static void OnRealize(GtkWidget* widget, TGtkInstallerForm* self);
  static gboolean OnDrawForm(GtkWidget* widget, cairo_t* cr, TGtkInstallerForm* self);
  static gboolean OnDrawIndicator(GtkWidget* widget, cairo_t* cr, TGtkInstallerForm* self);
  static gboolean OnTick(GtkWidget* widget, GdkFrameClock* clock, gpointer self);

  TInstallerFormStyle FStyle;
  GdkRGBA FColor{};
  GtkWidget* FWindow = nullptr;
  GtkWidget* FIndicator = nullptr;
  guint FTick = 0;
  gint64 FStart = -1;  // frame time of the first frame, in microseconds
  double FSeconds = 0;
};

}  // namespace velloc::platform::gtk
