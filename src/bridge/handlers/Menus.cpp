// Main menu and tray menu (families 12 and 14). The rules live in bridge/menus; these handlers
// read the arguments, reply, and hand the changed menu to the platform. A platform without a
// menu bar or tray icon answers "Not supported".
#include <exception>

#include "bridge/BrowserExternalForm.h"
#include "bridge/handlers/Handlers.h"
#include "bridge/menus/MenuCommands.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

enum class TWhich { Main, Tray };

bool Supported(const TBrowserExternalForm& form, TWhich which) {
  return which == TWhich::Main ? form.Platform().MainMenu != nullptr
                               : form.Platform().TrayIcon != nullptr;
}

void Refresh(TBrowserExternalForm& form, TWhich which) {
  if (which == TWhich::Main) {
    form.RefreshMainMenu();
  } else {
    form.RefreshTrayMenu();
  }
}

// Hands the menu to the platform also when the call ends in an error: what was built before
// the error stays, and the user sees what the menu holds.
template <typename Body>
void ChangeMenu(TBrowserExternalForm& form, TWhich which, Body&& body) {
  try {
    body();
  } catch (...) {
    Refresh(form, which);
    throw;
  }
  Refresh(form, which);
}

void Reply(TBrowserExternalModule& module, const std::string& uuid,
           const menus::TMenuReply& reply) {
  if (reply.Success) {
    module.ReplySuccess(uuid, "true");
  } else {
    module.ReplyFailure(uuid, TStrUtils::StringToJsonString(reply.Failure));
  }
}

menus::TImageLoader ImageLoader(const TBrowserExternalForm& form) {
  return [&form](const std::string& image) { return form.LoadImage(image); };
}

void SetItems(TBrowserExternalModule& module, const std::string& uuid, const TJsonValue& data,
              TWhich which) {
  TBrowserExternalForm& form = module.ExternalForm();
  if (!Supported(form, which)) return ReplyNotSupported(module, uuid);
  const std::string items = TBrowserExternalModule::GetArgString(data, "items", "");
  if (items.empty()) {
    module.ReplyFailure(uuid, "\"Missing menu items\"");
    return;
  }
  // From the first call with items on, the window carries the bar, whatever the items are.
  if (which == TWhich::Main) form.AttachMainMenu();
  menus::TMenu& menu = which == TWhich::Main ? form.MainMenu() : form.TrayMenu();
  menus::TMenuReply reply;
  ChangeMenu(form, which, [&] { reply = menus::SetMenuItems(menu, items, ImageLoader(form)); });
  Reply(module, uuid, reply);
}

void UpdateItem(TBrowserExternalModule& module, const std::string& uuid, const TJsonValue& data,
                TWhich which) {
  TBrowserExternalForm& form = module.ExternalForm();
  if (!Supported(form, which)) return ReplyNotSupported(module, uuid);
  menus::TMenuItemUpdate update;
  update.Id = TBrowserExternalModule::GetArgString(data, "id", "");
  update.Caption = TBrowserExternalModule::GetArgString(data, "caption", "");
  update.Enabled = TBrowserExternalModule::GetArgString(data, "enabled", "");
  update.Image = TBrowserExternalModule::GetArgString(data, "image", "");
  menus::TMenu& menu = which == TWhich::Main ? form.MainMenu() : form.TrayMenu();
  menus::TMenuReply reply;
  ChangeMenu(form, which, [&] { reply = menus::UpdateMenuItem(menu, update, ImageLoader(form)); });
  Reply(module, uuid, reply);
}

}  // namespace

// 12001 vlx.mainMenu.setItems
void MainMenuSetItems(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  SetItems(module, uuid, data, TWhich::Main);
}

// 12002 vlx.mainMenu.updateItem
void MainMenuUpdateItem(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  UpdateItem(module, uuid, data, TWhich::Main);
}

// 14001 vlx.trayMenu.showIcon
void TrayMenuShowIcon(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  TBrowserExternalForm& form = module.ExternalForm();
  if (!Supported(form, TWhich::Tray)) return ReplyNotSupported(module, uuid);
  form.ShowTrayIcon();
  module.ReplySuccess(uuid, "true");
}

// 14002 vlx.trayMenu.hideIcon
void TrayMenuHideIcon(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  TBrowserExternalForm& form = module.ExternalForm();
  if (!Supported(form, TWhich::Tray)) return ReplyNotSupported(module, uuid);
  form.HideTrayIcon();
  module.ReplySuccess(uuid, "true");
}

// 14003 vlx.trayMenu.setItems
void TrayMenuSetItems(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  SetItems(module, uuid, data, TWhich::Tray);
}

// 14004 vlx.trayMenu.updateItem
void TrayMenuUpdateItem(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  UpdateItem(module, uuid, data, TWhich::Tray);
}

}  // namespace velloc::bridge::handlers
