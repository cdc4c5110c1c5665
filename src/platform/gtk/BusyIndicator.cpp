#include "platform/gtk/BusyIndicator.h"

#include <cmath>
#include <numbers>

namespace velloc::platform::gtk {
namespace {

constexpr double kTurn = 2 * std::numbers::pi;

// Slow at the ends of a turn, fast through the middle: the dots' momentum.
double EaseInOut(double t) {
  return t < 0.5 ? 4 * t * t * t : 1 - std::pow(-2 * t + 2, 3) / 2;
}

double Fraction(double x) {
  return x - std::floor(x);
}

void DrawDots(cairo_t* cr, double seconds, double c, double radius, double r, double g, double b) {
  constexpr int kDots = 5;
  constexpr double kLag = 0.07;  // of a turn between neighbouring dots
  const double dot = radius * 0.16;
  const double orbit = radius - dot;
  for (int i = 0; i < kDots; ++i) {
    // Each turn the dots gather, sweep round one after another and gather again.
    const double t =
        Fraction(seconds / (kBusyIndicatorCycle * 1.5)) * (1 + kDots * kLag) - i * kLag;
    const double phase = t <= 0 ? 0 : t >= 1 ? 1 : EaseInOut(t);
    const double angle = -std::numbers::pi / 2 + phase * kTurn;
    cairo_set_source_rgba(cr, r, g, b, 1.0 - i * 0.12);
    cairo_arc(cr, c + orbit * std::cos(angle), c + orbit * std::sin(angle), dot, 0, kTurn);
    cairo_fill(cr);
  }
}

void DrawSector(cairo_t* cr, double seconds, double c, double radius, double r, double g, double b,
                bool ring) {
  const double start = Fraction(seconds / kBusyIndicatorCycle) * kTurn - std::numbers::pi / 2;
  const double sweep = kTurn / 4;
  const double width = radius * 0.22;
  // The faint track of the whole turn, then the sector in full colour.
  cairo_set_source_rgba(cr, r, g, b, 0.25);
  if (ring) {
    cairo_set_line_width(cr, width);
    cairo_arc(cr, c, c, radius - width / 2, 0, kTurn);
    cairo_stroke(cr);
  } else {
    cairo_arc(cr, c, c, radius, 0, kTurn);
    cairo_fill(cr);
  }
  cairo_set_source_rgba(cr, r, g, b, 1.0);
  if (ring) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, c, c, radius - width / 2, start, start + sweep);
    cairo_stroke(cr);
  } else {
    cairo_move_to(cr, c, c);
    cairo_arc(cr, c, c, radius, start, start + sweep);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
}

}  // namespace

void DrawBusyIndicator(cairo_t* cr, int type, bool white, double seconds, int size) {
  const double v = white ? 1.0 : 0.0;
  const double c = size / 2.0;
  const double radius = size / 2.0 - 4;
  cairo_save(cr);
  switch (static_cast<TBusyIndicatorType>(type)) {
    case TBusyIndicatorType::RotatingSector:
      DrawSector(cr, seconds, c, radius, v, v, v, false);
      break;
    case TBusyIndicatorType::SectorRing:
      DrawSector(cr, seconds, c, radius, v, v, v, true);
      break;
    case TBusyIndicatorType::MomentumDots:
    default:
      DrawDots(cr, seconds, c, radius, v, v, v);
      break;
  }
  cairo_restore(cr);
}

}  // namespace velloc::platform::gtk
