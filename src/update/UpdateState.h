// What an update leaves beside the executable between two starts, and what each start does
// with it. The files, for an executable "app":
//   .app.vlx-update      the state below (JSON)
//   .app.vlx-update.lock held by the process installing an update and by a new version on trial
//   .app.vlx-previous    the version before the update, until the new one has confirmed itself
//   .app.vlx-download    the download under way
//   .app.vlx-failed      a version that was rolled back (Windows, until the next start)
//
// The states, in the order they follow each other:
//   installed   the new version is in place and has not started yet
//   trial       its first start is running (holding the lock); it confirms itself once its
//               window's page has loaded, within kConfirmWithin of the start
//   (none)      confirmed: the state file and the previous version are removed
//   failed      it did not confirm in time: the next start rolls back
//   rolledBack  the previous version is back; the version that failed is remembered, so that it is
//               not offered again (a newer one is)
// A trial whose process ended without confirming (a crash, a package that does not open) is
// rolled back by the next start, as a failed one is.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Updates.h"

namespace velloc::update {

inline constexpr std::chrono::seconds kConfirmWithin{60};

struct TUpdateFileNames {
  explicit TUpdateFileNames(const std::string& exePath);
  std::string Exe, State, Lock, Previous, Download, Failed;
};

enum class TUpdateStage { None, Installed, Trial, Failed, RolledBack };

struct TUpdateRecord {
  TUpdateStage Stage = TUpdateStage::None;
  std::string From;    // the version that was running before
  std::string To;      // the version that was installed
  std::string Reason;  // of a failure or roll-back
};

// The state file's record; None when it is missing or unreadable.
TUpdateRecord ReadUpdateRecord(const platform::IUpdateFiles& files, const TUpdateFileNames& names);
// Throws platform::EFileError.
void WriteUpdateRecord(platform::IUpdateFiles& files, const TUpdateFileNames& names,
                       const TUpdateRecord& record);

using TSteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// The first start of a new version. Confirm once it has come up; Abandon when the start ended by
// the user's choice before it could (the next start is then the trial again).
class TUpdateTrial {
 public:
  TUpdateTrial(platform::IUpdateFiles& files, TUpdateFileNames names, TUpdateRecord record,
               std::unique_ptr<platform::IFileLock> lock, TSteadyClock clock);
  TUpdateTrial(const TUpdateTrial&) = delete;
  TUpdateTrial& operator=(const TUpdateTrial&) = delete;

  // The page has loaded: within the time, the update is done and the previous version goes;
  // too late, the next start rolls back. `runningVersion` is this package's Version: when it is
  // not the one installed, the record was stale and is dropped. Once only.
  void Confirm(const std::string& runningVersion);
  void Abandon();
  bool Open() const { return FLock != nullptr; }

 private:
  platform::IUpdateFiles& FFiles;
  TUpdateFileNames FNames;
  TUpdateRecord FRecord;
  std::unique_ptr<platform::IFileLock> FLock;
  TSteadyClock FClock;
  std::chrono::steady_clock::time_point FStarted;
};

struct TStartDecision {
  // The previous version is back in place: start it instead of going on.
  bool Restart = false;
  std::string Message;                  // what happened, for standard error
  std::unique_ptr<TUpdateTrial> Trial;  // this start is a new version's first
};

// Run by every start before anything else: begins a new version's trial, rolls back one that did
// not come up, and tidies what a finished update left. Never throws: a problem is reported in
// Message and the start goes on with what is in place.
TStartDecision DecideAtStart(platform::IUpdateFiles& files, const std::string& exePath,
                             TSteadyClock clock = std::chrono::steady_clock::now);

}  // namespace velloc::update
