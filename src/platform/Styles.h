// Named visual styles for the native window parts. The core keeps the registry of styles and
// which one is active (IStyleManager); a backend turns a style's definition into the toolkit's
// own drawing and applies it to every window (IStyleEngine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::platform {

inline constexpr const char* kSystemStyleName = "Windows";

// The process-wide style manager, as start-up and the bridge reach it.
class IStyleManager {
 public:
  virtual ~IStyleManager() = default;
  // Makes the named style active (name compared without regard to case); true when it is active
  // afterwards. When no style matches and showError is set, tells the user
  // "Style '<name>' not found".
  virtual bool TrySetStyle(const std::string& name, bool showError) = 0;
  virtual std::string ActiveStyle() const = 0;
  // The system style's name followed by every other style name.
  virtual std::vector<std::string> StyleNames() const = 0;
  // Pop-up menus keep the platform's look.
  virtual void ExcludeMenusFromStyling() = 0;
};

// Colours as 0xRRGGBB.
using TRgb = std::uint32_t;

// What a built-in style looks like, toolkit-neutral. Colours a backend needs beyond these (text
// on the accent, hover shades) are derived from them.
struct TStylePalette {
  TRgb Background;  // window and dialog background
  TRgb Surface;     // entries, lists, text views
  TRgb Text;        // body text on Background and on Surface
  TRgb Accent;      // default buttons, checked boxes, focus, progress
  TRgb Selection;   // selected text, rows and menu-bar items
  TRgb Border;      // frames of buttons and entries, separators
  TRgb Bar;         // the menu bar
  bool Dark;        // light text on dark ground
  int Rounding;     // corner radius of buttons and entries, in pixels
  bool Gloss;       // bars and buttons with a soft vertical gradient
};

struct TStyleDefinition {
  std::string_view Name;
  TStylePalette Palette;
};

// The toolkit side of the style manager.
class IStyleEngine {
 public:
  virtual ~IStyleEngine() = default;
  // Turns a built-in definition into the toolkit's own style. Called once per style; the result
  // is kept for the life of the process. False when the toolkit refused it.
  virtual bool LoadStyle(const TStyleDefinition& style) = 0;
  // Redraws every window of the application in a loaded style, or in the platform's native look
  // when style is null.
  virtual void ActivateStyle(const TStyleDefinition* style) = 0;
  // From now on pop-up menus are drawn in the native look whatever the style.
  virtual void ExcludeMenusFromStyling() = 0;
};

}  // namespace velloc::platform
