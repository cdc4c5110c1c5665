// App (family 50) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 50001 vlx.app.close: the main window closes itself in answer, so there is never a reply.
void AppClose(TBrowserExternalModule& module, const std::string& /*uuid*/,
              const TJsonValue& /*data*/) {
  if (module.OnAppCloseRequest()) module.OnAppCloseRequest()();
}

// 50002 vlx.app.inFullscreen
void AppInFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 50003 vlx.app.enterFullscreen
void AppEnterFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 50004 vlx.app.exitFullscreen
void AppExitFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 50005 vlx.app.getArgs
void AppGetArgs(TBrowserExternalModule& module, const std::string& uuid,
                const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 50006 vlx.app.navigate
void AppNavigate(TBrowserExternalModule& module, const std::string& uuid,
                 const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
