// Every branch of the web view runtime installer flow, with the dialogs answered by the fakes.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipWriter.h"
#include "config/AppKeys.h"
#include "platform/PlatformNames.h"
#include "platform/fake/FakeRuntimeInstaller.h"
#include "platform/fake/Fakes.h"
#include "startup/EdgeInstaller.h"

namespace velloc::startup {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::TMsgDlgBtn;
using platform::TMsgDlgType;

constexpr std::string_view kDataDir = "/home/user/.local/share/demo.app/";
constexpr std::string_view kLoader =
    "/home/user/.local/share/demo.app/Linux64/velloc-webkit-x/velloc-webkit-x.so";
// Where the fake writes the first installer: a new folder of its own in the data folder.
const std::string kInstallerFolder = std::string(kDataDir) + "installer-1/";
const std::string kInstaller = kInstallerFolder + std::string(platform::kWebViewInstallerEntry);
// Where an installer of an earlier attempt, or one another program placed, would lie.
const std::string kPlacedInstaller =
    std::string(kDataDir) + std::string(platform::kWebViewInstallerEntry);
// The runtime's name in the texts.
#ifdef _WIN32
const std::string kRuntime = "Microsoft WebView2";
#else
const std::string kRuntime = "WebKitGTK";
#endif
constexpr std::string_view kScript = "#!/bin/sh\nexit 0\n";

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// The start-up state the flow sees: a package with or without the installer entry, its
// configuration, the fakes, and the loader library already extracted.
struct TFlow {
  explicit TFlow(std::string_view iniExtra = "", bool withInstaller = true) {
    archive::TZipWriter writer;
    writer.Password("pw");
    if (withInstaller) {
      writer.AddFile(std::string(platform::kWebViewInstallerEntry), ToBytes(kScript),
                     archive::ZipMethod::Deflate);
    }
    writer.AddFile("app/index.html", ToBytes("<p>x</p>"), archive::ZipMethod::Deflate);
    writer.Finish();
    Package = writer.TakeBytes();
    Zip.Password("pw");
    Zip.Stream(Package);
    Ini.LoadFromBytes(ToBytes("[App]\nID=demo.app\n" + std::string(iniExtra)));
    System.Args = {"some", "arguments"};
    System.Files[std::string(kLoader)] = ToBytes("module");
    Loader.Installed = false;
  }

  int Run() {
    TEdgeInstaller flow({System, Dialogs, Loader, Installer}, Ini, Zip, std::string(kDataDir),
                        std::string(kLoader));
    return flow.Run();
  }

  // The message dialogs shown, as their texts.
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& call : Dialogs.Calls)
      texts.push_back(call.Message);
    return texts;
  }

  Bytes Package;
  archive::TZipArchive Zip;
  config::TProjectIni Ini;
  platform::fake::TFakeSystem System;
  platform::fake::TFakeDialogs Dialogs;
  platform::fake::TFakeWebViewLoader Loader;
  platform::fake::TFakeRuntimeInstaller Installer{&System};
};

const std::string kText6 = "The " + kRuntime +
                           " runtime is required to run this application. This application cannot "
                           "continue and will be closed now.";

void ExpectErrorDialog(const platform::fake::TDialogCall& call) {
  EXPECT_EQ(call.Kind, TMsgDlgType::Error);
  EXPECT_EQ(call.Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::Yes});
  EXPECT_EQ(call.Captions, std::vector<std::string>{"Accept"});
  EXPECT_EQ(call.Title, "Error");
}

TEST(EdgeInstaller, SwitchedOffReportsAndEnds) {
  for (const char* value : {"0", "$0", " 0 "}) {
    TFlow f(std::string("EdgeInstaller=") + value + "\n");
    EXPECT_EQ(f.Run(), 0);
    EXPECT_EQ(f.Messages(), std::vector<std::string>{kText6}) << value;
    ExpectErrorDialog(f.Dialogs.Calls[0]);
    EXPECT_FALSE(f.System.FileExists(std::string(kInstaller)));
    EXPECT_TRUE(f.Installer.BusyForms.empty() && f.Installer.Runs.empty());
    EXPECT_TRUE(f.Installer.DeletedDirectories.empty());
    EXPECT_TRUE(f.Loader.Checked.empty() && f.System.Started.empty());
  }
}

