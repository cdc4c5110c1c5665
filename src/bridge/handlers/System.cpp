// System (family 11) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 11001 vlx.system.logoff
void SystemLogoff(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 11002 vlx.system.reboot
void SystemReboot(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 11003 vlx.system.shutdown
void SystemShutdown(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 11004 vlx.system.macAddresses
void SystemMacAddresses(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 11005 vlx.system.notification
void SystemNotification(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
