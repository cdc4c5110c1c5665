// The menu model: captions and access keys, separator hiding, depth-first search, image names,
// and the set-items and update-item rules on one menu.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/BrowserExternalForm.h"
#include "bridge/menus/Menu.h"
#include "bridge/menus/MenuCommands.h"
#include "platform/fake/FakeMenus.h"

namespace velloc::bridge::menus {
namespace {

using platform::TMenuEntry;
using platform::fake::ImageSource;
using platform::fake::TFakeMenuImage;

// A level as text: separators "-", captions with "_" before the access key, "!" when disabled,
// "<name>" for an image, "#id" when a click reports the ID, "{...}" for a submenu.
std::string Render(const std::vector<TMenuEntry>& level) {
  std::string out;
  for (const TMenuEntry& entry : level) {
    if (!out.empty()) out += ", ";
    if (entry.Separator) {
      out += "-";
      continue;
    }
    out += platform::MnemonicLabel(entry, '_');
    if (!entry.Enabled) out += "!";
    if (entry.Image) out += "<" + ImageSource(entry.Image) + ">";
    if (entry.Clickable) out += "#" + std::to_string(entry.Id);
    if (entry.Submenu) out += "{" + Render(entry.Children) + "}";
  }
  return out;
}

// Images by name; "bad" is found but does not decode.
class TImages {
 public:
  std::vector<std::string> Asked;
  TImageLoader Loader() {
    return [this](const std::string& name) -> platform::TMenuImagePtr {
      Asked.push_back(name);
      if (name == "bad") throw EMenuError("undecodable");
      if (name.starts_with("missing")) return nullptr;
      return std::make_shared<TFakeMenuImage>(name);
    };
  }
};

std::vector<std::string> ImageNames(const TMenu& menu) {
  std::vector<std::string> names;
  for (const auto& image : menu.Images())
    names.push_back(image.Name + "=" + ImageSource(image.Image));
  return names;
}

TEST(MenuCaption, AmpersandsAndAccessKeys) {
  const struct {
    std::string_view caption, text;
    int accessKey;
  } cases[] = {
      {"File", "File", -1}, {"&File", "File", 0}, {"Save &As", "Save As", 5},
      {"A&&B", "A&B", -1},  {"&&&x", "&x", 1},    {"trailing&", "trailing", -1},
      {"&a&b", "ab", 0},    {"", "", -1},         {"&", "", -1},
      {"&Ünï", "Ünï", 0},   {"x&_y", "x_y", 1},   {"&&", "&", -1},
  };
  for (const auto& c : cases) {
    const TCaptionText parsed = ParseCaption(c.caption);
    EXPECT_EQ(parsed.Text, c.text) << c.caption;
    EXPECT_EQ(parsed.AccessKey, c.accessKey) << c.caption;
  }
}

TEST(MenuCaption, MnemonicLabelEscapesTheMarker) {
  const struct {
    std::string_view text;
    int accessKey;
    std::string_view label;
  } cases[] = {
      {"File", 0, "_File"}, {"my_file", 3, "my___file"},
      {"a_b", -1, "a__b"},  {"x", -1, "x"},
      {"", -1, ""},         {"Ab", 1, "A_b"},
  };
  for (const auto& c : cases) {
    TMenuEntry entry;
    entry.Text = c.text;
    entry.AccessKey = c.accessKey;
    EXPECT_EQ(platform::MnemonicLabel(entry, '_'), c.label) << c.text;
  }
}

// Builds a menu from JSON and renders it.
std::string Built(std::string_view json) {
  TMenu menu("MainMenuImg");
  TImages images;
  const TMenuReply reply = SetMenuItems(menu, json, images.Loader());
  EXPECT_TRUE(reply.Success) << json << " -> " << reply.Failure;
  return Render(menu.Entries());
}

TEST(MenuEntries, AccessKeysAreGivenPerLevel) {
  const struct {
    std::string_view json, rendered;
  } cases[] = {
      // The first free letter or digit; explicit keys are reserved before automatic ones.
      {R"([{"id":1,"caption":"File"},{"id":2,"caption":"Format"},{"id":3,"caption":"&Open"}])",
       "_File#1, Fo_rmat#2, _Open#3"},
      {R"([{"id":1,"caption":"ab"},{"id":2,"caption":"AB"},{"id":3,"caption":"ba"}])",
       "_ab#1, A_B#2, ba#3"},
      {R"([{"id":1,"caption":"1 2"},{"id":2,"caption":"-- 1 --"},{"id":3,"caption":"..."}])",
       "_1 2#1, -- 1 --#2, ...#3"},
      {R"([{"id":1,"caption":"x&&y"},{"id":2,"caption":"été"}])", "_x&y#1, é_té#2"},
      // Each submenu is a level of its own.
      {R"([{"id":1,"caption":"Edit","items":[{"id":2,"caption":"Edit"},{"id":3,"caption":"Exit"}]}])",
       "_Edit{_Edit#2, E_xit#3}"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Built(c.json), c.rendered) << c.json;
}

TEST(MenuEntries, SeparatorsAtTheEdgesOrInARowAreHidden) {
  const struct {
    std::string_view json, rendered;
  } cases[] = {
      {R"([{"id":1,"caption":"-"},{"id":2,"caption":"A"},{"id":3,"caption":"-"}])", "_A#2"},
      {R"([{"id":1,"caption":"A"},{"id":2,"caption":"-"},{"id":3,"caption":"-"},
           {"id":4,"caption":"B"}])",
       "_A#1, -, _B#4"},
      {R"([{"id":1,"caption":"-"},{"id":2,"caption":"-"}])", ""},
      {R"([{"id":1,"caption":"M","items":[{"id":2,"caption":"-"},{"id":3,"caption":"x"},
           {"id":4,"caption":"-"},{"id":5,"caption":"y"},{"id":6,"caption":"-"}]}])",
       "_M{_x#3, -, _y#5}"},
      // Only exactly "-" is a separator.
      {R"([{"id":1,"caption":"--"},{"id":2,"caption":" -"}])", "--#1,  -#2"},
      // A separator with children stays a separator.
      {R"([{"id":1,"caption":"A"},{"id":2,"caption":"-","items":[{"id":3,"caption":"B"}]},
           {"id":4,"caption":"C"}])",
       "_A#1, -, _C#4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Built(c.json), c.rendered) << c.json;
}

