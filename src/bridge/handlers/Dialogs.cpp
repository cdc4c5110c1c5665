// Dialogs (family 20) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 20001 vlx.dialogs.openFile
void DialogsOpenFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 20002 vlx.dialogs.saveFile
void DialogsSaveFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 20003 vlx.dialogs.selFolder
void DialogsSelFolder(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
