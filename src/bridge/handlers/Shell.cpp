// Shell (family 70) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 70001 vlx.shell.execute
void ShellExecute(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 70002 vlx.shell.explore
void ShellExplore(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 70003 vlx.shell.command
void ShellCommand(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 70004 vlx.shell.windows
void ShellWindows(TBrowserExternalModule& module, const std::string& uuid,
                  const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
