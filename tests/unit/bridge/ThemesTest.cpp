// The style registry, the style routines and the themes functions, against a recording engine.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/BrowserExternalModule.h"
#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "bridge/StylesUtils.h"
#include "platform/fake/FakeStyleEngine.h"
#include "platform/fake/Fakes.h"

namespace velloc::bridge {
namespace {

using Names = std::vector<std::string>;

// The order in which pages see the names.
const Names kListedNames = {
    "Amakrits",
    "Amethyst Kamri",
    "Aqua Graphite",
    "Aqua Light Slate",
    "Auric",
    "Carbon",
    "Charcoal Dark Slate",
    "Cobalt XEMedia",
    "Cyan Dusk",
    "Cyan Night",
    "Emerald Light Slate",
    "Glossy",
    "Glow",
    "Golden Graphite",
    "Iceberg Classico",
    "Lavender Classico",
    "Light",
    "Luna",
    "Metropolis UI Black",
    "Metropolis UI Blue",
    "Metropolis UI Dark",
    "Metropolis UI Green",
    "Obsidian",
    "Onyx Blue",
    "Ruby Graphite",
    "Sapphire Kamri",
    "Silver",
    "Sky",
    "Slate Classico",
    "Smokey Quartz Kamri",
    "Tablet Dark",
    "Tablet Light",
    "Turquoise Gray",
    "Windows",
    "Windows10",
    "Windows10 Blue",
    "Windows10 Dark",
    "Windows10 Green",
    "Windows10 Purple",
    "Windows10 SlateGray",
};

class Styles : public ::testing::Test {
 protected:
  platform::fake::TFakeStyleEngine FEngine;
  platform::fake::TFakeDialogs FDialogs;
  TStyleManager FStyles{FEngine, FDialogs, BuiltinStyles()};
};

TEST_F(Styles, NamesAndTheirOrder) {
  Names sorted;
  TStylesUtils::GetAvailables(FStyles, sorted, true);
  EXPECT_EQ(sorted, kListedNames);

  // Unsorted: the system style first, then the built-in styles as registered.
  Names unsorted{"left over"};
  TStylesUtils::GetAvailables(FStyles, unsorted, false);
  Names expected{"Windows"};
  for (const auto& name : kListedNames) {
    if (name != "Windows") expected.push_back(name);
  }
  EXPECT_EQ(unsorted, expected);

  // Listing consults the registry only: nothing is loaded or drawn.
  EXPECT_TRUE(FEngine.Loaded.empty());
  EXPECT_TRUE(FEngine.Activated.empty());
  EXPECT_EQ(TStylesUtils::GetActiveTheme(FStyles), "Windows");
}

TEST_F(Styles, LookupIgnoresCaseAndReportsTheRegistryName) {
  const struct {
    const char* name;
    bool found;
    const char* active;  // afterwards, starting from "Windows"
  } cases[] = {
      {"Carbon", true, "Carbon"},
      {"carbon", true, "Carbon"},
      {"WINDOWS10 DARK", true, "Windows10 Dark"},
      {"metropolis ui green", true, "Metropolis UI Green"},
      {"windows", true, "Windows"},
      {"Windows10", true, "Windows10"},
      {"Windows 10", false, "Windows"},
      {" Carbon", false, "Windows"},
      {"Carbon ", false, "Windows"},
      {"Nope", false, "Windows"},
      {"", false, "Windows"},
  };
  for (const auto& c : cases) {
    platform::fake::TFakeStyleEngine engine;
    platform::fake::TFakeDialogs dialogs;
    TStyleManager styles(engine, dialogs, BuiltinStyles());
    EXPECT_EQ(TStylesUtils::TrySetStyle(styles, c.name, false), c.found) << c.name;
    EXPECT_EQ(TStylesUtils::GetActiveTheme(styles), c.active) << c.name;
    EXPECT_TRUE(dialogs.Calls.empty()) << c.name;
  }
}

TEST_F(Styles, UnknownNameTellsTheUserOnlyWhenAsked) {
  EXPECT_FALSE(FStyles.TrySetStyle("Nope", false));
  EXPECT_TRUE(FDialogs.Calls.empty());

  for (const std::string name : {"Nope", ""}) {
    FDialogs.Calls.clear();
    EXPECT_FALSE(FStyles.TrySetStyle(name, true));
    ASSERT_EQ(FDialogs.Calls.size(), 1u) << name;
    EXPECT_EQ(FDialogs.Calls[0].Message, "Style '" + name + "' not found");
    EXPECT_EQ(FDialogs.Calls[0].Kind, platform::TMsgDlgType::Error);
    EXPECT_EQ(FDialogs.Calls[0].Buttons, std::vector{platform::TMsgDlgBtn::OK});
  }
  EXPECT_EQ(FStyles.ActiveStyle(), "Windows");
  EXPECT_TRUE(FEngine.Activated.empty());
}

TEST_F(Styles, DefinitionsLoadOnFirstUseAndStay) {
  EXPECT_TRUE(FStyles.TrySetStyle("Carbon", false));
  EXPECT_TRUE(FStyles.TrySetStyle("luna", false));
  EXPECT_TRUE(FStyles.TrySetStyle("CARBON", false));
  EXPECT_TRUE(FStyles.TrySetStyle("Windows", false));
  EXPECT_TRUE(FStyles.TrySetStyle("Luna", false));
  EXPECT_EQ(FEngine.Loaded, (Names{"Carbon", "Luna"}));
  EXPECT_TRUE(FStyles.IsLoaded("Carbon"));
  EXPECT_FALSE(FStyles.IsLoaded("Sky"));
  // "" is the native look.
  EXPECT_EQ(FEngine.Activated, (Names{"Carbon", "Luna", "Carbon", "", "Luna"}));

  // The active style again, in any case: nothing is redrawn.
  EXPECT_TRUE(FStyles.TrySetStyle("LUNA", false));
  EXPECT_EQ(FEngine.Activated.size(), 5u);
}

TEST_F(Styles, RefusedDefinitionKeepsTheActiveStyle) {
  ASSERT_TRUE(FStyles.TrySetStyle("Sky", false));
  FEngine.RefuseLoads = true;
  EXPECT_FALSE(FStyles.TrySetStyle("Carbon", false));
  EXPECT_EQ(FStyles.ActiveStyle(), "Sky");
  EXPECT_FALSE(FStyles.IsLoaded("Carbon"));
  // A style loaded before stays usable.
  EXPECT_TRUE(FStyles.TrySetStyle("Windows", false));
  EXPECT_TRUE(FStyles.TrySetStyle("Sky", false));
  FEngine.RefuseLoads = false;
  EXPECT_TRUE(FStyles.TrySetStyle("Carbon", false));
  EXPECT_EQ(FEngine.Loaded, (Names{"Sky", "Carbon"}));
}

TEST_F(Styles, MenusExclusionReachesTheEngine) {
  FStyles.ExcludeMenusFromStyling();
  EXPECT_TRUE(FEngine.MenusExcluded);
}

// The functions as a page calls them.
class ThemeFunctions : public Styles {
 protected:
  ThemeFunctions() { FModule.SetStyles(&FStyles); }

