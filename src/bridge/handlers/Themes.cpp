// Themes (family 80) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 80001 vlx.themes.getTheme
void ThemesGetTheme(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 80002 vlx.themes.getThemes
void ThemesGetThemes(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 80003 vlx.themes.setTheme
void ThemesSetTheme(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
