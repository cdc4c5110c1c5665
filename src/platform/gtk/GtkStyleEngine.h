// The styles on GTK 3: each built-in style is a stylesheet generated from its palette, installed
// for the whole screen at user priority, so every window of the application (the main window,
// its menu bar, message dialogs, the runtime's forms, tooltips and the file chooser when it is
// not a portal dialog) takes it at once and GTK restyles them on its next frame. The system style
// removes the stylesheet.
//
// GTK's dark-theme preference is left alone even for dark styles: WebKitGTK follows it into the
// pages' prefers-color-scheme, and pop-up menus would turn dark with it; the stylesheets cover
// the window parts themselves instead.
#pragma once

#include <map>
#include <string>

#include <gtk/gtk.h>

#include "platform/Styles.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {

class TGtkStyleEngine final : public IStyleEngine {
 public:
  TGtkStyleEngine() = default;
  TGtkStyleEngine(const TGtkStyleEngine&) = delete;
  TGtkStyleEngine& operator=(const TGtkStyleEngine&) = delete;
  ~TGtkStyleEngine() override;

  bool LoadStyle(const TStyleDefinition& style) override;
  void ActivateStyle(const TStyleDefinition* style) override;
  void ExcludeMenusFromStyling() override;

  // Parses a stylesheet into a provider; null (with the errors on standard error) when GTK
  // reports any parse error.
  static glib::TObjectPtr<GtkCssProvider> ParseStyleSheet(const std::string& name,
                                                          const std::string& css);

 private:
  struct TLoadedStyle {
    glib::TObjectPtr<GtkCssProvider> Sheet;
    glib::TObjectPtr<GtkCssProvider> Menus;
  };
  void Install(TLoadedStyle* style);

  std::map<std::string, TLoadedStyle, std::less<>> FLoaded;
  TLoadedStyle* FActive = nullptr;
  bool FMenusExcluded = false;
};

}  // namespace velloc::platform::gtk
