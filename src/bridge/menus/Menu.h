// One menu of the bridge (the main menu or the tray menu): its item tree and its image
// collection, and how the tree is drawn (separator hiding, access keys).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Menus.h"

namespace velloc::bridge::menus {

// One node of a menu tree.
struct TMenuItem {
  std::int32_t Tag = 0;  // the item ID; not unique
  std::string Caption;   // "-" draws a separator; "&" marks the access key, "&&" is an ampersand
  bool Enabled = true;
  int ImageIndex = -1;      // index into the menu's images, or -1
  bool HasClick = false;    // described without `items`: a click raises the menu's event
  bool HasSubmenu = false;  // described with an `items` array, even an empty one
  std::vector<TMenuItem> Items;

  bool IsSeparator() const { return Caption == "-"; }
};

// A named image of a menu's collection; the position in the collection is the image index.
struct TMenuImageEntry {
  std::string Name;
  platform::TMenuImagePtr Image;
};

class TMenu {
 public:
  // `imageNamePrefix`: "MainMenuImg" or "TrayMenuImg".
  explicit TMenu(std::string imageNamePrefix) : FImageNamePrefix(std::move(imageNamePrefix)) {}

  std::vector<TMenuItem>& Items() { return FItems; }
  const std::vector<TMenuItem>& Items() const { return FItems; }
  const std::vector<TMenuImageEntry>& Images() const { return FImages; }

  // Adds an image under the next name (the prefix and the number of images held before) and
  // returns its index.
  int AddImage(platform::TMenuImagePtr image);
  // Drops the picture of an image that no item shows any more; its name and index stay, so the
  // numbering goes on as before. Keeps a page that keeps changing an item's image from piling up
  // pictures until the next rebuild.
  void ReleaseUnusedImage(int index);
  void ClearItems() { FItems.clear(); }
  void ClearImages() { FImages.clear(); }

  // The first item with this ID, searching each top-level item and then its descendants depth
  // first; null when none has it.
  TMenuItem* FindItem(std::int32_t id);

  // The tree as it is drawn.
  std::vector<platform::TMenuEntry> Entries() const;

 private:
  std::string FImageNamePrefix;
  std::vector<TMenuItem> FItems;
  std::vector<TMenuImageEntry> FImages;
};

// The text of a caption as shown and the byte offset of its explicit access key (-1 when it has
// none): "&x" marks x, "&&" shows one ampersand, a lone "&" at the end is dropped.
struct TCaptionText {
  std::string Text;
  int AccessKey = -1;
};
TCaptionText ParseCaption(std::string_view caption);

// One level of entries with access keys given to those without one: among the ASCII letters and
// digits of the text, the first whose key no other entry of the level uses yet.
void AssignAccessKeys(std::vector<platform::TMenuEntry>& level);

}  // namespace velloc::bridge::menus
