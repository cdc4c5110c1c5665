// General functions: identify the runtime.
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"
#include "core/Version.h"

namespace velloc::bridge::handlers {

// 10001 vlx.hello
void Hello(TBrowserExternalModule& module, const std::string& uuid, const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(kRuntimeVersion));
}

// 10002 vlx.isRuntime: a page only ever reaches this bridge inside the packaged runtime.
void IsRuntime(TBrowserExternalModule& module, const std::string& uuid,
               const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, "true");
}

}  // namespace velloc::bridge::handlers
