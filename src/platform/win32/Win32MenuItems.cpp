#include "platform/win32/Win32MenuItems.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32MenuImages.h"

namespace velloc::platform::win32 {

std::wstring MenuCaption(const TMenuEntry& entry) {
  return Widen(MnemonicLabel(entry, '&'));
}

UINT TMenuCommands::Add(const TMenuEntry& entry) {
  // A command travels in 16 bits; the core builds far fewer items than that leaves room for.
  if (kFirstMenuCommand + FEntries.size() > 0xFFFF) return 0;
  FEntries.push_back({entry.Id, entry.Clickable && !entry.Submenu && !entry.Separator});
  return kFirstMenuCommand + static_cast<UINT>(FEntries.size() - 1);
}

std::optional<std::int32_t> TMenuCommands::Click(UINT command) const {
  if (command < kFirstMenuCommand || command - kFirstMenuCommand >= FEntries.size())
    return std::nullopt;
  const TCommand& found = FEntries[command - kFirstMenuCommand];
  if (!found.Clickable) return std::nullopt;
  return found.Id;
}

void AppendMenuEntries(HMENU menu, const std::vector<TMenuEntry>& entries,
                       const TMenuBuild& build) {
  UINT index = 0;
  for (const TMenuEntry& entry : entries) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    std::wstring caption;
    if (entry.Separator) {
      item.fMask = MIIM_FTYPE;
      item.fType = MFT_SEPARATOR;
    } else {
      caption = MenuCaption(entry);
      item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_DATA;
      item.fType = build.OwnerDraw ? MFT_OWNERDRAW : MFT_STRING;
      item.fState = entry.Enabled ? MFS_ENABLED : MFS_DISABLED;
      item.wID = build.Commands ? build.Commands->Add(entry) : 0;
      item.dwTypeData = caption.data();
      item.dwItemData = index;
      if (const auto* image = dynamic_cast<const TWin32MenuImage*>(entry.Image.get())) {
        // The disabled look is a grey picture: the system does not grey a bitmap of its own.
        if (HBITMAP bitmap = image->Bitmap(build.ImageSide, entry.Enabled)) {
          item.fMask |= MIIM_BITMAP;
          item.hbmpItem = bitmap;
        }
      }
      if (entry.Submenu) {
        HMENU submenu = CreatePopupMenu();
        TMenuBuild inner = build;
        inner.OwnerDraw = false;
        AppendMenuEntries(submenu, entry.Children, inner);
        item.fMask |= MIIM_SUBMENU;
        item.hSubMenu = submenu;
      }
    }
    if (!InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &item) &&
        item.hSubMenu)
      DestroyMenu(item.hSubMenu);
    ++index;
  }
}

}  // namespace velloc::platform::win32