TEST(EdgeInstaller, DeclinedDeletesTheDataFolder) {
  // Cancel, Escape and the close box all answer Cancel; any answer but Yes declines.
  for (const int answer : {platform::mrCancel, platform::mrClose, platform::mrNone}) {
    TFlow f;
    f.Dialogs.Result = answer;
    EXPECT_EQ(f.Run(), 0);
    ASSERT_EQ(f.Dialogs.Calls.size(), 2u);
    const auto& question = f.Dialogs.Calls[0];
    EXPECT_EQ(question.Message,
              "The " + kRuntime +
                  " runtime is required to run this application. Do you want to install it now?");
    EXPECT_EQ(question.Kind, TMsgDlgType::Confirmation);
    EXPECT_EQ(question.Buttons, (std::vector<TMsgDlgBtn>{TMsgDlgBtn::Yes, TMsgDlgBtn::Cancel}));
    EXPECT_EQ(question.Captions, (std::vector<std::string>{"Accept", "Cancel"}));
    EXPECT_EQ(question.Title, "Confirm");
    EXPECT_EQ(f.Dialogs.Calls[1].Message,
              "This application cannot continue and will be closed now.");
    ExpectErrorDialog(f.Dialogs.Calls[1]);
    EXPECT_EQ(f.Installer.DeletedDirectories, std::vector<std::string>{std::string(kDataDir)});
    EXPECT_FALSE(f.System.FileExists(std::string(kLoader)));  // went with the folder
    EXPECT_FALSE(f.System.FileExists(std::string(kInstaller)));
    EXPECT_TRUE(f.Installer.BusyForms.empty() && f.Installer.Runs.empty());
    EXPECT_TRUE(f.System.Started.empty());
  }
}

TEST(EdgeInstaller, InstalledRestartsWithoutArguments) {
  TFlow f;
  f.Dialogs.Result = platform::mrYes;
  f.Installer.OnRun = [&f] {
    // The installer exists whole and the busy form is up while it runs.
    EXPECT_EQ(f.System.Files.at(std::string(kInstaller)), ToBytes(kScript));
    EXPECT_EQ(f.Installer.BusyForms.size(), 1u);
    f.Loader.Installed = true;
    return 1;  // its exit code plays no part
  };
  EXPECT_EQ(f.Run(), 0);
  EXPECT_EQ(f.Dialogs.Calls.size(), 1u);  // the question only
  EXPECT_EQ(f.Installer.Runs, (std::vector<std::pair<std::string, std::string>>{
                                  {std::string(kInstaller), "/silent /install"}}));
  EXPECT_EQ(f.Loader.Checked, std::vector<std::string>{std::string(kLoader)});
  EXPECT_EQ(f.Installer.DeletedFiles, std::vector<std::string>{std::string(kInstaller)});
  EXPECT_FALSE(f.System.FileExists(std::string(kInstaller)));
  // The installer's own folder goes with it; the data folder stays.
  EXPECT_EQ(f.Installer.DeletedDirectories, std::vector<std::string>{kInstallerFolder});
  EXPECT_TRUE(f.System.FileExists(std::string(kLoader)));
  EXPECT_EQ(f.System.Started, std::vector<std::vector<std::string>>{{"/opt/app/app"}});
}

TEST(EdgeInstaller, FailedInstallDeletesTheFolderAndReportsTextNine) {
  const struct {
    const char* name;
    bool withEntry;
    int exitCode;
  } cases[] = {
      {"installer failed", true, 1},
      {"ran but installed nothing usable", true, 0},
      {"elevation refused (not started)", true, 0},
      // An empty file is created; it cannot run and the re-check fails.
      {"no installer entry", false, 0},
  };
  for (const auto& c : cases) {
    TFlow f("", c.withEntry);
    f.Dialogs.Result = platform::mrYes;
    std::optional<Bytes> written;
    f.Installer.OnRun = [&] {
      written = f.System.Files.at(std::string(kInstaller));
      return c.exitCode;
    };
    EXPECT_EQ(f.Run(), 0) << c.name;
    EXPECT_EQ(written, c.withEntry ? ToBytes(kScript) : Bytes{}) << c.name;
    ASSERT_EQ(f.Dialogs.Calls.size(), 2u) << c.name;
    EXPECT_EQ(f.Dialogs.Calls[1].Message,
              "You cancel the installation of " + kRuntime +
                  " runtime, This application cannot continue and will be closed now.")
        << c.name;
    ExpectErrorDialog(f.Dialogs.Calls[1]);
    EXPECT_EQ(f.Installer.BusyForms.size(), 1u) << c.name;  // stays on screen meanwhile
    EXPECT_EQ(f.Installer.DeletedDirectories, std::vector<std::string>{std::string(kDataDir)})
        << c.name;
    EXPECT_FALSE(f.System.FileExists(std::string(kInstaller))) << c.name;
    EXPECT_TRUE(f.System.Started.empty()) << c.name;
  }
}

