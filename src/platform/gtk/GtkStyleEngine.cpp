#include "platform/gtk/GtkStyleEngine.h"

#include <cstdio>

#include "platform/gtk/GtkStyleSheet.h"

namespace velloc::platform::gtk {
namespace {

struct TParse {
  const std::string* Name;
  int Errors = 0;
};

// GTK reports each parse error through this signal and goes on parsing.
void OnParsingError(GtkCssProvider*, GtkCssSection* section, GError* error, TParse* parse) {
  ++parse->Errors;
  std::fprintf(stderr, "velloc: style '%s', line %u: %s\n", parse->Name->c_str(),
               section ? gtk_css_section_get_end_line(section) + 1 : 0u,
               error ? error->message : "parse error");
}

}  // namespace

TGtkStyleEngine::~TGtkStyleEngine() {
  // The screen outlives the engine; leave it as the system style found it.
  if (FActive) Install(nullptr);
}

glib::TObjectPtr<GtkCssProvider> TGtkStyleEngine::ParseStyleSheet(const std::string& name,
                                                                  const std::string& css) {
  glib::TObjectPtr<GtkCssProvider> provider(gtk_css_provider_new());
  TParse parse{&name};
  const gulong handler =
      g_signal_connect(provider.Get(), "parsing-error", G_CALLBACK(OnParsingError), &parse);
  glib::TError error;
  const bool loaded = gtk_css_provider_load_from_data(provider.Get(), css.data(),
                                                      static_cast<gssize>(css.size()), error.Out());
  g_signal_handler_disconnect(provider.Get(), handler);
  if (!loaded || parse.Errors > 0) return {};
  return provider;
}

bool TGtkStyleEngine::LoadStyle(const TStyleDefinition& style) {
  const std::string name(style.Name);
  TLoadedStyle loaded;
  loaded.Sheet = ParseStyleSheet(name, StyleSheet(style));
  loaded.Menus = ParseStyleSheet(name, MenuStyleSheet(style));
  if (!loaded.Sheet || !loaded.Menus) return false;
  FLoaded.insert_or_assign(name, std::move(loaded));
  return true;
}

void TGtkStyleEngine::ActivateStyle(const TStyleDefinition* style) {
  TLoadedStyle* next = nullptr;
  if (style) {
    const auto found = FLoaded.find(style->Name);
    if (found == FLoaded.end()) return;  // never loaded: the manager loads before activating
    next = &found->second;
  }
  Install(next);
}

void TGtkStyleEngine::Install(TLoadedStyle* next) {
  GdkScreen* screen = gdk_screen_get_default();
  TLoadedStyle* previous = FActive;
  FActive = next;
  if (!screen) return;  // no display: nothing to draw
  const auto add = [&](GtkCssProvider* provider) {
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_USER);
  };
  const auto remove = [&](GtkCssProvider* provider) {
    gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider));
  };
  // The new sheet goes in before the old one goes out; GTK restyles once, on its next frame.
  if (next) {
    add(next->Sheet.Get());
    if (!FMenusExcluded) add(next->Menus.Get());
  }
  if (previous && previous != next) {
    remove(previous->Sheet.Get());
    if (!FMenusExcluded) remove(previous->Menus.Get());
  }
}

void TGtkStyleEngine::ExcludeMenusFromStyling() {
  if (FMenusExcluded) return;
  FMenusExcluded = true;
  GdkScreen* screen = gdk_screen_get_default();
  if (FActive && screen)
    gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(FActive->Menus.Get()));
}

}  // namespace velloc::platform::gtk
