// The colours a built-in style is drawn with: its palette and the colours derived from it, the
// same on every toolkit, so a style looks alike on GTK and on Win32. Pure arithmetic.
#pragma once

#include "platform/Styles.h"

namespace velloc::platform {

// WCAG 2 relative luminance (0 black .. 1 white) and contrast ratio (1 .. 21).
double RelativeLuminance(TRgb colour);
double ContrastRatio(TRgb a, TRgb b);
// `to` mixed into `from` by the fraction t (0: from, 1: to).
TRgb Mix(TRgb from, TRgb to, double t);

// Every colour a backend draws with: the palette's own and those derived from it. The foreground
// colours are chosen to read on their ground (see the scheme test for the pairs).
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

}  // namespace velloc::platform
