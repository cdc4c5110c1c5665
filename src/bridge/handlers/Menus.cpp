// Main menu and tray menu (families 12 and 14) functions; those not built yet answer "Not
// supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 12001 vlx.mainMenu.setItems
void MainMenuSetItems(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 12002 vlx.mainMenu.updateItem
void MainMenuUpdateItem(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 14001 vlx.trayMenu.showIcon
void TrayMenuShowIcon(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 14002 vlx.trayMenu.hideIcon
void TrayMenuHideIcon(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 14003 vlx.trayMenu.setItems
void TrayMenuSetItems(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 14004 vlx.trayMenu.updateItem
void TrayMenuUpdateItem(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
