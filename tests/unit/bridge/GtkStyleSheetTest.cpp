// The generated stylesheets of all built-in styles: GTK parses each without an error, and every
// colour they name is defined.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "bridge/BuiltinStyles.h"
#include "platform/gtk/GtkStyleEngine.h"
#include "platform/gtk/GtkStyleSheet.h"

namespace velloc::platform::gtk {
namespace {

TEST(GtkStyleSheet, ColourText) {
  EXPECT_EQ(CssColour(0x0a0B0c), "#0a0b0c");
}

TEST(GtkStyleSheet, EveryStyleParses) {
  const auto styles = bridge::BuiltinStyles();
  ASSERT_EQ(styles.size(), 39u);
  for (const TStyleDefinition& style : styles) {
    const std::string name(style.Name);
    EXPECT_TRUE(TGtkStyleEngine::ParseStyleSheet(name, StyleSheet(style))) << name;
    EXPECT_TRUE(TGtkStyleEngine::ParseStyleSheet(name, MenuStyleSheet(style))) << name;
  }
  // The check itself catches what GTK refuses.
  EXPECT_FALSE(TGtkStyleEngine::ParseStyleSheet("broken", "button { colour: red; }"));
  EXPECT_FALSE(TGtkStyleEngine::ParseStyleSheet("broken", "button { color: #12; }"));
}

// GTK looks a named colour up only when it draws, so a misspelt name would pass the parser.
TEST(GtkStyleSheet, EveryNamedColourIsDefined) {
  const TStyleDefinition& style = bridge::BuiltinStyles()[0];
  for (const std::string& css : {StyleSheet(style), MenuStyleSheet(style)}) {
    const std::regex reference("@(vlx_[a-z_]+)");
    for (auto it = std::sregex_iterator(css.begin(), css.end(), reference);
         it != std::sregex_iterator(); ++it) {
      const std::string definition = "@define-color " + (*it)[1].str() + " ";
      EXPECT_NE(css.find(definition), std::string::npos) << (*it)[1].str();
    }
  }
}

}  // namespace
}  // namespace velloc::platform::gtk
