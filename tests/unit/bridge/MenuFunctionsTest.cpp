// The menu and tray functions as a page calls them through the bridge, on fakes of the menu
// bar, the tray icon and the image decoder, with images in a package and on disk.
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"
#include "bridge/BrowserExternalForm.h"
#include "bridge/BrowserExternalModule.h"
#include "common/ScratchDir.h"
#include "core/StrUtils.h"
#include "platform/fake/FakeMenus.h"
#include "platform/fake/Fakes.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;
using platform::fake::ImageSource;

class TTestBrowserForm : public IBridgeBrowserForm {
 public:
  std::string AppDir;
  platform::fake::TFakeWebView WebView;
  platform::IWebView* Browser() const override {
    return const_cast<platform::fake::TFakeWebView*>(&WebView);
  }
  void SetStartPageURL(const std::string&) override {}
  void InitializeBrowser() override {}
  std::string AppDirPath() const override { return AppDir; }
};

struct TReply {
  bool Replied = false;
  bool Success = false;
  std::string Result;
};

std::string Json(std::string_view text) {
  return TStrUtils::StringToJsonString(text);
}

class MenuFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = velloc::testing::MakeScratchFolder("velloc-menus-test");
    fs::create_directories(FRoot / "app" / "img");
    FForm.AppDir = (FRoot / "app").string() + "/";

    archive::TZipWriter writer;
    for (const char* name : {"app/img/both.png", "Shared/Pkg.png", "vlx-icon"}) {
      const std::string data = std::string("IMGpackage:") + name;
      writer.AddFile(name, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()},
                     archive::ZipMethod::Stored);
    }
    writer.Finish();
    FPackage = writer.TakeBytes();
    FZip.Stream(FPackage);

    FModule.SetExeZip(&FZip);
    FModule.SetBrowserForm(&FForm);
    FModule.SetSystem(&FSystem);
    FModule.SetOnFault([this](TBridgeFault fault, std::string_view) { FFaults.push_back(fault); });
    FSystem.Executable = "/opt/apps/MyTool.bin";
  }
  void TearDown() override { fs::remove_all(FRoot); }

  void Connect() { FModule.ExternalForm().SetPlatform({&FMenuBar, &FTray, &FDecoder}); }

  void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  TReply Call(int id, std::string_view data) {
    std::vector<std::string> replies;
    const std::string message = "{\"id\": " + std::to_string(id) +
                                ", \"uuid\": \"u\", \"data\": " + std::string(data) + "}";
    FModule.BrowserWebMessageReceived({message, "vlx:///index.html", [&](std::string_view reply) {
                                         replies.emplace_back(reply);
                                       }});
    EXPECT_LE(replies.size(), 1u);
    if (replies.empty()) return {};
    const std::string& reply = replies[0];
    const bool success = reply.find("\"success\": true") != std::string::npos;
    const std::string key = "\"result\": ";
    const std::size_t start = reply.find(key) + key.size();
    return {true, success, reply.substr(start, reply.size() - start - 1)};
  }

  // A set-items call with the array given as the text a page sends.
  TReply SetItems(int id, std::string_view items) {
    return Call(id, "{\"items\": " + Json(items) + "}");
  }

  fs::path FRoot;
  std::vector<std::uint8_t> FPackage;
  archive::TZipArchive FZip;
  TTestBrowserForm FForm;
  platform::fake::TFakeSystem FSystem;
  platform::fake::TFakeMainMenuBar FMenuBar;
  platform::fake::TFakeTrayIcon FTray;
  platform::fake::TFakeMenuImageDecoder FDecoder;
  std::vector<TBridgeFault> FFaults;
  TBrowserExternalModule FModule;  // last: it disconnects from the fakes when it goes
};

TEST_F(MenuFunctions, NotSupportedWithoutAPlatform) {
  for (int id : {12001, 12002, 14001, 14002, 14003, 14004}) {
    const TReply reply = Call(id, R"({"items": "[]", "id": "1"})");
    EXPECT_TRUE(reply.Replied && !reply.Success) << id;
    EXPECT_EQ(reply.Result, Json("Not supported")) << id;
  }
  EXPECT_FALSE(FModule.TrayIconVisible());
}

