// Menus as the core hands them to a platform: the main window's menu bar and the pop-up menu of
// the tray icon. The rules (which separators show, which access keys items get, which items
// react to a click) are applied by the core; a backend only draws the entries it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::platform {

// A decoded menu image, owned by the backend that decoded it.
class IMenuImage {
 public:
  virtual ~IMenuImage() = default;
};
using TMenuImagePtr = std::shared_ptr<const IMenuImage>;

// One entry of a menu level as it is drawn.
struct TMenuEntry {
  std::int32_t Id = 0;
  bool Separator = false;
  std::string Text;        // the caption as shown, ampersand markup resolved
  int AccessKey = -1;      // byte offset in Text of the access key character, or -1
  bool Enabled = true;     // a disabled entry's image is drawn in grey
  TMenuImagePtr Image;     // null: no image
  bool Clickable = false;  // a click raises the menu's click event with Id
  bool Submenu = false;    // opens Children (which may be empty)
  std::vector<TMenuEntry> Children;
};

using TMenuItemClick = std::function<void(std::int32_t id)>;

// Turns encoded image data (PNG, JPEG, BMP, GIF, ICO, SVG and what else the platform reads) into
// a menu image of the platform's menu size.
class IMenuImageDecoder {
 public:
  virtual ~IMenuImageDecoder() = default;
  // Null when the data cannot be decoded.
  virtual TMenuImagePtr DecodeMenuImage(std::span<const std::uint8_t> data) = 0;
};

// The menu bar of the main window.
class IMainMenuBar {
 public:
  virtual ~IMainMenuBar() = default;
  // Puts the bar on the main window above the web view; later calls change nothing.
  virtual void Attach() = 0;
  // Replaces every entry. Shown only once attached.
  virtual void SetEntries(const std::vector<TMenuEntry>& entries) = 0;
  virtual void SetOnItemClick(TMenuItemClick onClick) = 0;
};

// A text in the notation of toolkits that mark the access key with a character in front of it
// (GTK and D-Bus menus use '_', Win32 '&'): the marker doubled where the text has it, and put
// before the byte at `accessKey` (none when it is outside the text).
inline std::string MnemonicLabel(std::string_view text, int accessKey, char marker) {
  std::string label;
  label.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<int>(i) == accessKey) label += marker;
    if (text[i] == marker) label += marker;
    label += text[i];
  }
  return label;
}

inline std::string MnemonicLabel(const TMenuEntry& entry, char marker) {
  return MnemonicLabel(entry.Text, entry.AccessKey, marker);
}

}  // namespace velloc::platform
