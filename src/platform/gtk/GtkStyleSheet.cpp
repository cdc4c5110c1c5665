#include "platform/gtk/GtkStyleSheet.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace velloc::platform::gtk {
namespace {

// GTK CSS resolves @name against colours defined in any provider of the cascade, so the names
// carry a prefix of their own.
void Define(std::string& css, std::string_view name, TRgb colour) {
  css += "@define-color vlx_";
  css += name;
  css += ' ';
  css += CssColour(colour);
  css += ";\n";
}

std::string ColourDefinitions(const TStyleScheme& s) {
  std::string css;
  const std::pair<std::string_view, TRgb> colours[] = {
      {"bg", s.Background},
      {"surface", s.Surface},
      {"text", s.Text},
      {"border", s.Border},
      {"accent", s.Accent},
      {"accent_text", s.AccentText},
      {"selection", s.Selection},
      {"selection_text", s.SelectionText},
      {"bar", s.Bar},
      {"bar_top", s.BarTop},
      {"bar_text", s.BarText},
      {"button", s.Button},
      {"button_top", s.ButtonTop},
      {"button_hover", s.ButtonHover},
      {"button_active", s.ButtonActive},
      {"disabled", s.Disabled},
      {"link", s.Link},
      {"tooltip_bg", s.TooltipBackground},
      {"tooltip_text", s.TooltipText},
      {"sidebar", s.Sidebar},
      {"trough", s.Trough},
      {"slider", s.Slider},
      {"slider_hover", s.SliderHover},
  };
  for (const auto& [name, colour] : colours)
    Define(css, name, colour);
  return css;
}

// The rules shared by every style; only the colours, the corner radius and the gloss differ.
// Rules at user priority win over the theme's whatever their specificity, so plain selectors do.
// The theme's gradients, inner shadows and text shadows are switched off where a colour is set.
// Pop-up menus keep the theme's look: their window is a ".popup", their items sit below "menu",
// and no rule here reaches a node inside one (inherited text colours are handed back to it).
constexpr std::string_view kRules = R"css(
window.background:not(.popup), dialog.background, messagedialog.background,
.background:not(.popup), filechooser, assistant {
  background-color: @vlx_bg;
  color: @vlx_text;
}
label { color: inherit; }
label:disabled, label:disabled:backdrop { color: @vlx_disabled; }
menu label:disabled, menu label:disabled:backdrop { color: inherit; }
*:link, *:link:hover, button.link:link > label { color: @vlx_link; }
*:visited, button.link:visited > label { color: mix(@vlx_link, @vlx_text, 0.3); }
*:not(menu) > separator { background-color: @vlx_border; }

menubar {
  background-color: @vlx_bar;
  background-image: none;
  color: @vlx_bar_text;
  box-shadow: inset 0 -1px @vlx_border;
  padding: 0;
}
menubar > menuitem {
  color: @vlx_bar_text;
  background-color: transparent;
  background-image: none;
  box-shadow: none;
  border: none;
  padding: 4px 10px;
}
menubar > menuitem:hover {
  background-color: @vlx_selection;
  color: @vlx_selection_text;
  box-shadow: none;
}
menubar > menuitem label { color: inherit; }
menubar > menuitem:disabled { color: mix(@vlx_bar_text, @vlx_bar, 0.5); }

headerbar, .titlebar:not(headerbar) {
  background-color: @vlx_bar;
  background-image: none;
  color: @vlx_bar_text;
  border-color: @vlx_border;
  box-shadow: none;
}
headerbar .title, headerbar .subtitle, headerbar label { color: @vlx_bar_text; }

button {
  background-color: @vlx_button;
  background-image: none;
  color: @vlx_text;
  border: 1px solid @vlx_border;
  box-shadow: none;
  text-shadow: none;
  -gtk-icon-shadow: none;
  outline-color: alpha(@vlx_accent, 0.7);
}
button:hover {
  background-color: @vlx_button_hover;
  background-image: none;
  color: @vlx_text;
  border-color: mix(@vlx_border, @vlx_accent, 0.5);
}
button:active, button:checked, button:checked:hover {
  background-color: @vlx_button_active;
  background-image: none;
  color: @vlx_text;
  border-color: @vlx_accent;
  box-shadow: none;
}
button:focus { border-color: @vlx_accent; }
button:disabled, button:disabled:backdrop {
  background-color: @vlx_bg;
  background-image: none;
  color: @vlx_disabled;
  border-color: mix(@vlx_border, @vlx_bg, 0.5);
}
button label, button image { color: inherit; }
button.suggested-action, button.default {
  background-color: @vlx_accent;
  background-image: none;
  color: @vlx_accent_text;
  border-color: shade(@vlx_accent, 0.85);
}
button.suggested-action:hover, button.default:hover {
  background-color: mix(@vlx_accent, @vlx_accent_text, 0.12);
  color: @vlx_accent_text;
}
button.suggested-action:disabled, button.default:disabled {
  background-color: @vlx_bg;
  background-image: none;
  color: @vlx_disabled;
  border-color: mix(@vlx_border, @vlx_bg, 0.5);
}
button.flat, button.flat:backdrop, button.image-button.flat, modelbutton.flat {
  background-color: transparent;
  background-image: none;
  border-color: transparent;
}
button.flat:hover, modelbutton.flat:hover {
  background-color: @vlx_button_hover;
  border-color: @vlx_border;
}

entry, spinbutton:not(.vertical), spinbutton.vertical > entry {
  background-color: @vlx_surface;
  background-image: none;
  color: @vlx_text;
  border: 1px solid @vlx_border;
  box-shadow: none;
  caret-color: @vlx_text;
}
entry:focus, spinbutton:focus:not(.vertical) {
  border-color: @vlx_accent;
  box-shadow: inset 0 0 0 1px @vlx_accent;
}
entry:disabled, spinbutton:disabled {
  background-color: @vlx_bg;
  color: @vlx_disabled;
}
entry image { color: mix(@vlx_text, @vlx_surface, 0.3); }
entry placeholder, entry .placeholder { color: mix(@vlx_text, @vlx_surface, 0.4); }
spinbutton button { border-width: 0 0 0 1px; }

.view, view, textview text, iconview, treeview.view, list, listbox, row,
placessidebar list, filechooser .view {
  background-color: @vlx_surface;
  color: @vlx_text;
}
.sidebar, placessidebar, placessidebar list, placessidebar row, stacksidebar list {
  background-color: @vlx_sidebar;
  color: @vlx_text;
}
row:hover { background-color: mix(@vlx_surface, @vlx_selection, 0.4); }
.sidebar row:hover, placessidebar row:hover { background-color: mix(@vlx_sidebar, @vlx_selection, 0.4); }
selection, *:selected, *:selected:focus, row:selected, row:selected:hover,
.view:selected, treeview.view:selected, iconview:selected, placessidebar row:selected,
entry selection, textview text selection, label selection, calendar:selected {
  background-color: @vlx_selection;
  color: @vlx_selection_text;
}
row:selected label, row:selected image { color: @vlx_selection_text; }
treeview.view header button {
  background-color: @vlx_bg;
  background-image: none;
  color: @vlx_text;
  border-color: @vlx_border;
  border-style: none solid solid none;
  border-width: 0 1px 1px 0;
}
frame > border, .frame, scrolledwindow.frame, viewport.frame { border-color: @vlx_border; }
filechooser #pathbarbox, filechooser actionbar, actionbar, searchbar > revealer > box {
  background-color: @vlx_bg;
  border-color: @vlx_border;
  color: @vlx_text;
}
pathbar > button:checked { background-color: @vlx_button_active; }
infobar, infobar > revealer > box { background-color: @vlx_bar; color: @vlx_bar_text; }