TEST_F(MenuFunctions, ArgumentFailures) {
  Connect();
  const struct {
    int id;
    std::string_view data, failure;
  } cases[] = {
      {12001, "{}", "Missing menu items"},
      {12001, R"({"items": ""})", "Missing menu items"},
      {14003, R"({"items": null})", "Missing menu items"},
      {12001, R"({"items": "{\"id\":1}"})", "Wrong menu items JSON"},
      {14003, R"({"items": 5})", "Wrong menu items JSON"},
      {12001, R"({"items": "[{\"id\":1}]"})", "Wrong menu item JSON"},
      {12002, R"({"caption": "x"})", "Missing item ID"},
      {14004, R"({"id": -1})", "Wrong item ID"},
      {14004, R"({"id": "1x"})", "Wrong item ID"},
      {12002, R"({"id": 1})", "No menu items"},
  };
  for (const auto& c : cases) {
    const TReply reply = Call(c.id, c.data);
    EXPECT_TRUE(reply.Replied && !reply.Success) << c.id << " " << c.data;
    EXPECT_EQ(reply.Result, Json(c.failure)) << c.id << " " << c.data;
  }
  EXPECT_TRUE(FFaults.empty());
}

TEST_F(MenuFunctions, UnusableArgumentsGetNoReply) {
  Connect();
  ASSERT_TRUE(SetItems(12001, R"([{"id":1,"caption":"a"}])").Success);
  const struct {
    int id;
    std::string_view data;
  } cases[] = {
      {12001, R"({"items": [{"id":1,"caption":"a"}]})"},
      {14003, R"({"items": {}})"},
      {12002, R"({"id": [1]})"},
      {12002, R"({"id": 1, "enabled": "perhaps"})"},
      {12002, R"({"id": 1, "caption": {}})"},
  };
  for (const auto& c : cases) {
    FFaults.clear();
    EXPECT_FALSE(Call(c.id, c.data).Replied) << c.data;
    EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError}) << c.data;
  }
}

TEST_F(MenuFunctions, TheMenuBarIsAttachedByTheFirstCallWithItems) {
  Connect();
  EXPECT_EQ(SetItems(12001, "").Result, Json("Missing menu items"));
  EXPECT_EQ(FMenuBar.Attached, 0);
  EXPECT_EQ(SetItems(12001, "broken").Result, Json("Wrong menu items JSON"));
  EXPECT_EQ(FMenuBar.Attached, 1);
  // The tray menu never attaches the bar.
  EXPECT_TRUE(SetItems(14003, R"([{"id":1,"caption":"t"}])").Success);
  EXPECT_EQ(FMenuBar.Attached, 1);
  EXPECT_TRUE(FMenuBar.Entries.empty());
  ASSERT_EQ(FTray.Entries.size(), 1u);
  EXPECT_EQ(FTray.Entries[0].Text, "t");
}

TEST_F(MenuFunctions, TheBarShowsWhatABrokenCallBuilt) {
  Connect();
  // The second element is no object: no reply, the first item stays and is shown.
  EXPECT_FALSE(SetItems(12001, R"([{"id":1,"caption":"First"},7])").Replied);
  ASSERT_EQ(FMenuBar.Entries.size(), 2u);
  EXPECT_EQ(FMenuBar.Entries[0].Text, "First");
  // A broken item clears the bar.
  EXPECT_TRUE(SetItems(12001, "[]").Success);
  EXPECT_EQ(SetItems(12001, R"([{"id":1,"caption":"a"},{"caption":"b"}])").Result,
            Json("Wrong menu item JSON"));
  EXPECT_TRUE(FMenuBar.Entries.empty());
}

TEST_F(MenuFunctions, ClicksRaiseEventsWithTheDecimalId) {
  Connect();
  ASSERT_TRUE(SetItems(12001, R"([{"id":"007","caption":"File","items":[
      {"id":"$10","caption":"Open"},{"id":"-3","caption":"Close"}]},{"id":2,"caption":"Help"}])")
                  .Success);
  ASSERT_EQ(FMenuBar.Entries.size(), 2u);
  const platform::TMenuEntry& file = FMenuBar.Entries[0];
  EXPECT_TRUE(file.Submenu);
  EXPECT_FALSE(file.Clickable);
  ASSERT_EQ(file.Children.size(), 2u);
  EXPECT_TRUE(file.Children[0].Clickable);
  ASSERT_TRUE(FMenuBar.OnClick);
  FMenuBar.OnClick(file.Children[0].Id);
  FMenuBar.OnClick(file.Children[1].Id);

  ASSERT_TRUE(SetItems(14003, R"([{"id":"x2A","caption":"Tray item"}])").Success);
  ASSERT_TRUE(FTray.OnItemClick && FTray.OnIconClick);
  FTray.OnItemClick(FTray.Entries[0].Id);
  FTray.OnIconClick();
  EXPECT_EQ(
      FForm.WebView.Executed,
      (std::vector<std::string>{
          "vlx.events.onMainMenuItemClick(\"16\");", "vlx.events.onMainMenuItemClick(\"-3\");",
          "vlx.events.onTrayMenuItemClick(\"42\");", "vlx.events.onTrayIconClick();"}));
}

