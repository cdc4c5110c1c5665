#include "update/Updater.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "config/AppKeys.h"
#include "config/UpdateKeys.h"

namespace velloc::update {
namespace {

constexpr int kMaxRedirects = 5;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The address a redirect leads to: absolute, or absolute on the same server ("/path").
std::string RedirectTarget(const std::string& from, const std::string& location) {
  if (location.find("://") != std::string::npos) return location;
  if (!location.starts_with("/") || location.starts_with("//")) return {};
  const std::size_t hostStart = from.find("://");
  if (hostStart == std::string::npos) return {};
  const std::size_t pathStart = from.find('/', hostStart + 3);
  return from.substr(0, pathStart) + location;
}

std::string HttpProblem(const platform::THttpHead& head) {
  return "the server answered with status " + std::to_string(head.Status);
}

}  // namespace

// One GET that follows redirects, each address checked. Its owner may destroy it from inside
// any of its callbacks.
struct TUpdater::TFetch {
  platform::IHttpClient& Http;
  std::string Url;
  std::function<bool(const platform::THttpHead&)> OnHead;
  std::function<bool(std::span<const std::uint8_t>)> OnBody;
  std::function<void(const std::string& error)> OnEnd;  // "" when the body is complete
  std::unique_ptr<platform::IHttpTransfer> Transfer;
  int Redirects = 0;

  void Start() {
    Transfer = Http.Get(Url, {[this](const platform::THttpHead& head) { return Head(head); },
                              [this](std::span<const std::uint8_t> piece) { return OnBody(piece); },
                              [this](const std::string& error) { End(error); }});
  }

  bool Head(const platform::THttpHead& head) {
    if (!IsRedirect(head.Status)) return OnHead(head);
    const std::string next = RedirectTarget(Url, head.Location);
    if (next.empty()) {
      End("the server redirected to \"" + head.Location + "\", which is not an address");
    } else if (++Redirects > kMaxRedirects) {
      End("the server redirected more than " + std::to_string(kMaxRedirects) + " times");
    } else if (!IsUpdateUrl(next)) {
      End("the server redirected to " + next + ", which is neither HTTPS nor this machine");
    } else {
      Url = next;
      Start();  // replaces the transfer whose callback this is
    }
    return false;
  }

