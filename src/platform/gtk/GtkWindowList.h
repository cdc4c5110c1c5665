// IWindowList with GTK: on X11 every top-level window of the display, as the window manager lists
// them; elsewhere (Wayland) only the application's own windows, which is all a client may see.
#pragma once

#include "platform/Shell.h"

namespace velloc::platform::gtk {

class TGtkWindowList final : public IWindowList {
 public:
  std::vector<std::string> TopLevelWindowTitles() override;
};

}  // namespace velloc::platform::gtk