TEST_F(MenuFunctions, UpdatesReachThePlatform) {
  Connect();
  ASSERT_TRUE(SetItems(14003, R"([{"id":1,"caption":"One"},{"id":1,"caption":"Two"}])").Success);
  EXPECT_EQ(Call(14004, R"({"id": "1", "caption": "Uno", "enabled": "false"})").Result, "true");
  ASSERT_EQ(FTray.Entries.size(), 2u);
  EXPECT_EQ(FTray.Entries[0].Text, "Uno");
  EXPECT_FALSE(FTray.Entries[0].Enabled);
  EXPECT_EQ(FTray.Entries[1].Text, "Two");
  // Only an ID and an empty caption: nothing changes.
  EXPECT_EQ(Call(14004, R"({"id": 1, "caption": ""})").Result, "true");
  EXPECT_EQ(FTray.Entries[0].Text, "Uno");
}

TEST_F(MenuFunctions, ImagesComeFromThePackageThenBesideTheExecutableThenThePath) {
#ifdef _WIN32
  GTEST_SKIP() << "written for Linux paths; the Windows cases come with the Win32 menus";
#endif
  Connect();
  fs::create_directories(FRoot / "app" / "app" / "img");
  WriteFile(FRoot / "app" / "app" / "img" / "both.png", "IMGbeside:both");
  WriteFile(FRoot / "app" / "img" / "beside.png", "IMGbeside:img");
  WriteFile(FRoot / "abs.png", "IMGabsolute");
  WriteFile(FRoot / "app" / "empty.png", "");
  const std::string absolute = (FRoot / "abs.png").string();
  const std::string items = R"([{"id":1,"caption":"a","image":"app/img/both.png"},
      {"id":2,"caption":"b","image":"APP/IMG/BOTH.PNG"},
      {"id":3,"caption":"c","image":"shared/pkg.png"},
      {"id":4,"caption":"d","image":"img/beside.png"},
      {"id":5,"caption":"e","image":"img\\beside.png"},
      {"id":6,"caption":"f","image":")" +
                            absolute + R"("},
      {"id":7,"caption":"g","image":"nowhere.png"},
      {"id":8,"caption":"h","image":"empty.png"},
      {"id":9,"caption":"i","image":"img"}])";
  ASSERT_TRUE(SetItems(12001, items).Success);
  std::vector<std::string> sources;
  for (const auto& entry : FMenuBar.Entries)
    sources.push_back(ImageSource(entry.Image));
  EXPECT_EQ(sources,
            (std::vector<std::string>{"package:app/img/both.png", "package:app/img/both.png",
                                      "package:Shared/Pkg.png", "beside:img", "beside:img",
                                      "absolute", "", "", ""}));
  std::vector<std::string> names;
  for (const auto& image : FModule.ExternalForm().MainMenu().Images())
    names.push_back(image.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"MainMenuImg0", "MainMenuImg1", "MainMenuImg2",
                                             "MainMenuImg3", "MainMenuImg4", "MainMenuImg5"}));
}

TEST_F(MenuFunctions, UndecodableImagesGetNoReply) {
  Connect();
  WriteFile(FRoot / "app" / "text.png", "not an image");
  EXPECT_FALSE(SetItems(14003, R"([{"id":1,"caption":"a","image":"text.png"}])").Replied);
  EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError});
  ASSERT_EQ(FTray.Entries.size(), 1u);
  EXPECT_FALSE(FTray.Entries[0].Image);
}

TEST_F(MenuFunctions, TrayIconShowsAndHides) {
#ifdef _WIN32
  GTEST_SKIP() << "written for Linux paths; the Windows cases come with the Win32 menus";
#endif
  Connect();
  EXPECT_EQ(Call(14001, "{}").Result, "true");
  EXPECT_EQ(Call(14001, "{}").Result, "true");
  EXPECT_TRUE(FTray.Shown);
  EXPECT_EQ(FTray.ShowCalls, 1);
  EXPECT_EQ(FTray.Tooltip, "Mytool");
  // The application's icon from the package.
  EXPECT_EQ(std::string(FTray.Icon.begin(), FTray.Icon.end()), "IMGpackage:vlx-icon");
  EXPECT_TRUE(FModule.TrayIconVisible());
  EXPECT_EQ(Call(14002, "{}").Result, "true");
  EXPECT_EQ(Call(14002, "{}").Result, "true");
  EXPECT_FALSE(FTray.Shown);
  EXPECT_FALSE(FModule.TrayIconVisible());
}

TEST(MenuPlatform, TheTrayIconGoesWithTheModule) {
  platform::fake::TFakeTrayIcon tray;
  {
    TBrowserExternalModule module;
    module.ExternalForm().SetPlatform({nullptr, &tray, nullptr});
    module.ExternalForm().ShowTrayIcon();
    EXPECT_TRUE(tray.Shown);
  }
  EXPECT_FALSE(tray.Shown);
  EXPECT_FALSE(tray.OnIconClick);
  EXPECT_FALSE(tray.OnItemClick);
}

}  // namespace
}  // namespace velloc::bridge
