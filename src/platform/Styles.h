// The process-wide style manager: named visual styles for the native window parts.
#pragma once

#include <string>
#include <vector>

namespace velloc::platform {

inline constexpr const char* kSystemStyleName = "Windows";

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

}  // namespace velloc::platform
