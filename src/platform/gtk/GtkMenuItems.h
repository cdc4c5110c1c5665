// Builds GTK menu items from the entries the core hands over; shared by the menu bar and the
// tray icon's fallback pop-up menu.
#pragma once

#include <cstdint>
#include <vector>

#include <gtk/gtk.h>

#include "platform/Menus.h"

namespace velloc::platform::gtk {

// Called on the UI thread when an entry with a click is activated.
using TGtkMenuActivate = void (*)(std::int32_t id, gpointer userData);

// Appends one widget per entry to `shell`; submenus recursively.
void AppendMenuEntries(GtkMenuShell* shell, const std::vector<TMenuEntry>& entries,
                       TGtkMenuActivate onActivate, gpointer userData);

// Removes and destroys every item of `shell`.
void ClearMenuShell(GtkMenuShell* shell);

}  // namespace velloc::platform::gtk
