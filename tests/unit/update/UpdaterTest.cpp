// Checking for and installing updates against canned servers and files in memory: what each
// answer of the server leads to, and that the executable changes only when every check passed.
#include <gtest/gtest.h>

#include "platform/fake/FakeUpdates.h"
#include "update/Updater.h"

namespace velloc::update {
namespace {

using platform::fake::TFakeAnswer;

constexpr const char* kManifestUrl = "https://example.com/notes.json";
constexpr const char* kFileUrl = "https://example.com/notes-2";
const std::string kNewExe = std::string(100000, 'n') + "v2";

TFakeAnswer Ok(const std::string& body, bool withLength = true) {
  TFakeAnswer answer;
  answer.Body = body;
  answer.NoLength = !withLength;
  return answer;
}
TFakeAnswer Status(int status, const std::string& location = "") {
  TFakeAnswer answer;
  answer.Status = status;
  answer.Location = location;
  return answer;
}
// The server names `length` bytes, sends `body` and then the connection ends with `error`.
TFakeAnswer Cut(const std::string& body, std::uint64_t length, const std::string& error) {
  TFakeAnswer answer = Ok(body);
  answer.Length = length;
  answer.Error = error;
  return answer;
}

class UpdaterTest : public ::testing::Test {
 public:
  UpdaterTest() {
    Files.Files[Names.Exe] = "v1";
    Settings = {"com.example.notes", "1.0.0", kManifestUrl, Base64Text(Key.Public)};
    Serve(MakeManifest());
    Http.Answers[kFileUrl] = {Ok(kNewExe)};
  }
  TUpdateManifest MakeManifest(const std::string& version = "2.0.0",
                               const std::string& body = kNewExe) const {
    TUpdateManifest manifest;
    manifest.App = "com.example.notes";
    manifest.Version = version;
    manifest.Platform = std::string(ThisPlatform());
    manifest.Url = kFileUrl;
    manifest.Size = body.size();
    manifest.Sha256 = Sha256({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()});
    manifest.Notes = "Faster";
    manifest.SignWith(Key.Secret);
    return manifest;
  }
  void Serve(const TUpdateManifest& manifest) {
    Http.Answers[kManifestUrl] = {Ok(manifest.ToJson())};
  }

  struct TOutcome {
    bool Done = false;
    std::string Failed;
    std::vector<std::uint64_t> Progress;
  };
  TOutcome Install() {
    TUpdater updater(Settings, Names.Exe, Http, Files);
    TOutcome outcome;
    updater.Install(
        [&](std::uint64_t received, std::uint64_t) { outcome.Progress.push_back(received); },
        [&] { outcome.Done = true; }, [&](const std::string& why) { outcome.Failed = why; });
    Http.Run();
    EXPECT_EQ(outcome.Done, updater.RestartPending());
    EXPECT_FALSE(updater.Installing());
    return outcome;
  }
  // Nothing changed: the running version, no record, no download, no lock.
  void ExpectUntouched() {
    EXPECT_EQ(Files.Files[Names.Exe], "v1");
    EXPECT_EQ(Files.Files.size(), 1u);
    EXPECT_TRUE(Files.Held.empty());
    EXPECT_TRUE(Files.Log.empty());
  }

