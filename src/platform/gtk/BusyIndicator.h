// The installer form's busy indicator, drawn with cairo: momentum dots, a rotating sector or a
// sector ring, in black or white, at any moment of its cycle.
#pragma once

#include <cairo.h>

namespace velloc::platform::gtk {

enum class TBusyIndicatorType { MomentumDots = 0, RotatingSector = 1, SectorRing = 2 };

inline constexpr int kBusyIndicatorSize = 64;       // the extra-large indicator, in pixels
inline constexpr double kBusyIndicatorCycle = 1.2;  // seconds per turn

// Draws the indicator into the square (0, 0)–(size, size) of `cr` as it looks `seconds` after
// it started. An unknown type draws momentum dots.
void DrawBusyIndicator(cairo_t* cr, int type, bool white, double seconds,
                       int size = kBusyIndicatorSize);

}  // namespace velloc::platform::gtk
