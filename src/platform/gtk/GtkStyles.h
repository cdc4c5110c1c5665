// The style manager. Only the system style ("Windows": the native GTK theme) exists so far; a
// name of no known style is refused, with a message when asked to tell the user.
#pragma once

#include "platform/Dialogs.h"
#include "platform/Styles.h"

namespace velloc::platform::gtk {

class TGtkStyleManager final : public IStyleManager {
 public:
  explicit TGtkStyleManager(IDialogs& dialogs) : FDialogs(dialogs) {}

  bool TrySetStyle(const std::string& name, bool showError) override;
  std::string ActiveStyle() const override { return FActive; }
  std::vector<std::string> StyleNames() const override { return {kSystemStyleName}; }
  void ExcludeMenusFromStyling() override {}  // menus are never restyled here

 private:
  IDialogs& FDialogs;
  std::string FActive = kSystemStyleName;
};

}  // namespace velloc::platform::gtk
