#include "platform/gtk/GtkMainWindow.h"

#include <algorithm>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/DisplayLimits.h"

namespace velloc::platform::gtk {
namespace {

GdkWindowTypeHint TypeHint(TBorderStyle style) {
  switch (style) {
    case TBorderStyle::Dialog:
      return GDK_WINDOW_TYPE_HINT_DIALOG;
    case TBorderStyle::ToolWindow:
    case TBorderStyle::SizeToolWindow:
      return GDK_WINDOW_TYPE_HINT_UTILITY;
    default:
      return GDK_WINDOW_TYPE_HINT_NORMAL;
  }
}

bool Resizable(TBorderStyle style) {
  // A borderless window stays resizable, so the full-screen mode (no border, maximized) can
  // maximize it; the user has no frame to drag anyway.
  return style == TBorderStyle::None || style == TBorderStyle::Sizeable ||
         style == TBorderStyle::SizeToolWindow;
}

}  // namespace

TGtkMainWindow::TGtkMainWindow() : FWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
  g_object_ref_sink(FWindow);
  FContent = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(FWindow), FContent);
  gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
  gtk_window_set_default_size(GTK_WINDOW(FWindow), FBounds.Width, FBounds.Height);
  g_signal_connect(FWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(FWindow, "window-state-event", G_CALLBACK(OnWindowStateEvent), this);
  g_signal_connect(FWindow, "map-event", G_CALLBACK(OnMapEvent), this);
  g_signal_connect(FWindow, "configure-event", G_CALLBACK(OnConfigureEvent), this);
  gtk_widget_add_events(FWindow, GDK_PROPERTY_CHANGE_MASK);
  g_signal_connect(FWindow, "property-notify-event", G_CALLBACK(OnPropertyNotify), this);
  g_signal_connect(FWindow, "destroy", G_CALLBACK(OnDestroy), this);
}

TGtkMainWindow::~TGtkMainWindow() {
  if (FCloseIdle) g_source_remove(FCloseIdle);
  g_signal_handlers_disconnect_by_data(FWindow, this);
  if (!FClosed) gtk_widget_destroy(FWindow);
  g_object_unref(FWindow);
}

void TGtkMainWindow::SetCaption(const std::string& caption) {
  gtk_window_set_title(GTK_WINDOW(FWindow), DisplayTitle(caption).c_str());
}

std::string TGtkMainWindow::Caption() const {
  const char* title = gtk_window_get_title(GTK_WINDOW(FWindow));
  return title ? title : "";
}

void TGtkMainWindow::SetApplicationTitle(const std::string& title) {
  g_set_application_name(DisplayTitle(title).c_str());
}

TGtkMainWindow::TFrame TGtkMainWindow::FrameExtents() const {
  GdkWindow* window = gtk_widget_get_window(FWindow);
  if (!window || !gtk_widget_get_mapped(FWindow)) return {};
  // The window manager publishes its frame in one property. Measuring the frame window against
  // ours takes two requests, and a move between them mixes two positions.
  GdkAtom type = GDK_NONE;
  gint format = 0, length = 0;
  guchar* data = nullptr;
  // The length asked for is in bytes: four 32-bit values.
  if (gdk_property_get(window, gdk_atom_intern_static_string("_NET_FRAME_EXTENTS"),
                       gdk_atom_intern_static_string("CARDINAL"), 0, 4 * 4, FALSE, &type, &format,
                       &length, &data) &&
      data && format == 32 && length >= static_cast<gint>(4 * sizeof(long))) {
    const auto* values = reinterpret_cast<const long*>(data);  // format 32 arrives as longs
    TFrame f{static_cast<int>(values[0]), static_cast<int>(values[2]), static_cast<int>(values[1]),
             static_cast<int>(values[3])};
    g_free(data);
    return f;
  }
  g_free(data);
  GdkRectangle frame{};
  gdk_window_get_frame_extents(window, &frame);
  int x = 0, y = 0;
  gdk_window_get_origin(window, &x, &y);
  const int width = gdk_window_get_width(window), height = gdk_window_get_height(window);
  TFrame f;
  f.Left = std::max(0, x - frame.x);
  f.Top = std::max(0, y - frame.y);
  f.Right = std::max(0, frame.x + frame.width - (x + width));
  f.Bottom = std::max(0, frame.y + frame.height - (y + height));
  return f;
}