  struct TReply {
    bool Success;
    std::string Result;
  };
  // The reply as the page receives it; no value when none came.
  std::optional<TReply> Call(int id, std::string_view data = "{}") {
    const std::string json = R"({"id": )" + std::to_string(id) + R"(, "uuid": "u-1", "data": )" +
                             std::string(data) + "}";
    std::vector<std::string> replies;
    FModule.BrowserWebMessageReceived(
        {json, "vlx:///index.html", [&](std::string_view reply) { replies.emplace_back(reply); }});
    EXPECT_LE(replies.size(), 1u);
    if (replies.empty()) return std::nullopt;
    rapidjson::Document doc;
    doc.Parse(replies[0].c_str());
    EXPECT_TRUE(doc.IsObject()) << replies[0];
    if (!doc.IsObject()) return std::nullopt;
    const std::string prefix = R"({"uuid": "u-1", "success": )";
    EXPECT_EQ(replies[0].rfind(prefix, 0), 0u) << replies[0];
    const std::size_t resultAt = replies[0].find(R"("result": )");
    return TReply{doc["success"].GetBool(),
                  replies[0].substr(resultAt + 10, replies[0].size() - resultAt - 11)};
  }

  TBrowserExternalModule FModule;
};

constexpr int kGetTheme = 80001, kGetThemes = 80002, kSetTheme = 80003;

TEST_F(ThemeFunctions, GetThemeAndGetThemes) {
  EXPECT_EQ(Call(kGetTheme)->Result, R"("Windows")");
  const std::optional<TReply> list = Call(kGetThemes);
  ASSERT_TRUE(list && list->Success);
  std::string expected = "[";
  for (const auto& name : kListedNames)
    expected += (expected.size() > 1 ? ",\"" : "\"") + name + "\"";
  EXPECT_EQ(list->Result, expected + "]");
}

TEST_F(ThemeFunctions, SetThemeAnswersWhetherTheExactNameIsActive) {
  const struct {
    const char* data;
    const char* answer;
    const char* active;  // afterwards; the steps run in order
  } steps[] = {
      {R"({"name": "Carbon"})", "true", "Carbon"},
      {R"({"name": "Carbon"})", "true", "Carbon"},
      {R"({"name": "light"})", "false", "Light"},
      {R"({"name": "Light"})", "true", "Light"},
      {R"({"name": "No Such Style"})", "false", "Light"},
      {R"({"name": ""})", "false", "Light"},
      {R"({})", "false", "Light"},
      {R"({"name": null})", "false", "Light"},
      {R"({"name": 10})", "false", "Light"},
      {R"({"name": "Windows10 Dark", "other": 1})", "true", "Windows10 Dark"},
      {R"({"name": "WINDOWS"})", "false", "Windows"},
      {R"({"name": "Windows"})", "true", "Windows"},
  };
  for (const auto& s : steps) {
    const std::optional<TReply> reply = Call(kSetTheme, s.data);
    ASSERT_TRUE(reply) << s.data;
    EXPECT_TRUE(reply->Success) << s.data;
    EXPECT_EQ(reply->Result, s.answer) << s.data;
    EXPECT_EQ(Call(kGetTheme)->Result, std::string("\"") + s.active + "\"") << s.data;
  }
  EXPECT_TRUE(FDialogs.Calls.empty());
}

TEST_F(ThemeFunctions, NameOfTheWrongKindEndsTheCallWithoutReply) {
  ASSERT_TRUE(FStyles.TrySetStyle("Sky", false));
  for (const char* data : {R"({"name": {"a": 1}})", R"({"name": ["Carbon"]})"}) {
    EXPECT_FALSE(Call(kSetTheme, data)) << data;
  }
  EXPECT_EQ(FStyles.ActiveStyle(), "Sky");
  EXPECT_EQ(FModule.FaultCount(TBridgeFault::HandlerError), 2u);
}

}  // namespace
}  // namespace velloc::bridge
