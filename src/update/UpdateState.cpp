#include "update/UpdateState.h"

#include <exception>
#include <utility>

#include <rapidjson/document.h>

#include "core/StrUtils.h"

namespace velloc::update {
namespace {

constexpr std::size_t kMaxStateBytes = 16 * 1024;

constexpr std::pair<TUpdateStage, std::string_view> kStageNames[] = {
    {TUpdateStage::Installed, "installed"},
    {TUpdateStage::Trial, "trial"},
    {TUpdateStage::Failed, "failed"},
    {TUpdateStage::RolledBack, "rolledBack"},
};

std::string_view StageName(TUpdateStage stage) {
  for (const auto& [value, name] : kStageNames) {
    if (value == stage) return name;
  }
  return "none";
}

// Puts the previous version back; the record then remembers the version that failed.
TStartDecision RollBack(platform::IUpdateFiles& files, const TUpdateFileNames& names,
                        const TUpdateRecord& record, const std::string& reason) {
  TStartDecision decision;
  if (!files.Exists(names.Previous)) {
    // Nothing to go back to: the version in place stays, and so does no record.
    files.Remove(names.State);
    decision.Message = "version " + record.To + " " + reason +
                       ", but the previous version is gone; keeping " + record.To;
    return decision;
  }
  files.Restore(names.Exe, names.Previous, names.Failed);
  WriteUpdateRecord(files, names,
                    {TUpdateStage::RolledBack, record.From, record.To, record.To + " " + reason});
  decision.Restart = true;
  decision.Message = "version " + record.To + " " + reason + "; back to version " + record.From;
  return decision;
}

}  // namespace

TUpdateFileNames::TUpdateFileNames(const std::string& exePath) : Exe(exePath) {
  const std::size_t slash = exePath.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : exePath.substr(0, slash + 1);
  const std::string base = "." + exePath.substr(slash == std::string::npos ? 0 : slash + 1);
  State = folder + base + ".vlx-update";
  Lock = State + ".lock";
  Previous = folder + base + ".vlx-previous";
  Download = folder + base + ".vlx-download";
  Failed = folder + base + ".vlx-failed";
}

TUpdateRecord ReadUpdateRecord(const platform::IUpdateFiles& files, const TUpdateFileNames& names) {
  TUpdateRecord record;
  const std::optional<std::string> text = files.ReadSmallFile(names.State, kMaxStateBytes);
  if (!text) return record;
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseIterativeFlag |
            rapidjson::kParseValidateEncodingFlag>(text->data(), text->size());
  if (doc.HasParseError() || !doc.IsObject()) return record;
  const auto member = [&doc](const char* name) -> std::string {
    const auto it = doc.FindMember(name);
    return it != doc.MemberEnd() && it->value.IsString()
               ? std::string(it->value.GetString(), it->value.GetStringLength())
               : std::string();
  };
  const std::string stage = member("state");
  for (const auto& [value, name] : kStageNames) {
    if (stage == name) record.Stage = value;
  }
  record.From = member("from");
  record.To = member("to");
  record.Reason = member("reason");
  return record;
}

void WriteUpdateRecord(platform::IUpdateFiles& files, const TUpdateFileNames& names,
                       const TUpdateRecord& record) {
  files.WriteSmallFile(names.State,
                       "{\"state\": " + TStrUtils::StringToJsonString(StageName(record.Stage)) +
                           ", \"from\": " + TStrUtils::StringToJsonString(record.From) +
                           ", \"to\": " + TStrUtils::StringToJsonString(record.To) +
                           ", \"reason\": " + TStrUtils::StringToJsonString(record.Reason) + "}\n");
}

TUpdateTrial::TUpdateTrial(platform::IUpdateFiles& files, TUpdateFileNames names,
                           TUpdateRecord record, std::unique_ptr<platform::IFileLock> lock,
                           TSteadyClock clock)
    : FFiles(files),
      FNames(std::move(names)),
      FRecord(std::move(record)),
      FLock(std::move(lock)),
      FClock(std::move(clock)),
      FStarted(FClock()) {}

void TUpdateTrial::Confirm(const std::string& runningVersion) {
  if (!FLock) return;
  try {
    if (runningVersion == FRecord.To && FClock() - FStarted > kConfirmWithin) {
      WriteUpdateRecord(
          FFiles, FNames,
          {TUpdateStage::Failed, FRecord.From, FRecord.To,
           "did not come up within " + std::to_string(kConfirmWithin.count()) + " s"});
    } else {
      // Done (or a record that was not about this version). The previous version goes; where it
      // cannot yet (Windows, while it is still ending), a later start removes it.
      FFiles.Remove(FNames.State);
      FFiles.Remove(FNames.Previous);
    }
  } catch (const std::exception&) {
    // The record stays a trial, which the next start rolls back: the safe side.
  }
  FLock.reset();
}

void TUpdateTrial::Abandon() {
  if (!FLock) return;
  try {
    WriteUpdateRecord(FFiles, FNames, {TUpdateStage::Installed, FRecord.From, FRecord.To, ""});
  } catch (const std::exception&) {
  }
  FLock.reset();
}

TStartDecision DecideAtStart(platform::IUpdateFiles& files, const std::string& exePath,
                             TSteadyClock clock) {
  TStartDecision decision;
  try {
    const TUpdateFileNames names(exePath);
    const TUpdateRecord record = ReadUpdateRecord(files, names);
    // The common start: no update was ever installed here, and nothing is made beside the
    // executable.
    if (record.Stage == TUpdateStage::None && !files.Exists(names.Previous) &&
        !files.Exists(names.Failed) && !files.Exists(names.Download))
      return decision;
    // Whoever holds the lock is installing an update or trying a new version: not ours to touch.
    std::unique_ptr<platform::IFileLock> lock = files.TryLock(names.Lock);
    if (!lock) return decision;
    switch (record.Stage) {
      case TUpdateStage::Installed:
        WriteUpdateRecord(files, names, {TUpdateStage::Trial, record.From, record.To, ""});
        decision.Trial =
            std::make_unique<TUpdateTrial>(files, names, record, std::move(lock), std::move(clock));
        return decision;
      case TUpdateStage::Trial:
        return RollBack(files, names, record, "ended before it came up");
      case TUpdateStage::Failed:
        return RollBack(files, names, record, record.Reason);
      case TUpdateStage::None:
      case TUpdateStage::RolledBack:
        // What a finished update left: the version before a confirmed one, a rolled-back one, a
        // download that never finished.
        files.Remove(names.Previous);
        files.Remove(names.Failed);
        files.Remove(names.Download);
        return decision;
    }
  } catch (const std::exception& error) {
    decision = {};
    decision.Message = std::string("cannot finish an update: ") + error.what();
  }
  return decision;
}

}  // namespace velloc::update
