#include "platform/gtk/GtkTrayIcon.h"

#include <cstdio>
#include <exception>

#include "platform/gtk/GtkMenuItems.h"

namespace velloc::platform::gtk {
namespace {

// The sizes a tray host picks from.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};

void Report(const char* what) {
  std::fprintf(stderr, "velloc tray: %s\n", what);
}

template <typename Body>
void Guarded(Body&& body) {
  try {
    body();
  } catch (const std::exception& error) {
    Report(error.what());
  } catch (...) {
    Report("unknown error");
  }
}

glib::TObjectPtr<GdkPixbuf> DecodeIcon(std::span<const std::uint8_t> data) {
  if (data.empty()) return {};
  glib::TObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
  const bool written = gdk_pixbuf_loader_write(loader.Get(), data.data(), data.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.Get(), nullptr);
  if (!written || !closed) return {};
  return glib::TObjectPtr<GdkPixbuf>::Ref(gdk_pixbuf_loader_get_pixbuf(loader.Get()));
}

// A picture when the package carries no usable icon: the theme's generic application icon.
glib::TObjectPtr<GdkPixbuf> FallbackIcon() {
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  for (const char* name : {"application-x-executable", "applications-other", "image-missing"}) {
    if (GdkPixbuf* icon =
            theme ? gtk_icon_theme_load_icon(theme, name, 64, GTK_ICON_LOOKUP_FORCE_SIZE, nullptr)
                  : nullptr)
      return glib::TObjectPtr<GdkPixbuf>(icon);
  }
  GdkPixbuf* plain = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 64, 64);
  gdk_pixbuf_fill(plain, 0x3465a4ffU);
  return glib::TObjectPtr<GdkPixbuf>(plain);
}

}  // namespace

TGtkTrayIcon::TGtkTrayIcon(std::string id) : FId(std::move(id)) {}

TGtkTrayIcon::~TGtkTrayIcon() {
  FItem.reset();
  if (FWatch) g_bus_unwatch_name(FWatch);
  if (FStatusIcon) g_object_unref(FStatusIcon);
  if (FPopup) gtk_widget_destroy(FPopup.Get());
}

void TGtkTrayIcon::SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) {
  FPixbuf = DecodeIcon(image);
  if (!FPixbuf) FPixbuf = FallbackIcon();
  FTooltip = tooltip;
}

void TGtkTrayIcon::Show() {
  if (FVisible) return;
  FVisible = true;
  if (!FPixbuf) FPixbuf = FallbackIcon();
  WatchWatcher();
  Update();
}

void TGtkTrayIcon::Hide() {
  if (!FVisible) return;
  FVisible = false;
  Update();
}

void TGtkTrayIcon::SetMenuEntries(const std::vector<TMenuEntry>& entries) {
  FEntries = entries;
  if (FItem) FItem->SetMenuEntries(FEntries);
}

void TGtkTrayIcon::WatchWatcher() {
  if (FWatched) return;
  FWatched = true;
  glib::TError error;
  FBus =
      glib::TObjectPtr<GDBusConnection>(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.Out()));
  if (!FBus) return;  // no session bus: the XEmbed tray only
  // Asked once directly, so the first Show already knows which kind of icon to make.
  GVariant* reply = g_dbus_connection_call_sync(
      FBus.Get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "NameHasOwner", g_variant_new("(s)", TStatusNotifierItem::kWatcherName),
      G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  if (reply) {
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    FWatcherPresent = owned != FALSE;
    g_variant_unref(reply);
  }
  FWatch = g_bus_watch_name_on_connection(
      FBus.Get(), TStatusNotifierItem::kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
      &TGtkTrayIcon::OnWatcherAppeared, &TGtkTrayIcon::OnWatcherVanished, this, nullptr);
}

void TGtkTrayIcon::Update() {
  if (!FVisible) {
    FItem.reset();
  } else if (FWatcherPresent && FBus && !FItem) {
    try {
      FItem = std::make_unique<TStatusNotifierItem>(
          FBus.Get(), FId, FTooltip, IconPixmaps(),
          TStatusNotifierItem::TEvents{[this] { IconClick(); },
                                       [this](int x, int y) { PopupMenu(x, y); },
                                       [this](std::int32_t id) { ItemClick(id); }});
      FItem->SetMenuEntries(FEntries);
    } catch (const std::exception& error) {
      Report(error.what());
    }
  }
  // Without a watcher the icon goes to an XEmbed tray; an item kept from before re-registers
  // when a watcher comes back.
  const bool fallback = FVisible && !(FItem && FWatcherPresent);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  if (fallback && !FStatusIcon) {
    FStatusIcon = gtk_status_icon_new_from_pixbuf(FPixbuf.Get());
    gtk_status_icon_set_tooltip_text(FStatusIcon, FTooltip.c_str());
    gtk_status_icon_set_title(FStatusIcon, FTooltip.c_str());
    g_signal_connect(FStatusIcon, "activate", G_CALLBACK(OnStatusIconActivate), this);
    g_signal_connect(FStatusIcon, "popup-menu", G_CALLBACK(OnStatusIconPopup), this);
  }
  if (FStatusIcon) gtk_status_icon_set_visible(FStatusIcon, fallback);
  G_GNUC_END_IGNORE_DEPRECATIONS
}