// Whatever lies where an installer was written before (left by an earlier attempt, or placed
// there by another program) is never run: every attempt runs the packaged bytes, written anew.
TEST(EdgeInstaller, OnlyThePackagedInstallerRuns) {
  TFlow f;
  f.Dialogs.Result = platform::mrYes;
  f.System.Files[kPlacedInstaller] = ToBytes("#!/bin/sh\n# placed\n");
  f.Installer.OnRun = [&f] {
    EXPECT_EQ(f.System.Files.at(f.Installer.Runs.back().first), ToBytes(kScript));
    return 0;  // installs nothing
  };
  EXPECT_EQ(f.Run(), 0);
  TFlow again;
  again.Dialogs.Result = platform::mrYes;
  again.Installer.Written = f.Installer.Written;  // the second attempt gets a new folder
  again.Installer.OnRun = [&again] {
    EXPECT_EQ(again.System.Files.at(again.Installer.Runs.back().first), ToBytes(kScript));
    again.Loader.Installed = true;
    return 0;
  };
  EXPECT_EQ(again.Run(), 0);
  ASSERT_EQ(f.Installer.Runs.size(), 1u);
  ASSERT_EQ(again.Installer.Runs.size(), 1u);
  EXPECT_EQ(f.Installer.Runs[0].first, kInstaller);
  EXPECT_NE(again.Installer.Runs[0].first, kInstaller);
  EXPECT_EQ(again.System.Started.size(), 1u);
}

// An installer that cannot be written is not run; the re-check decides as after a failed run.
TEST(EdgeInstaller, AnInstallerThatCannotBeWrittenIsNotRun) {
  TFlow f;
  f.Dialogs.Result = platform::mrYes;
  f.Installer.WriteFails = true;
  EXPECT_EQ(f.Run(), 0);
  EXPECT_TRUE(f.Installer.Runs.empty());
  EXPECT_EQ(f.Installer.BusyForms.size(), 1u);
  EXPECT_EQ(f.Installer.DeletedDirectories, std::vector<std::string>{std::string(kDataDir)});
  ASSERT_EQ(f.Dialogs.Calls.size(), 2u);
  EXPECT_TRUE(f.System.Started.empty());
}

TEST(EdgeInstaller, BusyFormFollowsTheConfiguration) {
  const struct {
    const char* ini;
    std::int32_t color;
    int indicatorColor;
    int indicatorType;
  } cases[] = {
      {"", config::SystemColor(config::kColorHotLight), 1, 0},
      {"InstallFormColor=$00FF8000\nInstallIndicatorColor=0\nInstallIndicatorType=2\n", 0x00FF8000,
       0, 2},
      {"InstallIndicatorType=1\n", config::SystemColor(config::kColorHotLight), 1, 1},
  };
  for (const auto& c : cases) {
    TFlow f(c.ini);
    f.Dialogs.Result = platform::mrYes;
    f.Run();
    ASSERT_EQ(f.Installer.BusyForms.size(), 1u) << c.ini;
    EXPECT_EQ(f.Installer.BusyForms[0].Color, c.color) << c.ini;
    EXPECT_EQ(f.Installer.BusyForms[0].IndicatorColor, c.indicatorColor) << c.ini;
    EXPECT_EQ(f.Installer.BusyForms[0].IndicatorType, c.indicatorType) << c.ini;
  }
}

}  // namespace
}  // namespace velloc::startup
