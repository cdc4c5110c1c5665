#include "platform/gtk/GtkWindowList.h"

#include <string>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace velloc::platform::gtk {
namespace {

// Enough for any window list and any title, and bounded against a hostile property.
constexpr long kMaxPropertyLongs = 1L << 20;

// A property's raw items, or nothing when it is absent or of another type or format.
struct TProperty {
  unsigned char* Data = nullptr;
  unsigned long Count = 0;
  TProperty() = default;
  TProperty(const TProperty&) = delete;
  TProperty& operator=(const TProperty&) = delete;
  ~TProperty() {
    if (Data) XFree(Data);
  }
};

bool ReadProperty(Display* display, Window window, Atom property, Atom type, int format,
                  TProperty& out) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long after = 0;
  if (XGetWindowProperty(display, window, property, 0, kMaxPropertyLongs, False, type, &actualType,
                         &actualFormat, &out.Count, &after, &out.Data) != Success)
    return false;
  return out.Data != nullptr && actualType == type && actualFormat == format;
}

std::string WindowTitle(Display* display, Window window, Atom netWmName, Atom utf8String) {
  TProperty name;
  if (ReadProperty(display, window, netWmName, utf8String, 8, name))
    return std::string(reinterpret_cast<const char*>(name.Data), name.Count);
  // WM_NAME in whatever encoding it was set (Latin-1, compound text or UTF-8).
  XTextProperty text{};
  if (!XGetWMName(display, window, &text) || text.value == nullptr) return {};
  std::string title;
  char** list = nullptr;
  int count = 0;
  if (Xutf8TextPropertyToTextList(display, &text, &list, &count) >= Success && list != nullptr) {
    for (int i = 0; i < count; ++i)
      title += list[i];
    XFreeStringList(list);
  } else {
    title.assign(reinterpret_cast<const char*>(text.value), text.nitems);
  }
  XFree(text.value);
  return title;
}

std::vector<std::string> X11Titles(GdkDisplay* gdkDisplay) {
  Display* display = GDK_DISPLAY_XDISPLAY(gdkDisplay);
  const Window root = DefaultRootWindow(display);
  const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
  const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8String = XInternAtom(display, "UTF8_STRING", False);

  // Windows may vanish while they are read: their errors are ignored.
  gdk_x11_display_error_trap_push(gdkDisplay);
  std::vector<Window> windows;
  TProperty clients;
  if (ReadProperty(display, root, clientList, XA_WINDOW, 32, clients)) {
    // Format 32 arrives as an array of long.
    const auto* items = reinterpret_cast<const unsigned long*>(clients.Data);
    windows.assign(items, items + clients.Count);
  } else {
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) && children) {
      windows.assign(children, children + count);
      XFree(children);
    }
  }
  std::vector<std::string> titles;
  titles.reserve(windows.size());
  for (const Window window : windows)
    titles.push_back(WindowTitle(display, window, netWmName, utf8String));
  gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
  return titles;
}

}  // namespace

std::vector<std::string> TGtkWindowList::TopLevelWindowTitles() {
  GdkDisplay* display = gdk_display_get_default();
  if (display && GDK_IS_X11_DISPLAY(display)) return X11Titles(display);
  std::vector<std::string> titles;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_window_get_window_type(window) != GTK_WINDOW_TOPLEVEL) continue;
    const char* title = gtk_window_get_title(window);
    titles.emplace_back(title ? title : "");
  }
  g_list_free(toplevels);
  return titles;
}

}  // namespace velloc::platform::gtk
