#include "platform/gtk/GtkInstallerForm.h"

#include <array>

#include "platform/gtk/BusyIndicator.h"
#include "platform/gtk/CallbackGuard.h"

namespace velloc::platform::gtk {
namespace {

constexpr int kIndicatorLeft = 9;
constexpr int kIndicatorTop = 8;
constexpr int kCornerEllipse = 4;

// The classic defaults of the system colours, 0xRRGGBB by index.
constexpr std::array<std::uint32_t, 31> kClassicColors = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0xB5B5B5, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0};

// The theme's colour for a system colour, where the theme names one.
const char* ThemeColorName(unsigned index) {
  switch (index) {
    case 13:  // COLOR_HIGHLIGHT
    case 26:  // COLOR_HOTLIGHT
    case 29:  // COLOR_MENUHILIGHT
      return "theme_selected_bg_color";
    case 14:  // COLOR_HIGHLIGHTTEXT
      return "theme_selected_fg_color";
    case 4:   // COLOR_MENU
    case 15:  // COLOR_BTNFACE
    case 30:  // COLOR_MENUBAR
      return "theme_bg_color";
    case 5:  // COLOR_WINDOW
      return "theme_base_color";
    case 7:   // COLOR_MENUTEXT
    case 8:   // COLOR_WINDOWTEXT
    case 18:  // COLOR_BTNTEXT
      return "theme_fg_color";
    default:
      return nullptr;
  }
}

GdkRGBA FromRgb(std::uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1.0};
}

// The corner ellipse of the window's region, as a path.
void RoundedRect(cairo_t* cr, double width, double height) {
  const double r = kCornerEllipse / 2.0;
  cairo_new_sub_path(cr);
  cairo_arc(cr, width - r, r, r, -G_PI / 2, 0);
  cairo_arc(cr, width - r, height - r, r, 0, G_PI / 2);
  cairo_arc(cr, r, height - r, r, G_PI / 2, G_PI);
  cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
}

}  // namespace

GdkRGBA InstallerFormColor(std::int32_t color, GtkStyleContext* theme) {
  const auto value = static_cast<std::uint32_t>(color);
  if ((value & 0xFF000000u) == 0xFF000000u) {
    const unsigned index = value & 0xFFu;
    GdkRGBA rgba;
    if (const char* name = ThemeColorName(index);
        name && theme && gtk_style_context_lookup_color(theme, name, &rgba)) {
      return rgba;
    }
    return FromRgb(index < kClassicColors.size() ? kClassicColors[index] : 0);
  }
  // 0x00BBGGRR: red in the lowest byte.
  return {(value & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, ((value >> 16) & 0xFF) / 255.0,
          1.0};
}

TGtkInstallerForm::TGtkInstallerForm(const TInstallerFormStyle& style) : FStyle(style) {
  FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(FWindow), "");
  gtk_window_set_decorated(GTK_WINDOW(FWindow), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(FWindow), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(FWindow), TRUE);
  gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
  gtk_widget_set_size_request(FWindow, kInstallerFormSize, kInstallerFormSize);
  gtk_widget_set_app_paintable(FWindow, TRUE);
  FColor = InstallerFormColor(style.Color, gtk_widget_get_style_context(FWindow));

  GtkWidget* fixed = gtk_fixed_new();
  FIndicator = gtk_drawing_area_new();
  gtk_widget_set_size_request(FIndicator, kBusyIndicatorSize, kBusyIndicatorSize);
  gtk_fixed_put(GTK_FIXED(fixed), FIndicator, kIndicatorLeft, kIndicatorTop);
  gtk_container_add(GTK_CONTAINER(FWindow), fixed);

  g_signal_connect(FWindow, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(FWindow, "realize", G_CALLBACK(OnRealize), this);
  g_signal_connect(FWindow, "draw", G_CALLBACK(OnDrawForm), this);
  g_signal_connect(FIndicator, "draw", G_CALLBACK(OnDrawIndicator), this);
  // One frame per frame of the display: a steady rate whatever the machine's load.
  FTick = gtk_widget_add_tick_callback(FIndicator, OnTick, this, nullptr);
  gtk_widget_show_all(FWindow);
}

TGtkInstallerForm::~TGtkInstallerForm() {
  gtk_widget_remove_tick_callback(FIndicator, FTick);
  g_signal_handlers_disconnect_by_data(FIndicator, this);
  g_signal_handlers_disconnect_by_data(FWindow, this);
  gtk_widget_destroy(FWindow);
}

// Alt+F4 and every other close request are refused.
gboolean TGtkInstallerForm::OnDelete(GtkWidget*, GdkEvent*, TGtkInstallerForm*) {
  return TRUE;
}

void TGtkInstallerForm::OnRealize(GtkWidget* widget, TGtkInstallerForm*) {
  glib::Guarded("the installer form's realization", [&] {
    GdkWindow* window = gtk_widget_get_window(widget);
    GdkDisplay* display = gtk_widget_get_display(widget);
    GdkCursor* cursor = gdk_cursor_new_from_name(display, "progress");
    if (cursor) {
      gdk_window_set_cursor(window, cursor);
      g_object_unref(cursor);
    }
    // Rounded corners where the display can shape windows; square ones elsewhere.
    if (!gdk_display_supports_shapes(display)) return;
    cairo_surface_t* mask =
        cairo_image_surface_create(CAIRO_FORMAT_A1, kInstallerFormSize, kInstallerFormSize);
    cairo_t* cr = cairo_create(mask);
    RoundedRect(cr, kInstallerFormSize, kInstallerFormSize);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
    gtk_widget_shape_combine_region(widget, region);
    cairo_region_destroy(region);
    cairo_surface_destroy(mask);
  });
}

gboolean TGtkInstallerForm::OnDrawForm(GtkWidget*, cairo_t* cr, TGtkInstallerForm* self) {
  gdk_cairo_set_source_rgba(cr, &self->FColor);
  cairo_paint(cr);
  return FALSE;  // the indicator draws over it
}

gboolean TGtkInstallerForm::OnDrawIndicator(GtkWidget*, cairo_t* cr, TGtkInstallerForm* self) {
  glib::Guarded("the busy indicator", [&] {
    DrawBusyIndicator(cr, self->FStyle.IndicatorType, self->FStyle.IndicatorColor != 0,
                      self->FSeconds);
  });
  return TRUE;
}

gboolean TGtkInstallerForm::OnTick(GtkWidget* widget, GdkFrameClock* clock, gpointer data) {
  auto* self = static_cast<TGtkInstallerForm*>(data);
  const gint64 now = gdk_frame_clock_get_frame_time(clock);
  if (self->FStart < 0) self->FStart = now;
  self->FSeconds = static_cast<double>(now - self->FStart) / G_USEC_PER_SEC;
  gtk_widget_queue_draw(widget);
  return G_SOURCE_CONTINUE;
}

}  // namespace velloc::platform::gtk
