// The application's icon in the notification area (the tray) with its pop-up menu.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/Menus.h"

namespace velloc::platform {

class ITrayIcon {
 public:
  virtual ~ITrayIcon() = default;
  // The icon image (encoded, as the package carries it) and its tooltip; set before Show.
  virtual void SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  // Replaces the entries of the pop-up menu.
  virtual void SetMenuEntries(const std::vector<TMenuEntry>& entries) = 0;
  // A left click on the icon (a double click counts once).
  virtual void SetOnIconClick(std::function<void()> onClick) = 0;
  virtual void SetOnItemClick(TMenuItemClick onClick) = 0;
};

}  // namespace velloc::platform
