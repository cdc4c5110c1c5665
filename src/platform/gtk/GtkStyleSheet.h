// The GTK 3 stylesheet of a built-in style, generated from its palette, and the colour rules it
// is made with. Pure text: nothing here needs a display.
#pragma once

#include <string>

#include "platform/Styles.h"

namespace velloc::platform::gtk {

// WCAG 2 relative luminance (0 black .. 1 white) and contrast ratio (1 .. 21).
double RelativeLuminance(TRgb colour);
double ContrastRatio(TRgb a, TRgb b);
// `to` mixed into `from` by the fraction t (0: from, 1: to).
TRgb Mix(TRgb from, TRgb to, double t);
// "#rrggbb"
std::string CssColour(TRgb colour);

// Every colour the stylesheet uses: the palette's own and those derived from it. The foreground
// colours are chosen to read on their ground (see the stylesheet test for the pairs).
struct TStyleScheme {
  TRgb Background, Surface, Text, Border, Accent, AccentText, Selection, SelectionText;
  TRgb Bar, BarTop, BarText;  // BarTop: the upper end of a glossy bar
  TRgb Button, ButtonTop, ButtonHover, ButtonActive;
  TRgb Disabled;  // text of insensitive controls
  TRgb Link;
  TRgb TooltipBackground, TooltipText;
  TRgb Sidebar;
  TRgb Trough, Slider, SliderHover;
};

TStyleScheme DeriveScheme(const TStylePalette& palette);

// The stylesheet for everything but pop-up menus: window and dialog backgrounds, the menu bar,
// buttons, entries, lists, check boxes, tooltips, scroll bars and the file chooser's parts.
std::string StyleSheet(const TStyleDefinition& style);
// Pop-up menus (the drop-downs of the menu bar, context and tray menus) in the style; used only
// while menus are not excluded from styling.
std::string MenuStyleSheet(const TStyleDefinition& style);

}  // namespace velloc::platform::gtk