void TGtkMainWindow::ApplySize() {
  const TFrame f = FrameExtents();
  const int width = std::max(1, FBounds.Width - f.Left - f.Right);
  const int height = std::max(1, FBounds.Height - f.Top - f.Bottom);
  // A fixed border pins the size through the hints, which must move first.
  if (!Resizable(FBorder)) ApplyGeometryHints();
  // The default size counts at the first map, the requested size at later ones and while mapped.
  gtk_window_set_default_size(GTK_WINDOW(FWindow), width, height);
  gtk_window_resize(GTK_WINDOW(FWindow), width, height);
}

void TGtkMainWindow::SetBounds(const TRect& bounds) {
  FBounds = ClampBounds(bounds);
  // The size limits hold for every border: a fixed border pins the size through the hints,
  // which would otherwise take any size asked for.
  KeepWithinLimits();
  ApplySize();
  // Resized first and moved once the window manager has answered: asked for together, a move
  // and a resize can reach a busy window manager in an order that shrinks the window by the
  // distance moved.
  if (gtk_widget_get_mapped(FWindow)) FMovePending = true;
}

void TGtkMainWindow::ApplyPendingMove() {
  if (!FMovePending) return;
  FMovePending = false;
  // The reference point is the frame's corner, as the outer rectangle's is.
  gtk_window_set_gravity(GTK_WINDOW(FWindow), GDK_GRAVITY_NORTH_WEST);
  gtk_window_move(GTK_WINDOW(FWindow), FBounds.Left, FBounds.Top);
}

TRect TGtkMainWindow::Bounds() const {
  GdkWindow* window = gtk_widget_get_window(FWindow);
  if (!window || !gtk_widget_get_mapped(FWindow)) return FBounds;
  GdkRectangle frame{};
  gdk_window_get_frame_extents(window, &frame);
  return {frame.y, frame.x, frame.width, frame.height};
}

void TGtkMainWindow::ApplyGeometryHints() {
  const TFrame f = FrameExtents();
  const int dw = f.Left + f.Right, dh = f.Top + f.Bottom;
  GdkGeometry geometry{};
  int mask = 0;
  if (!Resizable(FBorder)) {
    // A fixed border: the window manager offers no resizing when the smallest and the largest
    // size are the same. GTK's own "not resizable" pins the size it computes itself, which
    // loses the configured size when the window is mapped again for a new border.
    geometry.min_width = geometry.max_width = std::max(1, FBounds.Width - dw);
    geometry.min_height = geometry.max_height = std::max(1, FBounds.Height - dh);
    mask = GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE;
  } else {
    if (FLimits.MinWidth > 0 || FLimits.MinHeight > 0) {
      geometry.min_width = FLimits.MinWidth > 0 ? std::max(1, FLimits.MinWidth - dw) : 1;
      geometry.min_height = FLimits.MinHeight > 0 ? std::max(1, FLimits.MinHeight - dh) : 1;
      mask |= GDK_HINT_MIN_SIZE;
    }
    if (FLimits.MaxWidth > 0 || FLimits.MaxHeight > 0) {
      geometry.max_width = FLimits.MaxWidth > 0 ? std::max(1, FLimits.MaxWidth - dw) : G_MAXSHORT;
      geometry.max_height =
          FLimits.MaxHeight > 0 ? std::max(1, FLimits.MaxHeight - dh) : G_MAXSHORT;
      mask |= GDK_HINT_MAX_SIZE;
    }
  }
  gtk_window_set_geometry_hints(GTK_WINDOW(FWindow), nullptr, mask ? &geometry : nullptr,
                                static_cast<GdkWindowHints>(mask));
}

void TGtkMainWindow::SetSizeConstraints(const TSizeConstraints& requested) {
  const TSizeConstraints limits = ClampConstraints(requested);
  FLimits = limits;
  ApplyGeometryHints();
  // The current size obeys the limits at once.
  KeepWithinLimits();
  ApplySize();
}