  void End(const std::string& error) {
    const auto end = std::move(OnEnd);
    end(error);  // may destroy this
  }
};

// The download of an update and what it needs until the new version is in place.
struct TUpdater::TInstallJob {
  TProgress Progress;
  std::function<void()> Done;
  TFailed Failed;
  std::unique_ptr<platform::IFileLock> Lock;
  std::unique_ptr<TFetch> Fetch;
  std::unique_ptr<platform::IDownloadFile> File;
  TSha256 Hash;
  std::uint64_t Received = 0;
  std::uint64_t Reported = 0;
  std::string Problem;
};

TUpdateSettings ReadUpdateSettings(const config::TProjectIni& ini) {
  TUpdateSettings settings;
  settings.AppID = config::ReadAppKey(ini, config::app::ID);
  settings.Version = config::ReadAppKey(ini, config::app::Version);
  settings.ManifestUrl = config::ReadAppKey(ini, config::update::ManifestURL);
  settings.PublicKey = config::ReadAppKey(ini, config::update::PublicKey);
  const std::string placeholder = "{platform}";
  for (std::size_t at; (at = settings.ManifestUrl.find(placeholder)) != std::string::npos;)
    settings.ManifestUrl.replace(at, placeholder.size(), ThisPlatform());
  return settings;
}

std::vector<std::string> UpdateSettingsProblems(const TUpdateSettings& settings) {
  std::vector<std::string> problems;
  if (!settings.Configured()) return problems;
  if (settings.Version.empty()) {
    problems.push_back("updates need the application's version: key Version of section [App]");
  } else if (!TAppVersion::Parse(settings.Version)) {
    problems.push_back("Version \"" + settings.Version +
                       "\" of section [App] is not a version such as 1.4.2");
  }
  if (settings.ManifestUrl.empty()) {
    problems.push_back("ManifestURL of section [Update] is missing");
  } else if (!IsUpdateUrl(settings.ManifestUrl)) {
    problems.push_back("ManifestURL of section [Update] is not an https:// address");
  }
  if (!PublicKeyFromText(settings.PublicKey))
    problems.push_back("PublicKey of section [Update] is not a public key of velloc keygen");
  return problems;
}

TUpdater::TUpdater(TUpdateSettings settings, std::string exePath, platform::IHttpClient& http,
                   platform::IUpdateFiles& files)
    : FSettings(std::move(settings)),
      FExePath(std::move(exePath)),
      FNames(FExePath),
      FHttp(http),
      FFiles(files) {}

TUpdater::~TUpdater() = default;

std::string TUpdater::Unavailable() const {
  if (!FSettings.Configured()) return "Updates are not configured (section [Update] of vlx.ini)";
  if (const auto problems = UpdateSettingsProblems(FSettings); !problems.empty())
    return "Updates are not configured: " + problems.front();
  return FFiles.ReplaceProblem(FExePath);
}

void TUpdater::FetchManifest(
    std::function<void(const TUpdateManifest&, TManifestVerdict, const std::string&)> ready,
    TFailed failed) {
  auto fetch = std::make_unique<TFetch>(TFetch{FHttp, FSettings.ManifestUrl, {}, {}, {}, {}, 0});
  TFetch* raw = fetch.get();
  auto body = std::make_shared<std::string>();
  // OnHead and OnBody end the fetch themselves when they stop it: no End follows a stop.
  raw->OnHead = [raw](const platform::THttpHead& head) {
    if (head.Status != 200) {
      raw->End(HttpProblem(head));
    } else if (head.Length && *head.Length > kMaxManifestBytes) {
      raw->End("it is larger than 64 KiB");
    } else {
      return true;
    }
    return false;
  };
  raw->OnBody = [raw, body](std::span<const std::uint8_t> piece) {
    if (body->size() + piece.size() > kMaxManifestBytes) {
      raw->End("it is larger than 64 KiB");
      return false;
    }
    body->append(piece.begin(), piece.end());
    return true;
  };
  raw->OnEnd = [this, raw, body, ready = std::move(ready),
                failed = std::move(failed)](const std::string& error) {
    std::erase_if(FChecks, [raw](const auto& f) { return f.get() == raw; });
    if (!error.empty()) return failed("The manifest could not be downloaded: " + error);
    const auto parsed = ParseManifest(*body);
    if (const auto* text = std::get_if<std::string>(&parsed))
      return failed("The manifest is not valid: " + *text);
    const TUpdateManifest& manifest = std::get<TUpdateManifest>(parsed);
    std::string sentence;
    const TManifestVerdict verdict = CheckManifest(
        manifest,
        {FSettings.AppID, std::string(ThisPlatform()), *TAppVersion::Parse(FSettings.Version),
         *PublicKeyFromText(FSettings.PublicKey)},
        sentence);
    ready(manifest, verdict, sentence);
  };
  FChecks.push_back(std::move(fetch));
  raw->Start();
}

void TUpdater::Check(std::function<void(const TUpdateCheck&)> done, TFailed failed) {
  if (const std::string why = Unavailable(); !why.empty()) return failed(why);
  FetchManifest(
      [this, done = std::move(done), failed](const TUpdateManifest& manifest,
                                             TManifestVerdict verdict, const std::string& why) {
        if (verdict != TManifestVerdict::Newer && verdict != TManifestVerdict::NotNewer)
          return failed(why);
        TUpdateCheck check;
        check.Current = FSettings.Version;
        check.Version = manifest.Version;
        check.Notes = manifest.Notes;
        check.Size = manifest.Size;
        const TUpdateRecord record = ReadUpdateRecord(FFiles, FNames);
        check.RolledBack =
            record.Stage == TUpdateStage::RolledBack && record.To == manifest.Version;
        check.Available = verdict == TManifestVerdict::Newer && !check.RolledBack;
        done(check);
      },
      failed);
}

void TUpdater::Install(TProgress progress, std::function<void()> done, TFailed failed) {
  if (FInstall) return failed("An update is being installed");
  if (FRestartPending) return failed("An update is installed: the application restarts into it");
  if (const std::string why = Unavailable(); !why.empty()) return failed(why);
  FInstall = std::make_unique<TInstallJob>();
  FInstall->Progress = std::move(progress);
  FInstall->Done = std::move(done);
  FInstall->Failed = std::move(failed);
  FetchManifest(
      [this](const TUpdateManifest& manifest, TManifestVerdict verdict, const std::string& why) {
        if (verdict != TManifestVerdict::Newer) return InstallFailed(why);
        const TUpdateRecord record = ReadUpdateRecord(FFiles, FNames);
        if (record.Stage == TUpdateStage::RolledBack && record.To == manifest.Version) {
          return InstallFailed("Version " + manifest.Version +
                               " did not come up here before and is not installed again");
        }
        if (!IsUpdateUrl(manifest.Url)) {
          return InstallFailed("The update's address is neither HTTPS nor this machine: " +
                               manifest.Url);
        }
        Download(manifest);
      },
      [this](const std::string& why) { InstallFailed(why); });
}

void TUpdater::InstallFailed(const std::string& why) {
  // The download, the lock and the transfer go with the job; the executable was not touched.
  const std::unique_ptr<TInstallJob> job = std::move(FInstall);
  if (job) job->Failed(why);
}

void TUpdater::Download(const TUpdateManifest& manifest) {
  TInstallJob& job = *FInstall;
  job.Lock = FFiles.TryLock(FNames.Lock);
  if (!job.Lock) return InstallFailed("Another start of this application is updating it");
  try {
    job.File = FFiles.CreateDownload(FNames.Download);
  } catch (const std::exception& error) {
    return InstallFailed(std::string("The update cannot be saved: ") + error.what());
  }
  job.Fetch = std::make_unique<TFetch>(TFetch{FHttp, manifest.Url, {}, {}, {}, {}, 0});
  const std::uint64_t size = manifest.Size;
  job.Fetch->OnHead = [this, size](const platform::THttpHead& head) {
    TInstallJob& current = *FInstall;
    if (head.Status != 200) {
      current.Problem = "The update could not be downloaded: " + HttpProblem(head);
    } else if (head.Length && *head.Length != size) {
      current.Problem = "The server sends " + std::to_string(*head.Length) +
                        " bytes, where the manifest names " + std::to_string(size);
    }
    if (current.Problem.empty()) return true;
    InstallFailed(current.Problem);
    return false;
  };
  job.Fetch->OnBody = [this, size](std::span<const std::uint8_t> piece) {
    TInstallJob& current = *FInstall;
    if (current.Received + piece.size() > size) {
      InstallFailed("The download is larger than the " + std::to_string(size) +
                    " bytes the manifest names");
      return false;
    }
    try {
      current.File->Write(piece);
    } catch (const std::exception& error) {
      InstallFailed(std::string("The update cannot be saved: ") + error.what());
      return false;
    }
    current.Hash.Update(piece);
    current.Received += piece.size();
    // About a hundred events for the whole download, and one at its end.
    if ((current.Received - current.Reported) * 100 >= size || current.Received == size) {
      current.Reported = current.Received;
      current.Progress(current.Received, size);
    }
    return FInstall != nullptr;  // the page's progress handler may not end the job, but be sure
  };
  job.Fetch->OnEnd = [this, manifest](const std::string& error) {
    TInstallJob& current = *FInstall;
    if (!error.empty()) return InstallFailed("The download stopped: " + error);
    if (current.Received != manifest.Size) {
      return InstallFailed("The download ended after " + std::to_string(current.Received) + " of " +
                           std::to_string(manifest.Size) + " bytes");
    }
    if (current.Hash.Final() != manifest.Sha256)
      return InstallFailed("The download does not match the manifest's SHA-256");
    try {
      current.File->Finish();
      // The record first: a start after a crash between the two finds a trial of a version
      // that is not there, which its confirmation drops.
      WriteUpdateRecord(FFiles, FNames,
                        {TUpdateStage::Installed, FSettings.Version, manifest.Version, ""});
      try {
        FFiles.Install(FExePath, current.File->Path(), FNames.Previous);
      } catch (...) {
        FFiles.Remove(FNames.State);
        throw;
      }
    } catch (const std::exception& failure) {
      return InstallFailed(std::string("The update cannot be put in place: ") + failure.what());
    }
    current.File.reset();  // installed: nothing to remove
    FRestartPending = true;
    const std::unique_ptr<TInstallJob> finished = std::move(FInstall);
    finished->Done();
  };
  job.Fetch->Start();
}

}  // namespace velloc::update