checkbutton > check, radiobutton > radio, treeview.view check, treeview.view radio {
  background-color: @vlx_surface;
  background-image: none;
  border: 1px solid @vlx_border;
  color: @vlx_accent_text;
  box-shadow: none;
  -gtk-icon-shadow: none;
}
checkbutton > check:hover, radiobutton > radio:hover { border-color: @vlx_accent; }
checkbutton > check:checked, checkbutton > check:indeterminate, radiobutton > radio:checked,
radiobutton > radio:indeterminate, treeview.view check:checked, treeview.view radio:checked {
  background-color: @vlx_accent;
  background-image: none;
  border-color: shade(@vlx_accent, 0.85);
  color: @vlx_accent_text;
}
checkbutton > check:disabled, radiobutton > radio:disabled {
  background-color: @vlx_bg;
  color: @vlx_disabled;
}
checkbutton label, radiobutton label { color: inherit; }

switch {
  background-color: @vlx_trough;
  background-image: none;
  border-color: @vlx_border;
  color: @vlx_text;
}
switch:checked { background-color: @vlx_accent; color: @vlx_accent_text; }
switch slider {
  background-color: @vlx_button;
  background-image: none;
  border-color: @vlx_border;
  box-shadow: none;
}

progressbar trough, scale trough, levelbar trough, levelbar block.empty {
  background-color: @vlx_trough;
  background-image: none;
  border-color: @vlx_border;
}
progressbar progress, scale highlight, levelbar block.filled {
  background-color: @vlx_accent;
  background-image: none;
  border-color: @vlx_accent;
}
scale slider {
  background-color: @vlx_button;
  background-image: none;
  border-color: @vlx_border;
  box-shadow: none;
}

