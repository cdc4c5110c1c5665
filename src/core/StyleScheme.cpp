#include "core/StyleScheme.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace velloc::platform {
namespace {

constexpr TRgb kWhite = 0xFFFFFF;
constexpr TRgb kInk = 0x111111;  // near-black, softer than pure black on coloured ground
constexpr double kBodyContrast = 4.5;

double Channel(TRgb colour, int shift) {
  return static_cast<double>((colour >> shift) & 0xFF) / 255.0;
}

// Of the candidates, the one that reads best on the ground.
TRgb BestOn(TRgb ground, std::initializer_list<TRgb> candidates) {
  TRgb best = *candidates.begin();
  for (TRgb c : candidates) {
    if (ContrastRatio(c, ground) > ContrastRatio(best, ground)) best = c;
  }
  return best;
}

// The preferred colour where it reads on every ground, else the best of white and near-black.
TRgb ReadableOn(TRgb preferred, std::initializer_list<TRgb> grounds) {
  const bool fits = std::all_of(grounds.begin(), grounds.end(), [&](TRgb g) {
    return ContrastRatio(preferred, g) >= kBodyContrast;
  });
  if (fits) return preferred;
  const TRgb ground = *grounds.begin();
  return BestOn(ground, {kWhite, kInk, preferred});
}

// The accent as link text: moved towards the body text until it reads on both grounds.
TRgb LinkColour(TRgb accent, TRgb text, TRgb background, TRgb surface) {
  TRgb link = accent;
  for (int step = 1; step <= 10; ++step) {
    if (ContrastRatio(link, background) >= kBodyContrast &&
        ContrastRatio(link, surface) >= kBodyContrast)
      break;
    link = Mix(accent, text, step / 10.0);
  }
  return link;
}

// The ground tinted towards a colour by up to t, less where the text would no longer read.
TRgb TintReadable(TRgb ground, TRgb tint, double t, TRgb text) {
  for (; t > 0.0; t -= 0.02) {
    const TRgb tinted = Mix(ground, tint, t);
    if (ContrastRatio(text, tinted) >= kBodyContrast) return tinted;
  }
  return ground;
}

}  // namespace

double RelativeLuminance(TRgb colour) {
  auto linear = [](double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(Channel(colour, 16)) + 0.7152 * linear(Channel(colour, 8)) +
         0.0722 * linear(Channel(colour, 0));
}

double ContrastRatio(TRgb a, TRgb b) {
  const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TRgb Mix(TRgb from, TRgb to, double t) {
  t = std::clamp(t, 0.0, 1.0);
  TRgb out = 0;
  for (int shift : {16, 8, 0}) {
    const double a = static_cast<double>((from >> shift) & 0xFF);
    const double b = static_cast<double>((to >> shift) & 0xFF);
    out |= static_cast<TRgb>(std::lround(a + (b - a) * t)) << shift;
  }
  return out;
}

TStyleScheme DeriveScheme(const TStylePalette& p) {
  TStyleScheme s{};
  s.Background = p.Background;
  s.Surface = p.Surface;
  s.Text = p.Text;
  s.Border = p.Border;
  s.Accent = p.Accent;
  s.AccentText = BestOn(p.Accent, {kWhite, kInk});
  s.Selection = p.Selection;
  s.SelectionText = ReadableOn(p.Text, {p.Selection});
  s.Bar = p.Bar;
  // A glossy bar is lit from above: lighter at the top, on light and dark styles alike.
  s.BarTop = p.Gloss ? Mix(p.Bar, kWhite, p.Dark ? 0.14 : 0.5) : p.Bar;
  s.BarText = ReadableOn(p.Text, {p.Bar, s.BarTop});
  // Buttons stand out a little from the window: lighter than it on either kind of style.
  s.Button = p.Dark ? Mix(p.Surface, p.Text, 0.06) : Mix(p.Background, kWhite, 0.55);
  s.ButtonTop = p.Gloss ? Mix(s.Button, kWhite, p.Dark ? 0.12 : 0.6) : s.Button;
  s.ButtonHover = TintReadable(s.Button, p.Dark ? p.Text : p.Accent, 0.1, p.Text);
  s.ButtonActive = TintReadable(s.Button, p.Accent, p.Dark ? 0.3 : 0.22, p.Text);
  s.Disabled = Mix(p.Text, p.Background, 0.5);
  s.Link = LinkColour(p.Accent, p.Text, p.Background, p.Surface);
  // Tooltips invert the window's colours, so they stand apart from what they explain.
  s.TooltipBackground = p.Dark ? Mix(p.Surface, p.Text, 0.85) : Mix(p.Text, p.Background, 0.08);
  s.TooltipText = p.Background;
  s.Sidebar = Mix(p.Background, p.Surface, 0.4);
  s.Trough = Mix(p.Background, p.Surface, 0.5);
  s.Slider = Mix(s.Trough, p.Text, 0.35);
  s.SliderHover = Mix(s.Trough, p.Text, 0.55);
  return s;
}

}  // namespace velloc::platform