void TGtkMainWindow::KeepWithinLimits() {
  const auto clamp = [](int value, int min, int max) {
    if (max > 0) value = std::min(value, max);
    if (min > 0) value = std::max(value, min);
    return value;
  };
  FBounds.Width = clamp(FBounds.Width, FLimits.MinWidth, FLimits.MaxWidth);
  FBounds.Height = clamp(FBounds.Height, FLimits.MinHeight, FLimits.MaxHeight);
}

void TGtkMainWindow::SetInitialPlacement(bool centred) {
  gtk_window_set_position(GTK_WINDOW(FWindow), centred ? GTK_WIN_POS_CENTER : GTK_WIN_POS_NONE);
}

void TGtkMainWindow::ApplyBorder() {
  GtkWindow* window = GTK_WINDOW(FWindow);
  const bool hintChanges = gtk_window_get_type_hint(window) != TypeHint(FBorder);
  // GTK sets a window's type only before it is mapped: re-map it. Its children, the web view
  // among them, live on; position, size, state and stacking are put back afterwards.
  const bool remap = hintChanges && gtk_widget_get_mapped(FWindow);
  if (remap) gtk_widget_hide(FWindow);
  gtk_window_set_decorated(window, FBorder != TBorderStyle::None);
  ApplyGeometryHints();
  if (hintChanges) gtk_window_set_type_hint(window, TypeHint(FBorder));
  ApplyFunctions();
  // The frame changes with the border: the outer size is made exact again once it is known.
  FSizePending = true;
  if (remap) {
    // A maximize or iconify the window manager has not undone yet would come back with the map.
    if (FState != TWindowState::Maximized) gtk_window_unmaximize(window);
    if (FState != TWindowState::Minimized) gtk_window_deiconify(window);
    gtk_window_set_position(window, GTK_WIN_POS_NONE);
    gtk_window_move(window, FBounds.Left, FBounds.Top);
    ApplySize();
    gtk_widget_show(FWindow);
    gtk_window_set_keep_above(window, FTopmost);
    if (FState == TWindowState::Maximized) gtk_window_maximize(window);
    if (FState == TWindowState::Minimized) gtk_window_iconify(window);
  }
  // The size hints follow "resizable" at GTK's next layout; send them now, before a maximize
  // request that a window manager would refuse for a window of fixed size.
  gtk_container_check_resize(GTK_CONTAINER(FWindow));
}

void TGtkMainWindow::ApplyFunctions() {
  // A dialog frame can be moved and closed, not minimized or maximized.
  if (GdkWindow* gdkWindow = gtk_widget_get_window(FWindow)) {
    gdk_window_set_functions(gdkWindow,
                             FBorder == TBorderStyle::Dialog
                                 ? static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE)
                                 : GDK_FUNC_ALL);
  }
}

void TGtkMainWindow::SetBorderStyle(TBorderStyle style) {
  FBorder = style;
  ApplyBorder();
}

void TGtkMainWindow::SetWindowState(TWindowState state) {
  GtkWindow* window = GTK_WINDOW(FWindow);
  FStatePending = gtk_widget_get_mapped(FWindow) && state != FState;
  FState = state;
  switch (state) {
    case TWindowState::Normal:
      gtk_window_deiconify(window);
      gtk_window_unmaximize(window);
      break;
    case TWindowState::Minimized:
      gtk_window_iconify(window);
      break;
    case TWindowState::Maximized:
      gtk_window_deiconify(window);
      gtk_window_maximize(window);
      break;
  }
}

void TGtkMainWindow::SetTopmost(bool topmost) {
  FTopmost = topmost;
  gtk_window_set_keep_above(GTK_WINDOW(FWindow), topmost);
}

void TGtkMainWindow::Show() {
  gtk_widget_show_all(FWindow);
  if (FState == TWindowState::Minimized) gtk_window_iconify(GTK_WINDOW(FWindow));
}

