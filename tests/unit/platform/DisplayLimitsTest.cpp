// Text and sizes from pages and packages, kept within what X11, GTK and WebKit survive.
#include <algorithm>
#include <array>
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "platform/gtk/DisplayLimits.h"

namespace velloc::platform::gtk {
namespace {

TEST(DisplayLimits, TitlesAndMessagesAreCapped) {
  const std::string huge(17'000'000, 't');
  EXPECT_EQ(DisplayTitle(huge).size(), kMaxTitleBytes);
  EXPECT_EQ(DisplayTitle("Demo"), "Demo");
  EXPECT_EQ(DisplayMessage(huge).size(), kMaxMessageBytes);
  EXPECT_EQ(DisplayMessage("two\nlines"), "two\nlines");

  std::string manyLines;
  for (int i = 0; i < 10'000; ++i)
    manyLines += "line\n";
  const std::string shown = DisplayMessage(manyLines);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), kMaxMessageLines - 1) << shown;
  EXPECT_TRUE(shown.ends_with("line...")) << shown;
  // Exactly the allowed number of lines, with or without a last newline, stays whole.
  std::string fits;
  for (std::size_t i = 0; i < kMaxMessageLines; ++i)
    fits += "line\n";
  EXPECT_EQ(DisplayMessage(fits), fits);
  fits.pop_back();
  EXPECT_EQ(DisplayMessage(fits), fits);
  // Few long lines: cut by length.
  const std::string longLines = std::string(1500, 'a') + "\n" + std::string(1500, 'b');
  EXPECT_EQ(DisplayMessage(longLines).size(), kMaxMessageBytes);
}

TEST(DisplayLimits, WindowSizesAndPositions) {
  const struct {
    TRect in, out;
  } cases[] = {
      {{50, 60, 800, 600}, {50, 60, 800, 600}},
      {{0, 0, 32767, 32767}, {0, 0, kMaxWindowExtent, kMaxWindowExtent}},
      {{INT_MAX, INT_MIN, INT_MAX, INT_MAX},
       {kMaxWindowExtent, -kMaxWindowExtent, kMaxWindowExtent, kMaxWindowExtent}},
      {{INT_MIN, INT_MAX, INT_MIN, 0}, {-kMaxWindowExtent, kMaxWindowExtent, 1, 1}},
  };
  for (const auto& c : cases) {
    const TRect r = ClampBounds(c.in);
    EXPECT_EQ((std::array{r.Top, r.Left, r.Width, r.Height}),
              (std::array{c.out.Top, c.out.Left, c.out.Width, c.out.Height}))
        << c.in.Width << "x" << c.in.Height;
  }
  const TSizeConstraints limits = ClampConstraints({INT_MAX, 0, INT_MIN, 40000});
  EXPECT_EQ((std::array{limits.MaxWidth, limits.MaxHeight, limits.MinWidth, limits.MinHeight}),
            (std::array{kMaxWindowExtent, 0, 0, kMaxWindowExtent}));
}

}  // namespace
}  // namespace velloc::platform::gtk
