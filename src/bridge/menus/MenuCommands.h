// The menu functions a page calls, on one menu: set its items from JSON text, update one item.
// Shared by the main menu and the tray menu.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bridge/menus/Menu.h"
#include "platform/Menus.h"

namespace velloc::bridge::menus {

// Input that ends a call without a reply: an element that is not an object, a text that is no
// boolean, image data that cannot be decoded.
class EMenuError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a call answers: success with `true`, or failure with this text.
struct TMenuReply {
  bool Success = true;
  std::string Failure;
};

// Loads the image an item names. Null when nothing was found (the item keeps its image); throws
// EMenuError when the data cannot be decoded.
using TImageLoader = std::function<platform::TMenuImagePtr(const std::string& image)>;

// A page's menu is untrusted: deeper trees and more items than these are refused like a broken
// item ("Wrong menu item JSON"), so no page can exhaust the stack or the toolkit.
inline constexpr int kMaxMenuDepth = 16;
inline constexpr std::size_t kMaxMenuItems = 2000;

// Set items from the `items` text (not empty): see the failure texts in the replies. Items
// built before an error stay in the menu.
TMenuReply SetMenuItems(TMenu& menu, std::string_view itemsText, const TImageLoader& loadImage);

// The members of an update call as texts; empty means not given.
struct TMenuItemUpdate {
  std::string Id;
  std::string Caption;
  std::string Enabled;
  std::string Image;
};

// Changes the first item with the ID, depth first. An ID no item has is no error.
TMenuReply UpdateMenuItem(TMenu& menu, const TMenuItemUpdate& update,
                          const TImageLoader& loadImage);

}  // namespace velloc::bridge::menus