void TGtkMainWindow::Hide() {
  gtk_widget_hide(FWindow);
}

void TGtkMainWindow::BringToFront() {
  gtk_widget_show(FWindow);
  gtk_window_present(GTK_WINDOW(FWindow));
}

bool TGtkMainWindow::Visible() const {
  return gtk_widget_get_visible(FWindow);
}

void TGtkMainWindow::Close() {
  // Asked from inside a web view or bridge event: the close runs once that event has returned,
  // since closing destroys the web view and the bridge.
  if (FCloseIdle || FClosed) return;
  FCloseIdle = g_idle_add(
      [](gpointer data) -> gboolean {
        auto* self = static_cast<TGtkMainWindow*>(data);
        self->FCloseIdle = 0;
        glib::Guarded("closing the window", [self] { self->RunCloseQuery(); });
        return G_SOURCE_REMOVE;
      },
      this);
}

void TGtkMainWindow::RunCloseQuery() {
  if (FClosed) return;
  if (FEvents && !FEvents->FormCloseQuery()) return;
  FClosed = true;
  if (FEvents) FEvents->FormClose();
  gtk_widget_destroy(FWindow);
}

gboolean TGtkMainWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, TGtkMainWindow* self) {
  glib::Guarded("a close request", [self] { self->RunCloseQuery(); });
  return TRUE;  // the window is destroyed by RunCloseQuery when the close is allowed
}

gboolean TGtkMainWindow::OnWindowStateEvent(GtkWidget*, GdkEventWindowState* event,
                                            TGtkMainWindow* self) {
  const GdkWindowState state = event->new_window_state;
  TWindowState seen = TWindowState::Normal;
  if (state & GDK_WINDOW_STATE_ICONIFIED) {
    seen = TWindowState::Minimized;
  } else if (state & GDK_WINDOW_STATE_MAXIMIZED) {
    seen = TWindowState::Maximized;
  }
  // While a change asked for is under way, the events before it describe the old state.
  if (self->FStatePending && seen != self->FState) return FALSE;
  self->FStatePending = false;
  self->FState = seen;
  return FALSE;
}

gboolean TGtkMainWindow::OnMapEvent(GtkWidget*, GdkEvent*, TGtkMainWindow* self) {
  // The window's functions can be set only once GDK has a window for it.
  self->ApplyFunctions();
  return FALSE;
}

void TGtkMainWindow::SettlePendingSize() {
  if (!FSizePending || !gtk_widget_get_mapped(FWindow)) return;
  const TFrame f = FrameExtents();
  if (f.Top == 0 && f.Left == 0 && FBorder != TBorderStyle::None) return;  // frame not known yet
  FSizePending = false;
  gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_NONE);
  ApplyGeometryHints();
  if (FState == TWindowState::Normal) ApplySize();
}

gboolean TGtkMainWindow::OnConfigureEvent(GtkWidget*, GdkEventConfigure*, TGtkMainWindow* self) {
  if (!gtk_widget_get_mapped(self->FWindow)) return FALSE;
  // The first configure after mapping or a border change knows the frame: the outer size and
  // the limits become exact.
  if (self->FSizePending) {
    self->SettlePendingSize();
    return FALSE;
  }
  if (self->FMovePending) {
    self->ApplyPendingMove();
    return FALSE;
  }
  // A normal window remembers where it is, so a border change or the end of full screen can
  // put it back there.
  if (self->FState == TWindowState::Normal && !self->FStatePending) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(gtk_widget_get_window(self->FWindow), &frame);
    self->FBounds = {frame.y, frame.x, frame.width, frame.height};
  }
  return FALSE;
}

gboolean TGtkMainWindow::OnPropertyNotify(GtkWidget*, GdkEventProperty* event,
                                          TGtkMainWindow* self) {
  // The window manager may publish its frame after the first configure.
  if (event->atom == gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) self->SettlePendingSize();
  return FALSE;
}

void TGtkMainWindow::OnDestroy(GtkWidget*, TGtkMainWindow* self) {
  self->FClosed = true;
  gtk_main_quit();
}

}  // namespace velloc::platform::gtk
