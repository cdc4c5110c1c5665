// A system tray for tests: owns the XEmbed tray selection of screen 0 and embeds every icon that
// asks to dock, in a window titled "xembed-tray". Prints "docked" and "undocked" lines, so a test
// can follow the icon of an application that finds no StatusNotifierWatcher.
#include <cstdio>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtk/gtkx.h>

namespace {

constexpr long kRequestDock = 0;

GdkFilterReturn OnEvent(GdkXEvent* raw, GdkEvent* /*event*/, gpointer box) {
  auto* xevent = static_cast<XEvent*>(raw);
  if (xevent->type != ClientMessage) return GDK_FILTER_CONTINUE;
  Display* display = xevent->xclient.display;
  if (xevent->xclient.message_type != XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False) ||
      xevent->xclient.data.l[1] != kRequestDock)
    return GDK_FILTER_CONTINUE;
  GtkWidget* socket = gtk_socket_new();
  gtk_widget_set_size_request(socket, 32, 32);
  g_signal_connect(socket, "plug-removed", G_CALLBACK(+[](GtkSocket*, gpointer) -> gboolean {
                     std::printf("undocked\n");
                     std::fflush(stdout);
                     return FALSE;
                   }),
                   nullptr);
  gtk_box_pack_start(GTK_BOX(box), socket, FALSE, FALSE, 0);
  gtk_widget_show(socket);
  gtk_socket_add_id(GTK_SOCKET(socket), static_cast<Window>(xevent->xclient.data.l[2]));
  std::printf("docked\n");
  std::fflush(stdout);
  return GDK_FILTER_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "xembed-tray");
  gtk_window_set_default_size(GTK_WINDOW(window), 120, 40);
  // In a corner and above the application's window, where a test can click the icons.
  gtk_window_move(GTK_WINDOW(window), 0, 0);
  gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  gtk_widget_show_all(window);

  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  Display* display = GDK_WINDOW_XDISPLAY(gdkWindow);
  const Window manager = GDK_WINDOW_XID(gdkWindow);
  const Window root = DefaultRootWindow(display);
  const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
  XSetSelectionOwner(display, selection, manager, CurrentTime);
  // Tell waiting icons that a tray is here.
  XClientMessageEvent announce{};
  announce.type = ClientMessage;
  announce.window = root;
  announce.message_type = XInternAtom(display, "MANAGER", False);
  announce.format = 32;
  announce.data.l[0] = CurrentTime;
  announce.data.l[1] = static_cast<long>(selection);
  announce.data.l[2] = static_cast<long>(manager);
  XSendEvent(display, root, False, StructureNotifyMask, reinterpret_cast<XEvent*>(&announce));
  XFlush(display);
  gdk_window_add_filter(gdkWindow, OnEvent, box);
  std::printf("ready\n");
  std::fflush(stdout);
  gtk_main();
  return 0;
}
