// The invisible holder of the main menu, the tray icon and the tray menu. The bridge module
// creates it with itself; the platform's menu bar, tray icon and image decoder are connected
// once the main window exists. Until then, or on a platform without them, the menu functions
// answer "Not supported".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/menus/Menu.h"
#include "bridge/menus/MenuCommands.h"
#include "platform/Menus.h"
#include "platform/Tray.h"

namespace velloc::bridge {

class TBrowserExternalModule;

// What the platform supplies for the menus; any part may be missing.
struct TMenuPlatform {
  platform::IMainMenuBar* MainMenu = nullptr;
  platform::ITrayIcon* TrayIcon = nullptr;
  platform::IMenuImageDecoder* ImageDecoder = nullptr;
};

class TBrowserExternalForm {
 public:
  explicit TBrowserExternalForm(TBrowserExternalModule& module);
  ~TBrowserExternalForm();
  TBrowserExternalForm(const TBrowserExternalForm&) = delete;
  TBrowserExternalForm& operator=(const TBrowserExternalForm&) = delete;

  // Connects the platform's controls and their click events; null parts disconnect.
  void SetPlatform(const TMenuPlatform& platform);
  const TMenuPlatform& Platform() const { return FPlatform; }

  menus::TMenu& MainMenu() { return FMainMenu; }
  menus::TMenu& TrayMenu() { return FTrayMenu; }

  // Hands the current tree of a menu to the platform.
  void RefreshMainMenu();
  void RefreshTrayMenu();
  void AttachMainMenu();

  // The image an item names: the package entry of that full name, else the file beside the
  // executable, else the path itself. Null when none exists; EMenuError when the data cannot
  // be decoded.
  platform::TMenuImagePtr LoadImage(const std::string& image) const;

  void ShowTrayIcon();
  void HideTrayIcon();
  bool TrayIconVisible() const;

  // The tray icon's image (encoded); without one, the package's application icon.
  void SetAppIcon(std::vector<std::uint8_t> icon) { FAppIcon = std::move(icon); }

  // Raise the click events in the page.
  void MainMenuItemClick(std::int32_t id);
  void TrayMenuItemClick(std::int32_t id);
  void TrayIconClick();

 private:
  void RunScript(const std::string& script);

  TBrowserExternalModule& FModule;
  TMenuPlatform FPlatform;
  menus::TMenu FMainMenu{"MainMenuImg"};
  menus::TMenu FTrayMenu{"TrayMenuImg"};
  std::vector<std::uint8_t> FAppIcon;
};

// The tray icon's tooltip: the executable's file name cut before its first full stop, every
// character after the first in lower case, at most 127 characters ("MyTool.exe" → "Mytool").
std::string TrayTooltip(std::string_view executablePath);

// Image data larger than this is refused as undecodable: no menu image needs it, and the page
// names the file.
inline constexpr std::uint64_t kMaxMenuImageBytes = 16u << 20;

}  // namespace velloc::bridge