TEST(MenuEntries, ItemMembers) {
  const struct {
    std::string_view json, rendered;
  } cases[] = {
      // IDs: numbers as written, integer texts, and 0 for anything else.
      {R"([{"id":"007","caption":"a"},{"id":"$1F","caption":"b"},{"id":"0x10","caption":"c"},
           {"id":" -5","caption":"d"},{"id":"abc","caption":"e"},{"id":1.5,"caption":"f"},
           {"id":4294967296,"caption":"g"},{"id":true,"caption":"h"},{"id":null,"caption":"i"},
           {"id":"$FFFFFFFF","caption":"j"}])",
       "_a#7, _b#31, _c#16, _d#-5, _e#0, _f#0, _g#0, _h#0, _i#0, _j#-1"},
      // enabled: booleans, numbers and texts.
      {R"([{"id":1,"caption":"a","enabled":false},{"id":2,"caption":"b","enabled":"0"},
           {"id":3,"caption":"c","enabled":"TRUE"},{"id":4,"caption":"d","enabled":2},
           {"id":5,"caption":"e","enabled":"false"},{"id":6,"caption":"f","enabled":[]}])",
       "_a!#1, _b!#2, _c#3, _d#4, _e!#5, _f#6"},
      // Caption as a number or boolean text; null is the text "null".
      {R"([{"id":1,"caption":12},{"id":2,"caption":true},{"id":3,"caption":null}])",
       "_12#1, _true#2, _null#3"},
      // An empty items array opens an (empty) submenu and takes no click.
      {R"([{"id":1,"caption":"a","items":[]}])", "_a{}"},
      // The first of two equal members counts.
      {R"([{"id":1,"id":2,"caption":"a","caption":"b"}])", "_a#1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Built(c.json), c.rendered) << c.json;
}

