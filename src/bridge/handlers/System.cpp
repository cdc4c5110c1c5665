// System (family 11) functions: end the session or the machine's run, the network hardware
// addresses, desktop notifications.
#include <optional>
#include <string>

#include "bridge/SystemTexts.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

using Module = TBrowserExternalModule;

void EndSession(Module& module, const std::string& uuid, platform::TSessionEnd how) {
  platform::ISession& session = Required(module.Session());
  session.EndSession(how, [reply = module.DeferReply(uuid)](platform::TOutcome outcome) {
    if (outcome.Accepted) {
      reply.Success("true");
    } else {
      reply.Failure(TStrUtils::StringToJsonString(SystemErrorText(outcome.ErrorText)));
    }
  });
}

}  // namespace

// 11001 vlx.system.logoff
void SystemLogoff(Module& module, const std::string& uuid, const TJsonValue& /*data*/) {
  EndSession(module, uuid, platform::TSessionEnd::LogOff);
}

// 11002 vlx.system.reboot
void SystemReboot(Module& module, const std::string& uuid, const TJsonValue& /*data*/) {
  EndSession(module, uuid, platform::TSessionEnd::Reboot);
}

// 11003 vlx.system.shutdown
void SystemShutdown(Module& module, const std::string& uuid, const TJsonValue& /*data*/) {
  EndSession(module, uuid, platform::TSessionEnd::PowerOff);
}

// 11004 vlx.system.macAddresses
void SystemMacAddresses(Module& module, const std::string& uuid, const TJsonValue& /*data*/) {
  std::string result = "[";
  for (const platform::TNetworkAdapter& adapter : Required(module.Network()).Adapters()) {
    const std::optional<std::string> entry = MacAddressEntry(adapter);
    if (!entry) continue;
    if (result.size() > 1) result += ',';
    result += '"' + *entry + '"';
  }
  result += ']';
  module.ReplySuccess(uuid, result);
}

// 11005 vlx.system.notification
void SystemNotification(Module& module, const std::string& uuid, const TJsonValue& data) {
  platform::TNotification notification;
  notification.Name = Module::GetArgString(data, "name", "");
  notification.Title = Module::GetArgString(data, "title", "");
  notification.AlertBody = Module::GetArgString(data, "body", "");
  platform::INotifications& center = Required(module.NotificationCenter());
  center.Present(notification, [reply = module.DeferReply(uuid)](bool shown) {
    reply.Success(shown ? "true" : "false");
  });
}

}  // namespace velloc::bridge::handlers