scrollbar, scrollbar trough {
  background-color: @vlx_trough;
  background-image: none;
  border-color: @vlx_border;
}
scrollbar slider {
  background-color: @vlx_slider;
  background-image: none;
  border-color: transparent;
  min-width: 8px;
  min-height: 8px;
}
scrollbar slider:hover { background-color: @vlx_slider_hover; }
scrollbar slider:active { background-color: @vlx_accent; }
scrollbar button { background-color: transparent; color: @vlx_slider_hover; border: none; }
scrolledwindow overshoot, scrolledwindow undershoot { background-image: none; }

notebook, notebook > stack:not(:only-child) { background-color: @vlx_surface; color: @vlx_text; }
notebook > header {
  background-color: @vlx_bg;
  border-color: @vlx_border;
}
notebook > header tab { color: mix(@vlx_text, @vlx_bg, 0.25); }
notebook > header tab:hover { color: @vlx_text; box-shadow: inset 0 -2px @vlx_border; }
notebook > header tab:checked { color: @vlx_text; box-shadow: inset 0 -3px @vlx_accent; }

combobox button, combobox arrow, spinbutton button { color: @vlx_text; }
popover, popover.background {
  background-color: @vlx_bg;
  color: @vlx_text;
  border-color: @vlx_border;
  box-shadow: none;
}

tooltip, tooltip.background, .tooltip {
  background-color: @vlx_tooltip_bg;
  color: @vlx_tooltip_text;
  border: 1px solid @vlx_border;
  box-shadow: none;
  text-shadow: none;
}
tooltip * { color: @vlx_tooltip_text; background-color: transparent; }
)css";

constexpr std::string_view kMenuRules = R"css(
menu, .menu, .context-menu {
  background-color: @vlx_surface;
  color: @vlx_text;
  border: 1px solid @vlx_border;
}
menu menuitem, .menu menuitem, .context-menu menuitem {
  color: @vlx_text;
  background-color: transparent;
  text-shadow: none;
}
menu menuitem:hover, .menu menuitem:hover, .context-menu menuitem:hover {
  background-color: @vlx_selection;
  color: @vlx_selection_text;
}
menu menuitem:disabled, .menu menuitem:disabled { color: @vlx_disabled; }
menu menuitem accelerator { color: mix(@vlx_text, @vlx_surface, 0.35); }
menu *:not(menu) > separator { background-color: @vlx_border; }
)css";

std::string Metrics(const TStylePalette& palette) {
  const std::string radius = std::to_string(palette.Rounding) + "px";
  const std::string small = std::to_string(std::min(palette.Rounding, 3)) + "px";
  std::string css = "\nbutton, entry, spinbutton:not(.vertical), tooltip, tooltip.background, ";
  css += "notebook > header tab, popover { border-radius: " + radius + "; }\n";
  css += "checkbutton > check, menubar > menuitem { border-radius: " + small + "; }\n";
  css += "scrollbar slider { border-radius: " + std::to_string(palette.Rounding == 0 ? 0 : 8) +
         "px; }\n";
  return css;
}

// Soft vertical gradients on bars and buttons; the text colours are checked against both ends.
constexpr std::string_view kGlossRules = R"css(
menubar, headerbar {
  background-image: linear-gradient(to bottom, @vlx_bar_top, @vlx_bar);
}
button:not(.flat):not(:disabled):not(:active):not(:checked):not(.suggested-action):not(.default) {
  background-image: linear-gradient(to bottom, @vlx_button_top, @vlx_button);
}
button:not(.flat):hover:not(:disabled):not(:active):not(:checked):not(.suggested-action):not(.default) {
  background-image: linear-gradient(to bottom, @vlx_button_top, @vlx_button_hover);
}
button.suggested-action, button.default {
  background-image: linear-gradient(to bottom, mix(@vlx_accent, white, 0.18), @vlx_accent);
}
)css";

}  // namespace

std::string CssColour(TRgb colour) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "#";
  for (int shift = 20; shift >= 0; shift -= 4)
    out += kHex[(colour >> shift) & 0xF];
  return out;
}

std::string StyleSheet(const TStyleDefinition& style) {
  const TStyleScheme scheme = DeriveScheme(style.Palette);
  std::string css = "/* ";
  css += style.Name;
  css += " */\n";
  css += ColourDefinitions(scheme);
  css += kRules;
  css += Metrics(style.Palette);
  if (style.Palette.Gloss) css += kGlossRules;
  return css;
}

std::string MenuStyleSheet(const TStyleDefinition& style) {
  std::string css = ColourDefinitions(DeriveScheme(style.Palette));
  css += kMenuRules;
  return css;
}

}  // namespace velloc::platform::gtk