TEST(MenuSetItems, Failures) {
  const struct {
    std::string_view json, failure;
  } cases[] = {
      {"not json", "Wrong menu items JSON"},
      {R"({"id":1,"caption":"a"})", "Wrong menu items JSON"},
      {"\"[]\"", "Wrong menu items JSON"},
      {"[] []", "Wrong menu items JSON"},
      {"[\"\xff\"]", "Wrong menu items JSON"},
      {R"([{"id":1}])", "Wrong menu item JSON"},
      {R"([{"caption":"a"}])", "Wrong menu item JSON"},
      {R"([{"id":1,"caption":{}}])", "Wrong menu item JSON"},
      {R"([{"id":[1],"caption":"a"}])", "Wrong menu item JSON"},
      {R"([{"id":1,"caption":"a","items":{}}])", "Wrong menu item JSON"},
      {R"([{"id":1,"caption":"a","items":"[]"}])", "Wrong menu item JSON"},
      {R"([{"id":1,"caption":"a"},{"id":2,"caption":"b","items":[{"id":3}]}])",
       "Wrong menu item JSON"},
  };
  for (const auto& c : cases) {
    TMenu menu("MainMenuImg");
    TImages images;
    // A menu that had items loses them.
    ASSERT_TRUE(
        SetMenuItems(menu, R"([{"id":9,"caption":"old","image":"i"}])", images.Loader()).Success);
    if (c.failure == "Wrong menu item JSON") {
      ASSERT_TRUE(SetMenuItems(menu, "[]", {}).Success);
    }
    const TMenuReply reply = SetMenuItems(menu, c.json, images.Loader());
    EXPECT_FALSE(reply.Success) << c.json;
    EXPECT_EQ(reply.Failure, c.failure) << c.json;
    EXPECT_TRUE(menu.Items().empty()) << c.json;
  }
}

TEST(MenuSetItems, WrongItemsJsonKeepsTheImages) {
  TMenu menu("TrayMenuImg");
  TImages images;
  ASSERT_TRUE(
      SetMenuItems(menu, R"([{"id":1,"caption":"a","image":"p"}])", images.Loader()).Success);
  EXPECT_FALSE(SetMenuItems(menu, "{}", images.Loader()).Success);
  EXPECT_TRUE(menu.Items().empty());
  EXPECT_EQ(ImageNames(menu), std::vector<std::string>{"TrayMenuImg0=p"});
}

TEST(MenuSetItems, ReplacingTakesTwoCalls) {
  TMenu menu("MainMenuImg");
  TImages images;
  const auto set = [&](std::string_view json) {
    const TMenuReply reply = SetMenuItems(menu, json, images.Loader());
    EXPECT_TRUE(reply.Success) << json;
    return Render(menu.Entries());
  };
  EXPECT_EQ(set(R"([{"id":1,"caption":"Old","image":"a"}])"), "_Old<a>#1");
  // Items on items: answered true, nothing changes, no image is loaded.
  EXPECT_EQ(set(R"([{"id":2,"caption":"New","image":"b"}])"), "_Old<a>#1");
  EXPECT_EQ(images.Asked, std::vector<std::string>{"a"});
  EXPECT_EQ(ImageNames(menu), std::vector<std::string>{"MainMenuImg0=a"});
  // An empty list clears items and images; then the new list is built, images from 0 again.
  EXPECT_EQ(set("[]"), "");
  EXPECT_TRUE(menu.Images().empty());
  EXPECT_EQ(set(R"([{"id":2,"caption":"New","image":"b"},{"id":3,"caption":"X","image":"c"}])"),
            "_New<b>#2, _X<c>#3");
  EXPECT_EQ(ImageNames(menu), (std::vector<std::string>{"MainMenuImg0=b", "MainMenuImg1=c"}));
  // An empty list on an empty menu is fine too.
  EXPECT_EQ(set("[]"), "");
  EXPECT_EQ(set("[]"), "");
}

TEST(MenuSetItems, HandlerFailuresKeepWhatWasBuilt) {
  const struct {
    std::string_view json, rendered;
  } cases[] = {
      // An element that is not an object.
      {R"([{"id":1,"caption":"a"},2,{"id":3,"caption":"c"}])", "_a#1, "},
      {R"([{"id":1,"caption":"a","items":[{"id":2,"caption":"b"},"x"]}])", "_a{_b#2, }"},
      // A text that is no boolean: the item is in the menu with what it had so far.
      {R"([{"id":1,"caption":"a"},{"id":2,"caption":"b","enabled":"maybe"}])", "_a#1, _b"},
      {R"([{"id":1,"caption":"a","enabled":null}])", "_a"},
      // Undecodable image data.
      {R"([{"id":1,"caption":"a","image":"bad"}])", "_a"},
  };
  for (const auto& c : cases) {
    TMenu menu("MainMenuImg");
    TImages images;
    EXPECT_THROW(SetMenuItems(menu, c.json, images.Loader()), EMenuError) << c.json;
    EXPECT_EQ(Render(menu.Entries()), c.rendered) << c.json;
  }
}

