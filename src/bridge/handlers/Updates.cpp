// The update functions of the App family (50): is there a newer version, and install it.
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

std::string CheckJson(const update::TUpdateCheck& check) {
  return std::string("{\"available\": ") + (check.Available ? "true" : "false") +
         ", \"current\": " + TStrUtils::StringToJsonString(check.Current) +
         ", \"version\": " + TStrUtils::StringToJsonString(check.Version) +
         ", \"notes\": " + TStrUtils::StringToJsonString(check.Notes) +
         ", \"size\": " + std::to_string(check.Size) +
         ", \"rolledBack\": " + (check.RolledBack ? "true" : "false") + "}";
}

}  // namespace

// 50007 vlx.app.checkForUpdate: the manifest's answer once it has been fetched and checked.
void AppCheckForUpdate(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  update::TUpdater* updater = module.Updater();
  if (!updater) return ReplyNotSupported(module, uuid);
  const TDeferredReply reply = module.DeferReply(uuid);
  updater->Check(
      [reply](const update::TUpdateCheck& check) { reply.Success(CheckJson(check)); },
      [reply](const std::string& why) { reply.Failure(TStrUtils::StringToJsonString(why)); });
}

// 50008 vlx.app.installUpdate: progress events while it downloads; true once the new version is
// in place, and then the window closes and the application starts again as the new version.
void AppInstallUpdate(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  update::TUpdater* updater = module.Updater();
  if (!updater) return ReplyNotSupported(module, uuid);
  const TDeferredReply reply = module.DeferReply(uuid);
  const std::weak_ptr<void> alive = module.AliveToken();
  TBrowserExternalModule* self = &module;
  updater->Install(
      [alive, self](std::uint64_t received, std::uint64_t total) {
        if (!alive.expired()) self->UpdateProgress(received, total);
      },
      [alive, self, reply] {
        reply.Success("true");
        // As vlx.app.close: the page asked for it, so its close query is not asked again.
        if (!alive.expired() && self->OnAppCloseRequest()) self->OnAppCloseRequest()();
      },
      [reply](const std::string& why) { reply.Failure(TStrUtils::StringToJsonString(why)); });
}

}  // namespace velloc::bridge::handlers