std::vector<TIconPixmap> TGtkTrayIcon::IconPixmaps() const {
  std::vector<TIconPixmap> pixmaps;
  if (!FPixbuf) return pixmaps;
  for (const int size : kIconSizes) {
    glib::TObjectPtr<GdkPixbuf> scaled(
        gdk_pixbuf_scale_simple(FPixbuf.Get(), size, size, GDK_INTERP_BILINEAR));
    if (!scaled) continue;
    glib::TObjectPtr<GdkPixbuf> rgba(gdk_pixbuf_add_alpha(scaled.Get(), FALSE, 0, 0, 0));
    if (!rgba) continue;
    const int stride = gdk_pixbuf_get_rowstride(rgba.Get());
    const guint8* pixels = gdk_pixbuf_read_pixels(rgba.Get());
    TIconPixmap pixmap{size, size, {}};
    pixmap.Argb.reserve(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4);
    for (int y = 0; y < size; ++y) {
      const guint8* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
      for (int x = 0; x < size; ++x) {
        const guint8* p = row + static_cast<std::ptrdiff_t>(x) * 4;
        pixmap.Argb.insert(pixmap.Argb.end(), {p[3], p[0], p[1], p[2]});
      }
    }
    pixmaps.push_back(std::move(pixmap));
  }
  return pixmaps;
}

void TGtkTrayIcon::IconClick() {
  // The second click of a double click is not another click.
  gint interval = 400;
  if (GtkSettings* settings = gtk_settings_get_default())
    g_object_get(settings, "gtk-double-click-time", &interval, nullptr);
  const gint64 now = g_get_monotonic_time();
  if (FClickPending && now - FLastClick < static_cast<gint64>(interval) * 1000) {
    FClickPending = false;
    return;
  }
  FClickPending = true;
  FLastClick = now;
  if (FOnIconClick) FOnIconClick();
}

void TGtkTrayIcon::ItemClick(std::int32_t id) {
  if (FOnItemClick) FOnItemClick(id);
}

void TGtkTrayIcon::PopupMenu(int x, int y) {
  if (FPopup) gtk_widget_destroy(FPopup.Get());
  FPopup.Reset();
  // An empty menu shows nothing.
  if (FEntries.empty()) return;
  FPopup = glib::TObjectPtr<GtkWidget>(GTK_WIDGET(g_object_ref_sink(gtk_menu_new())));
  AppendMenuEntries(GTK_MENU_SHELL(FPopup.Get()), FEntries, &TGtkTrayIcon::OnPopupActivate, this);
  gtk_widget_show_all(FPopup.Get());
  if (GdkEvent* trigger = gtk_get_current_event()) {
    // A click on the XEmbed icon: the menu opens at the pointer.
    gtk_menu_popup_at_pointer(GTK_MENU(FPopup.Get()), trigger);
    gdk_event_free(trigger);
    return;
  }
  // Asked over D-Bus, with no event to start the menu from: at the screen position the host
  // names, else where the pointer is. Only the older call opens a menu without an event.
  FPopupX = x;
  FPopupY = y;
  const bool atPointer = x <= 0 && y <= 0;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_menu_popup(
      GTK_MENU(FPopup.Get()), nullptr, nullptr,
      atPointer ? nullptr
                : +[](GtkMenu*, gint* menuX, gint* menuY, gboolean* pushIn, gpointer self) {
                    *menuX = static_cast<TGtkTrayIcon*>(self)->FPopupX;
                    *menuY = static_cast<TGtkTrayIcon*>(self)->FPopupY;
                    *pushIn = TRUE;
                  },
      this, 0, gtk_get_current_event_time());
  G_GNUC_END_IGNORE_DEPRECATIONS
}

void TGtkTrayIcon::OnWatcherAppeared(GDBusConnection* /*connection*/, const gchar* /*name*/,
                                     const gchar* /*owner*/, gpointer self) {
  Guarded([self] {
    auto* tray = static_cast<TGtkTrayIcon*>(self);
    const bool restarted = !tray->FWatcherPresent;
    tray->FWatcherPresent = true;
    if (tray->FItem && restarted) tray->FItem->Register();
    tray->Update();
  });
}

void TGtkTrayIcon::OnWatcherVanished(GDBusConnection* /*connection*/, const gchar* /*name*/,
                                     gpointer self) {
  Guarded([self] {
    auto* tray = static_cast<TGtkTrayIcon*>(self);
    tray->FWatcherPresent = false;
    tray->Update();
  });
}

void TGtkTrayIcon::OnStatusIconActivate(GtkStatusIcon* /*icon*/, gpointer self) {
  Guarded([self] { static_cast<TGtkTrayIcon*>(self)->IconClick(); });
}

void TGtkTrayIcon::OnStatusIconPopup(GtkStatusIcon* /*icon*/, guint /*button*/, guint /*time*/,
                                     gpointer self) {
  Guarded([self] { static_cast<TGtkTrayIcon*>(self)->PopupMenu(0, 0); });
}

void TGtkTrayIcon::OnPopupActivate(std::int32_t id, gpointer self) {
  static_cast<TGtkTrayIcon*>(self)->ItemClick(id);
}

}  // namespace velloc::platform::gtk
