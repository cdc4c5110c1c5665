// Registry (family 13) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 13001 vlx.registry.writeValue
void RegistryWriteValue(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 13002 vlx.registry.readValue
void RegistryReadValue(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 13003 vlx.registry.valueExist
void RegistryValueExist(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 13004 vlx.registry.deleteValue
void RegistryDeleteValue(TBrowserExternalModule& module, const std::string& uuid,
                         const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 13005 vlx.registry.keyExist
void RegistryKeyExist(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 13006 vlx.registry.deleteKey
void RegistryDeleteKey(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
