// Base64 (family 90) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 90001 vlx.base64.decodeToFile
void Base64DecodeToFile(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
