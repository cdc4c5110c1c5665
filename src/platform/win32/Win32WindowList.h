// IWindowList on Windows: every top-level window of the desktop, through EnumWindows.
#pragma once

#include <string>
#include <vector>

#include "platform/Shell.h"

namespace velloc::platform {

class TWin32WindowList final : public IWindowList {
 public:
  std::vector<std::string> TopLevelWindowTitles() override;
};

}  // namespace velloc::platform
