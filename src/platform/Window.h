// The main window as the core sees it. A backend translates; the rules (limits, orders,
// full-screen bookkeeping) live in the core.
#pragma once

#include <string>

namespace velloc::platform {

// Border style numbers shared by the configuration and the bridge.
enum class TBorderStyle {
  None = 0,
  Single = 1,
  Sizeable = 2,
  Dialog = 3,
  ToolWindow = 4,
  SizeToolWindow = 5
};

enum class TWindowState { Normal, Minimized, Maximized };

struct TRect {
  int Top = 0;
  int Left = 0;
  int Width = 0;
  int Height = 0;
};

// Size limits in pixels; 0 means no limit.
struct TSizeConstraints {
  int MaxWidth = 0;
  int MaxHeight = 0;
  int MinWidth = 0;
  int MinHeight = 0;
};

class IMainWindowEvents {
 public:
  virtual ~IMainWindowEvents() = default;
  // Asked on every close request from the user or the system; false keeps the window open.
  virtual bool FormCloseQuery() = 0;
  // The window is closing for good.
  virtual void FormClose() = 0;
};

class IMainWindow {
 public:
  virtual ~IMainWindow() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // Outer rectangle, frame included, in screen pixels.
  virtual void SetBounds(const TRect& bounds) = 0;
  virtual TRect Bounds() const = 0;
  virtual void SetSizeConstraints(const TSizeConstraints& limits) = 0;
  // Centred on the desktop when first shown, or placed by the system.
  virtual void SetInitialPlacement(bool centred) = 0;
  virtual void SetBorderStyle(TBorderStyle style) = 0;
  virtual TBorderStyle BorderStyle() const = 0;
  virtual void SetWindowState(TWindowState state) = 0;
  virtual TWindowState WindowState() const = 0;
  virtual void SetTopmost(bool topmost) = 0;
  virtual bool Topmost() const = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void BringToFront() = 0;
  virtual bool Visible() const = 0;
  // Asks the window to close; the close query decides.
  virtual void Close() = 0;
};

}  // namespace velloc::platform
