// Builds Win32 menus from the entries the core hands over; shared by the menu bar and the tray
// icon's pop-up menu. Items get command IDs of their own, counted from kFirstMenuCommand, since
// the pages' item IDs need not be unique and a menu command carries only 16 bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/Menus.h"

namespace velloc::platform::win32 {

inline constexpr UINT kFirstMenuCommand = 0x1000;

// The caption as a Win32 menu shows it: "&" before the access key, a literal "&" doubled.
std::wstring MenuCaption(const TMenuEntry& entry);

// The command IDs of one built menu.
class TMenuCommands {
 public:
  UINT Add(const TMenuEntry& entry);
  // The item ID of an entry with a click, for the command a menu sent.
  std::optional<std::int32_t> Click(UINT command) const;
  void Clear() { FEntries.clear(); }

 private:
  struct TCommand {
    std::int32_t Id;
    bool Clickable;
  };
  std::vector<TCommand> FEntries;
};

// How one level is built.
struct TMenuBuild {
  TMenuCommands* Commands = nullptr;
  int ImageSide = 16;  // menu images in pixels at the menu's dpi
  // Top level only: items drawn by their owner, each with its index as item data.
  bool OwnerDraw = false;
};

// Appends one item per entry to `menu`, submenus (made with CreatePopupMenu) recursively. The
// submenus belong to `menu` and go with DestroyMenu.
void AppendMenuEntries(HMENU menu, const std::vector<TMenuEntry>& entries, const TMenuBuild& build);

}  // namespace velloc::platform::win32