TEST(MenuSetItems, MissingImagesAreNoError) {
  TMenu menu("MainMenuImg");
  TImages images;
  ASSERT_TRUE(SetMenuItems(menu,
                           R"([{"id":1,"caption":"a","image":"missing.png"},
                               {"id":2,"caption":"b","image":"p","enabled":false},
                               {"id":3,"caption":"c","image":{}}])",
                           images.Loader())
                  .Success);
  EXPECT_EQ(Render(menu.Entries()), "_a#1, _b!<p>#2, _c#3");
  EXPECT_EQ(ImageNames(menu), std::vector<std::string>{"MainMenuImg0=p"});
}

// Deep nesting and huge lists from a page are refused without exhausting the stack.
TEST(MenuSetItems, DepthAndSizeAreBounded) {
  const auto nested = [](int depth) {
    std::string json;
    for (int i = 0; i < depth; ++i)
      json += R"([{"id":1,"caption":"a","items":)";
    json += "[]";
    for (int i = 0; i < depth; ++i)
      json += "}]";
    return json;
  };
  const auto many = [](std::size_t count) {
    std::string json = "[";
    for (std::size_t i = 0; i < count; ++i)
      json += std::string(i ? "," : "") + R"({"id":1,"caption":"a"})";
    return json + "]";
  };
  const struct {
    std::string json;
    bool success;
  } cases[] = {
      {nested(kMaxMenuDepth), true}, {nested(kMaxMenuDepth + 1), false}, {nested(100000), false},
      {many(kMaxMenuItems), true},   {many(kMaxMenuItems + 1), false},
  };
  for (const auto& c : cases) {
    TMenu menu("MainMenuImg");
    const TMenuReply reply = SetMenuItems(menu, c.json, {});
    EXPECT_EQ(reply.Success, c.success) << c.json.size();
    if (!c.success) {
      EXPECT_EQ(reply.Failure, "Wrong menu item JSON");
      EXPECT_TRUE(menu.Items().empty());
    }
  }
}

TEST(MenuUpdateItem, Rules) {
  const std::string_view tree =
      R"([{"id":1,"caption":"File","items":[{"id":5,"caption":"Open"},{"id":2,"caption":"-"}]},
          {"id":5,"caption":"Five"},{"id":2,"caption":"Two"}])";
  const struct {
    TMenuItemUpdate update;
    std::string_view failure, rendered;
  } cases[] = {
      {{"", "x", "", ""}, "Missing item ID", ""},
      {{"-1", "x", "", ""}, "Wrong item ID", ""},
      {{"$FFFFFFFF", "x", "", ""}, "Wrong item ID", ""},
      {{"one", "x", "", ""}, "Wrong item ID", ""},
      {{"1.0", "x", "", ""}, "Wrong item ID", ""},
      // Depth first: the child 5 comes before the top-level 5.
      {{"5", "Changed", "", ""}, "", "_File{_Changed#5}, F_ive#5, _Two#2"},
      // A separator is found like any item; a caption turns it into an item.
      {{"2", "Sep", "", ""}, "", "_File{_Open#5, _Sep#2}, F_ive#5, _Two#2"},
      {{" $1", "", "false", ""}, "", "_File!{_Open#5}, F_ive#5, _Two#2"},
      // An empty caption changes nothing; an unknown ID is no error.
      {{"5", "", "", ""}, "", "_File{_Open#5}, F_ive#5, _Two#2"},
      {{"77", "x", "false", "p"}, "", "_File{_Open#5}, F_ive#5, _Two#2"},
      {{"0x5", "", "", "p"}, "", "_File{_Open<p>#5}, F_ive#5, _Two#2"},
  };
  for (const auto& c : cases) {
    TMenu menu("MainMenuImg");
    TImages images;
    ASSERT_TRUE(SetMenuItems(menu, tree, images.Loader()).Success);
    const TMenuReply reply = UpdateMenuItem(menu, c.update, images.Loader());
    EXPECT_EQ(reply.Success, c.failure.empty()) << c.update.Id;
    EXPECT_EQ(reply.Failure, c.failure) << c.update.Id;
    if (c.failure.empty()) {
      EXPECT_EQ(Render(menu.Entries()), c.rendered) << c.update.Id;
    }
  }
}

