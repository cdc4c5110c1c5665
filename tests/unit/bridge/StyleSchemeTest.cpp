// The colours of every built-in style, as each toolkit draws them: the pairs of text and ground
// read well enough (WCAG 2 contrast), computed from the palettes.
#include <gtest/gtest.h>

#include "bridge/BuiltinStyles.h"
#include "core/StyleScheme.h"

namespace velloc::platform {
namespace {

TEST(StyleScheme, ColourArithmetic) {
  EXPECT_NEAR(ContrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(0x777777, 0x777777), 1.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(0x767676, 0xFFFFFF), 4.54, 0.01);  // the classic AA grey
  EXPECT_EQ(Mix(0x000000, 0xFFFFFF, 0.5), 0x808080u);
  EXPECT_EQ(Mix(0x102030, 0x405060, 0.0), 0x102030u);
  EXPECT_EQ(Mix(0x102030, 0x405060, 1.0), 0x405060u);
}

TEST(StyleScheme, TextReadsOnItsGround) {
  for (const TStyleDefinition& style : bridge::BuiltinStyles()) {
    const TStyleScheme s = DeriveScheme(style.Palette);
    const struct {
      const char* what;
      TRgb text, ground;
    } pairs[] = {
        {"text on window", s.Text, s.Background},
        {"text on entry", s.Text, s.Surface},
        {"text on button", s.Text, s.Button},
        {"text on glossy button top", s.Text, s.ButtonTop},
        {"text on hovered button", s.Text, s.ButtonHover},
        {"text on pressed button", s.Text, s.ButtonActive},
        {"text on sidebar", s.Text, s.Sidebar},
        {"default button", s.AccentText, s.Accent},
        {"selected text", s.SelectionText, s.Selection},
        {"menu bar", s.BarText, s.Bar},
        {"glossy menu bar top", s.BarText, s.BarTop},
        {"tooltip", s.TooltipText, s.TooltipBackground},
        {"link on window", s.Link, s.Background},
        {"link on entry", s.Link, s.Surface},
    };
    for (const auto& p : pairs) {
      EXPECT_GE(ContrastRatio(p.text, p.ground), 4.5)
          << style.Name << ": " << p.what << " " << std::hex << p.text << " on " << p.ground;
    }
    // A dark style is dark and a light one light, as its name promises.
    EXPECT_EQ(RelativeLuminance(s.Background) < 0.2, style.Palette.Dark) << style.Name;
    // Disabled text is exempt from the body-text ratio but must still be seen.
    EXPECT_GE(ContrastRatio(s.Disabled, s.Background), 2.0) << style.Name;
  }
}

}  // namespace
}  // namespace velloc::platform
