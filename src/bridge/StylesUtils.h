// The style routines the bridge and start-up use: the active style's name, the list of all
// style names, and switching by name.
#pragma once

#include <string>
#include <vector>

#include "platform/Styles.h"

namespace velloc::bridge {

class TStylesUtils {
 public:
  static std::string GetActiveTheme(const platform::IStyleManager& styles);
  // Clears the list and fills it with "Windows" and every other style name; with sorted set,
  // in the order of a case-insensitive comparison.
  static void GetAvailables(const platform::IStyleManager& styles, std::vector<std::string>& list,
                            bool sorted);
  // Whether the named style is active afterwards; see IStyleManager::TrySetStyle.
  static bool TrySetStyle(platform::IStyleManager& styles, const std::string& name, bool showError);
};

}  // namespace velloc::bridge