TEST(MenuUpdateItem, OnAnEmptyMenu) {
  TMenu menu("MainMenuImg");
  TImages images;
  EXPECT_EQ(UpdateMenuItem(menu, {"1", "x", "", ""}, images.Loader()).Failure, "No menu items");
  EXPECT_EQ(UpdateMenuItem(menu, {"", "x", "", ""}, images.Loader()).Failure, "Missing item ID");
}

TEST(MenuUpdateItem, RepeatedUpdatesLetThePreviousPictureGo) {
  TMenu menu("MainMenuImg");
  TImages images;
  ASSERT_TRUE(SetMenuItems(menu, R"([{"id":1,"caption":"a","image":"p"},{"id":2,"caption":"b"}])",
                           images.Loader())
                  .Success);
  // Repeated updates of one item: each picture goes when the next one replaces it.
  for (const char* image : {"q", "r", "s"})
    ASSERT_TRUE(UpdateMenuItem(menu, {"1", "", "", image}, images.Loader()).Success);
  EXPECT_EQ(ImageNames(menu), (std::vector<std::string>{"MainMenuImg0=", "MainMenuImg1=",
                                                        "MainMenuImg2=", "MainMenuImg3=s"}));
  EXPECT_EQ(Render(menu.Entries()), "_a<s>#1, _b#2");
}

TEST(MenuUpdateItem, ImagesAccumulateUntilTheNextRebuild) {
  TMenu menu("TrayMenuImg");
  TImages images;
  ASSERT_TRUE(SetMenuItems(menu, R"([{"id":1,"caption":"a","image":"p"},{"id":2,"caption":"b"}])",
                           images.Loader())
                  .Success);
  ASSERT_TRUE(UpdateMenuItem(menu, {"2", "", "", "q"}, images.Loader()).Success);
  ASSERT_TRUE(UpdateMenuItem(menu, {"1", "", "", "r"}, images.Loader()).Success);
  // A missing image leaves the item's image as it was.
  ASSERT_TRUE(UpdateMenuItem(menu, {"1", "", "", "missing"}, images.Loader()).Success);
  EXPECT_EQ(Render(menu.Entries()), "_a<r>#1, _b<q>#2");
  // Every image keeps its name; the picture no item shows any more is let go.
  EXPECT_EQ(ImageNames(menu),
            (std::vector<std::string>{"TrayMenuImg0=", "TrayMenuImg1=q", "TrayMenuImg2=r"}));
  // Undecodable data and texts that are no boolean end the call; the caption set first stays.
  EXPECT_THROW(UpdateMenuItem(menu, {"1", "A", "", "bad"}, images.Loader()), EMenuError);
  EXPECT_THROW(UpdateMenuItem(menu, {"2", "B", "nope", ""}, images.Loader()), EMenuError);
  EXPECT_EQ(Render(menu.Entries()), "_A<r>#1, _B<q>#2");

  ASSERT_TRUE(SetMenuItems(menu, "[]", images.Loader()).Success);
  ASSERT_TRUE(
      SetMenuItems(menu, R"([{"id":3,"caption":"c","image":"s"}])", images.Loader()).Success);
  EXPECT_EQ(ImageNames(menu), std::vector<std::string>{"TrayMenuImg0=s"});
}

TEST(TrayTooltip, FromTheExecutableName) {
  const struct {
    std::string_view path, tooltip;
  } cases[] = {
      {"/opt/MyTool.exe", "Mytool"},
      {"/opt/my-app", "my-app"},
      {"/a.b/MYAPP.x.y", "Myapp"},
      {"Plain", "Plain"},
      {"/opt/.hidden", ""},
      {"/opt/ÄBC", "Äbc"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string path(c.path);
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');  // the executable's path as Windows gives it
#endif
    EXPECT_EQ(TrayTooltip(path), c.tooltip) << path;
  }
#ifdef _WIN32
  const std::string longName = "\\x\\" + std::string(200, 'a');
#else
  const std::string longName = "/x/" + std::string(200, 'a');
#endif
  EXPECT_EQ(TrayTooltip(longName), std::string(127, 'a'));
  std::string wide = longName.substr(0, 3);  // the folder part
  for (int i = 0; i < 200; ++i)
    wide += "é";
  std::string expected;
  for (int i = 0; i < 127; ++i)
    expected += "é";
  EXPECT_EQ(TrayTooltip(wide), expected);
}

}  // namespace
}  // namespace velloc::bridge::menus
