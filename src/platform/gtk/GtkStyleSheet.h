// The GTK 3 stylesheet of a built-in style, generated from the style's colour scheme. Pure text:
// nothing here needs a display.
#pragma once

#include <string>

#include "core/StyleScheme.h"
#include "platform/Styles.h"

namespace velloc::platform::gtk {

// "#rrggbb"
std::string CssColour(TRgb colour);

// The stylesheet for everything but pop-up menus: window and dialog backgrounds, the menu bar,
// buttons, entries, lists, check boxes, tooltips, scroll bars and the file chooser's parts.
std::string StyleSheet(const TStyleDefinition& style);
// Pop-up menus (the drop-downs of the menu bar, context and tray menus) in the style; used only
// while menus are not excluded from styling.
std::string MenuStyleSheet(const TStyleDefinition& style);

}  // namespace velloc::platform::gtk