  TKeyPair Key = NewKeyPair();
  platform::fake::TFakeHttpClient Http;
  platform::fake::TFakeUpdateFiles Files;
  TUpdateFileNames Names{"/apps/notes"};
  TUpdateSettings Settings;
};

TEST_F(UpdaterTest, CheckAnswers) {
  struct Case {
    std::string Version;
    bool RolledBackBefore;
    bool Available;
  };
  for (const Case& c : {Case{"2.0.0", false, true}, Case{"1.0.0", false, false},
                        Case{"0.9.0", false, false}, Case{"2.0.0", true, false}}) {
    Serve(MakeManifest(c.Version));
    Files.Files.erase(Names.State);
    if (c.RolledBackBefore)
      WriteUpdateRecord(Files, Names, {TUpdateStage::RolledBack, "1.0.0", "2.0.0", "failed"});
    TUpdater updater(Settings, Names.Exe, Http, Files);
    std::optional<TUpdateCheck> got;
    updater.Check([&](const TUpdateCheck& check) { got = check; },
                  [](const std::string& why) { FAIL() << why; });
    Http.Run();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->Available, c.Available) << c.Version;
    EXPECT_EQ(got->RolledBack, c.RolledBackBefore);
    EXPECT_EQ(got->Current, "1.0.0");
    EXPECT_EQ(got->Version, c.Version);
    EXPECT_EQ(got->Notes, "Faster");
    EXPECT_EQ(got->Size, kNewExe.size());
  }
}

TEST_F(UpdaterTest, InstallPutsTheNewVersionInPlace) {
  const TOutcome outcome = Install();
  ASSERT_TRUE(outcome.Done) << outcome.Failed;
  EXPECT_EQ(Files.Files[Names.Exe], kNewExe);
  EXPECT_EQ(Files.Files[Names.Previous], "v1");
  EXPECT_FALSE(Files.Exists(Names.Download));
  EXPECT_TRUE(Files.Held.empty());
  const TUpdateRecord record = ReadUpdateRecord(Files, Names);
  EXPECT_EQ(record.Stage, TUpdateStage::Installed);
  EXPECT_EQ(record.From, "1.0.0");
  EXPECT_EQ(record.To, "2.0.0");
  // About a hundred progress events, rising, the last one the whole size.
  ASSERT_FALSE(outcome.Progress.empty());
  EXPECT_LE(outcome.Progress.size(), 101u);
  EXPECT_TRUE(std::is_sorted(outcome.Progress.begin(), outcome.Progress.end()));
  EXPECT_EQ(outcome.Progress.back(), kNewExe.size());
}

TEST_F(UpdaterTest, RedirectsAreFollowedToAllowedAddresses) {
  Http.Answers[kFileUrl] = {Status(302, "/cdn/notes-2")};
  Http.Answers["https://example.com/cdn/notes-2"] = {Status(301, "https://cdn.example.net/n2")};
  Http.Answers["https://cdn.example.net/n2"] = {Ok(kNewExe)};
  EXPECT_TRUE(Install().Done);
  EXPECT_EQ(Files.Files[Names.Exe], kNewExe);
}

// Each way an update can be wrong or cut short: the page is told why, the executable stays.
TEST_F(UpdaterTest, EveryRefusalLeavesTheRunningVersion) {
  struct Case {
    const char* Name;
    std::function<void(UpdaterTest&)> Arrange;
    std::string Why;
  };
  const std::string size = std::to_string(kNewExe.size());
  const Case cases[] = {
      {"tampered file",
       [](UpdaterTest& t) {
         std::string tampered = kNewExe;
         tampered[5] = 'x';
         t.Http.Answers[kFileUrl] = {Ok(tampered)};
       },
       "The download does not match the manifest's SHA-256"},
      {"signed by another key",
       [](UpdaterTest& t) {
         TUpdateManifest manifest = t.MakeManifest();
         manifest.SignWith(NewKeyPair().Secret);
         t.Serve(manifest);
       },
       "The manifest is not signed with this application's key"},
      {"downgrade", [](UpdaterTest& t) { t.Serve(t.MakeManifest("0.9.0")); },
       "Version 0.9.0 is not newer than the running 1.0.0"},
      {"same version", [](UpdaterTest& t) { t.Serve(t.MakeManifest("1.0")); },
       "Version 1.0 is not newer than the running 1.0.0"},
      {"another platform",
       [](UpdaterTest& t) {
         TUpdateManifest manifest = t.MakeManifest();
         manifest.Platform = "plan9-mips";
         manifest.SignWith(t.Key.Secret);
         t.Serve(manifest);
       },
       "The manifest is for plan9-mips, not " + std::string(ThisPlatform())},
      {"truncated file",
       [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Ok(kNewExe.substr(0, 5000))}; },
       "The server sends 5000 bytes, where the manifest names " + size},
      {"truncated without a length",
       [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Ok(kNewExe.substr(0, 5000), false)}; },
       "The download ended after 5000 of " + size + " bytes"},
      {"longer without a length",
       [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Ok(kNewExe + "!", false)}; },
       "The download is larger than the " + size + " bytes the manifest names"},
      {"the server stops mid-body",
       [](UpdaterTest& t) {
         t.Http.Answers[kFileUrl] = {
             Cut(kNewExe.substr(0, 5000), kNewExe.size(), "connection closed")};
       },
       "The download stopped: connection closed"},
      {"file missing on the server",
       [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Status(404)}; },
       "The update could not be downloaded: the server answered with status 404"},
      {"manifest missing", [](UpdaterTest& t) { t.Http.Answers[kManifestUrl] = {Status(404)}; },
       "The manifest could not be downloaded: the server answered with status 404"},
      {"manifest not JSON", [](UpdaterTest& t) { t.Http.Answers[kManifestUrl] = {Ok("<html>")}; },
       "The manifest is not valid: it is not JSON (Invalid value.)"},
      {"manifest too large",
       [](UpdaterTest& t) { t.Http.Answers[kManifestUrl] = {Ok(std::string(70000, ' '), false)}; },
       "The manifest could not be downloaded: it is larger than 64 KiB"},
      {"no server", [](UpdaterTest& t) { t.Http.Answers.clear(); },
       "The manifest could not be downloaded: no server at https://example.com/notes.json"},
      {"redirect to plain HTTP",
       [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Status(302, "http://example.com/n2")}; },
       "The download stopped: the server redirected to http://example.com/n2, which is neither "
       "HTTPS nor this machine"},
      {"redirect loop", [](UpdaterTest& t) { t.Http.Answers[kFileUrl] = {Status(302, kFileUrl)}; },
       "The download stopped: the server redirected more than 5 times"},
      {"file address not HTTPS",
       [](UpdaterTest& t) {
         TUpdateManifest manifest = t.MakeManifest();
         manifest.Url = "http://example.com/notes-2";
         manifest.SignWith(t.Key.Secret);
         t.Serve(manifest);
       },
       "The update's address is neither HTTPS nor this machine: http://example.com/notes-2"},
      {"installed by the package manager",
       [](UpdaterTest& t) { t.Files.Problem = "Updates come through the package manager"; },
       "Updates come through the package manager"},
      {"rolled back here before",
       [](UpdaterTest& t) {
         WriteUpdateRecord(t.Files, t.Names, {TUpdateStage::RolledBack, "1.0.0", "2.0.0", "x"});
       },
       "Version 2.0.0 did not come up here before and is not installed again"},
      {"another instance is installing",
       [](UpdaterTest& t) { t.Files.LockedElsewhere.insert(t.Names.Lock); },
       "Another start of this application is updating it"},
      {"not configured", [](UpdaterTest& t) { t.Settings.ManifestUrl = t.Settings.PublicKey = ""; },
       "Updates are not configured (section [Update] of vlx.ini)"},
      {"no version", [](UpdaterTest& t) { t.Settings.Version = ""; },
       "Updates are not configured: updates need the application's version: key Version of "
       "section [App]"},
      {"the executable cannot be replaced", [](UpdaterTest& t) { t.Files.FailInstall = true; },
       "The update cannot be put in place: cannot rename /apps/.notes.vlx-download"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    UpdaterTest& self = *this;
    Http = {};
    Files = {};
    Files.Files[Names.Exe] = "v1";
    Settings = {"com.example.notes", "1.0.0", kManifestUrl, Base64Text(Key.Public)};
    Serve(MakeManifest());
    Http.Answers[kFileUrl] = {Ok(kNewExe)};
    c.Arrange(self);
    const bool keepsRecord = Files.Exists(Names.State);
    const TOutcome outcome = Install();
    EXPECT_FALSE(outcome.Done);
    EXPECT_EQ(outcome.Failed, c.Why);
    if (keepsRecord) Files.Files.erase(Names.State);
    ExpectUntouched();
  }
}

