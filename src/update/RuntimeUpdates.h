// What the program entry of every platform does for updates, in its order: decide at the start
// (trial, roll-back, tidying), let the page's first load confirm a new version, offer the page
// an updater, and restart into an installed update at the very end.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/ProjectIni.h"
#include "platform/Updates.h"
#include "update/UpdateState.h"
#include "update/Updater.h"

namespace velloc::update {

class TRuntimeUpdates {
 public:
  TRuntimeUpdates(platform::IUpdateFiles& files, platform::IProcessRestart& restart,
                  std::string exePath, std::vector<std::string> arguments)
      : FFiles(files),
        FRestart(restart),
        FExePath(std::move(exePath)),
        FArguments(std::move(arguments)) {}

  // First of all. False when this process must end: the previous version is back in place and
  // has been started (on Linux in this very process, so this returns only when that failed).
  bool AtStart() {
    TStartDecision decision = DecideAtStart(FFiles, FExePath);
    if (!decision.Message.empty()) std::fprintf(stderr, "velloc: %s\n", decision.Message.c_str());
    FTrial = std::move(decision.Trial);
    if (!decision.Restart) return true;
    FRestart.RestartInto(FExePath, FArguments);
    return false;
  }
  // Start-up ended before the window: a closed password form is the user's choice, not a
  // failure of the version, which gets its trial again at the next start.
  void StartupEnded(bool passwordRefused) {
    if (FTrial && passwordRefused) FTrial->Abandon();
  }
  // The main window's page has loaded.
  void PageLoaded(const config::TProjectIni& ini) {
    if (FTrial) FTrial->Confirm(ReadUpdateSettings(ini).Version);
    FTrial.reset();
  }
  // The updater of the bridge's functions; null without an HTTP client.
  std::unique_ptr<TUpdater> MakeUpdater(const config::TProjectIni& ini,
                                        platform::IHttpClient* http) {
    if (!http) return nullptr;
    return std::make_unique<TUpdater>(ReadUpdateSettings(ini), FExePath, *http, FFiles);
  }
  // Last of all, once every window and resource is gone: the installed update starts.
  void AtEnd(bool restartIntoUpdate) {
    if (restartIntoUpdate) FRestart.RestartInto(FExePath, FArguments);
  }

 private:
  platform::IUpdateFiles& FFiles;
  platform::IProcessRestart& FRestart;
  std::string FExePath;
  std::vector<std::string> FArguments;
  std::unique_ptr<TUpdateTrial> FTrial;
};

}  // namespace velloc::update
