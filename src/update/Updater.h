// The application's updates as the page asks for them: is there a newer version, and install it.
// Everything that decides is here: the configuration, the manifest and its signature, the
// version, the addresses, the size and digest of the download, the order in which files change
// and the state the next start reads (UpdateState.h). The platform downloads, replaces files and
// restarts (platform/Updates.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/ProjectIni.h"
#include "platform/Updates.h"
#include "update/UpdateManifest.h"
#include "update/UpdateState.h"

namespace velloc::update {

// What vlx.ini says about updates: [App] ID and Version, [Update] ManifestURL and PublicKey.
struct TUpdateSettings {
  std::string AppID;
  std::string Version;
  std::string ManifestUrl;  // with {platform} replaced by ThisPlatform()
  std::string PublicKey;    // base64, as written

  // Section Update names a manifest or a key.
  bool Configured() const { return !ManifestUrl.empty() || !PublicKey.empty(); }
};

TUpdateSettings ReadUpdateSettings(const config::TProjectIni& ini);
// Why these settings cannot give updates: a missing or wrong Version, ManifestURL or PublicKey.
// Empty when they can, or when updates are not configured at all.
std::vector<std::string> UpdateSettingsProblems(const TUpdateSettings& settings);

struct TUpdateCheck {
  bool Available = false;  // a newer version that this executable can install
  std::string Current;     // the running version
  std::string Version;     // the manifest's
  std::string Notes;
  std::uint64_t Size = 0;
  bool RolledBack = false;  // this version was installed here before and did not come up
};

class TUpdater {
 public:
  using TFailed = std::function<void(const std::string& why)>;
  using TProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

  TUpdater(TUpdateSettings settings, std::string exePath, platform::IHttpClient& http,
           platform::IUpdateFiles& files);
  TUpdater(const TUpdater&) = delete;
  TUpdater& operator=(const TUpdater&) = delete;
  ~TUpdater();

  // Fetches the manifest and answers whether it offers a newer version. Every callback comes on
  // the UI thread, once, never after the updater is gone.
  void Check(std::function<void(const TUpdateCheck&)> done, TFailed failed);
  // Downloads the newer version, checks it and puts it in the executable's place; `done` means
  // it is in place and the program should restart into it (RestartPending). Nothing changes
  // unless every check passes.
  void Install(TProgress progress, std::function<void()> done, TFailed failed);

  bool Installing() const { return FInstall != nullptr; }
  bool RestartPending() const { return FRestartPending; }
  const std::string& ExePath() const { return FExePath; }

  struct TFetch;
  struct TInstallJob;

 private:
  // Why nothing can be checked or installed here, or empty.
  std::string Unavailable() const;
  // Fetches and checks the manifest; `ready` gets it with the verdict's sentence.
  void FetchManifest(
      std::function<void(const TUpdateManifest&, TManifestVerdict, const std::string&)> ready,
      TFailed failed);
  void Download(const TUpdateManifest& manifest);
  void InstallFailed(const std::string& why);

  TUpdateSettings FSettings;
  std::string FExePath;
  TUpdateFileNames FNames;
  platform::IHttpClient& FHttp;
  platform::IUpdateFiles& FFiles;
  std::vector<std::unique_ptr<TFetch>> FChecks;
  std::unique_ptr<TInstallJob> FInstall;
  bool FRestartPending = false;
};

}  // namespace velloc::update