TEST_F(UpdaterTest, OneInstallAtATime) {
  TUpdater updater(Settings, Names.Exe, Http, Files);
  std::string second;
  bool done = false;
  updater.Install([](std::uint64_t, std::uint64_t) {}, [&] { done = true; },
                  [](const std::string& why) { FAIL() << why; });
  updater.Install([](std::uint64_t, std::uint64_t) {}, [] {},
                  [&](const std::string& why) { second = why; });
  EXPECT_EQ(second, "An update is being installed");
  Http.Run();
  EXPECT_TRUE(done);
  updater.Install([](std::uint64_t, std::uint64_t) {}, [] {},
                  [&](const std::string& why) { second = why; });
  EXPECT_EQ(second, "An update is installed: the application restarts into it");
}

TEST_F(UpdaterTest, AnUpdaterGoneMidDownloadLeavesNothing) {
  {
    TUpdater updater(Settings, Names.Exe, Http, Files);
    updater.Install([](std::uint64_t, std::uint64_t) {}, [] { FAIL(); },
                    [](const std::string& why) { FAIL() << why; });
  }
  EXPECT_EQ(Http.Run(), 1) << "the cancelled transfer delivers nothing";
  ExpectUntouched();
}

TEST(UpdateSettingsTest, ProblemsOfTheConfiguration) {
  const std::string key = Base64Text(NewKeyPair().Public);
  struct Case {
    TUpdateSettings Settings;
    std::vector<std::string> Problems;
  };
  const Case cases[] = {
      {{"a", "", "", ""}, {}},
      {{"a", "1.0", "https://x/m.json", key}, {}},
      {{"a", "", "https://x/m.json", key},
       {"updates need the application's version: key Version of section [App]"}},
      {{"a", "1.0 beta", "http://x/m.json", "abc"},
       {"Version \"1.0 beta\" of section [App] is not a version such as 1.4.2",
        "ManifestURL of section [Update] is not an https:// address",
        "PublicKey of section [Update] is not a public key of velloc keygen"}},
      {{"a", "1", "", key}, {"ManifestURL of section [Update] is missing"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UpdateSettingsProblems(c.Settings), c.Problems);
  config::TProjectIni ini;
  ini.LoadFromText("[App]\nID=a\nVersion=1.2\n[Update]\nManifestURL=https://x/{platform}.json\n");
  const TUpdateSettings read = ReadUpdateSettings(ini);
  EXPECT_EQ(read.ManifestUrl, "https://x/" + std::string(ThisPlatform()) + ".json");
  EXPECT_EQ(read.Version, "1.2");
  EXPECT_EQ(read.AppID, "a");
}

}  // namespace
}  // namespace velloc::update
