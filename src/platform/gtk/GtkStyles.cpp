#include "platform/gtk/GtkStyles.h"

#include "core/Text.h"

namespace velloc::platform::gtk {

bool TGtkStyleManager::TrySetStyle(const std::string& name, bool showError) {
  for (const std::string& style : StyleNames()) {
    if (text::LocaleUpper(style) == text::LocaleUpper(name)) {
      FActive = style;
      return true;
    }
  }
  if (showError) FDialogs.ShowMessage("Error", "Style '" + name + "' not found", true);
  return false;
}

}  // namespace velloc::platform::gtk
