#include "platform/gtk/GtkStyles.h"

#include "core/Text.h"

namespace velloc::platform::gtk {

bool TGtkStyleManager::TrySetStyle(const std::string& name, bool showError) {
  // Style names are short: a long name is not compared, nor copied whole into the message.
  constexpr std::size_t kLongestName = 256;
  const std::string wanted = name.size() <= kLongestName ? text::LocaleUpper(name) : "";
  for (const std::string& style : StyleNames()) {
    if (!wanted.empty() && text::LocaleUpper(style) == wanted) {
      FActive = style;
      return true;
    }
  }
  if (showError) {
    FDialogs.ShowMessage("Error", "Style '" + text::Abbreviate(name, kLongestName) + "' not found",
                         true);
  }
  return false;
}

}  // namespace velloc::platform::gtk
