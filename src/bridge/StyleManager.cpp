#include "bridge/StyleManager.h"

#include "core/Text.h"

namespace velloc::bridge {

TStyleManager::TStyleManager(platform::IStyleEngine& engine, platform::IDialogs& dialogs,
                             std::span<const platform::TStyleDefinition> builtins)
    : FEngine(engine), FDialogs(dialogs), FBuiltins(builtins), FLoaded(builtins.size(), false) {}

namespace {

// Style names are short: a longer name is not compared, nor copied whole into the message.
constexpr std::size_t kLongestName = 256;

}  // namespace

std::size_t TStyleManager::Find(const std::string& name) const {
  if (name.size() > kLongestName) return kNone;
  const std::string key = text::LocaleUpper(name);
  if (key == text::LocaleUpper(platform::kSystemStyleName)) return kSystem;
  for (std::size_t i = 0; i < FBuiltins.size(); ++i) {
    if (text::LocaleUpper(FBuiltins[i].Name) == key) return i;
  }
  return kNone;
}

bool TStyleManager::TrySetStyle(const std::string& name, bool showError) {
  const std::size_t index = Find(name);
  if (index == kNone) {
    if (showError) {
      FDialogs.ShowMessage("Error",
                           "Style '" + text::Abbreviate(name, kLongestName) + "' not found", true);
    }
    return false;
  }
  if (index == FActive) return true;
  if (index != kSystem && !FLoaded[index]) {
    // A definition the toolkit refuses leaves the current style in place.
    if (!FEngine.LoadStyle(FBuiltins[index])) return false;
    FLoaded[index] = true;
  }
  FActive = index;
  FEngine.ActivateStyle(index == kSystem ? nullptr : &FBuiltins[index]);
  return true;
}

std::string TStyleManager::ActiveStyle() const {
  return FActive == kSystem ? platform::kSystemStyleName : std::string(FBuiltins[FActive].Name);
}

std::vector<std::string> TStyleManager::StyleNames() const {
  std::vector<std::string> names{platform::kSystemStyleName};
  for (const platform::TStyleDefinition& style : FBuiltins)
    names.emplace_back(style.Name);
  return names;
}

void TStyleManager::ExcludeMenusFromStyling() {
  FEngine.ExcludeMenusFromStyling();
}

bool TStyleManager::IsLoaded(std::string_view name) const {
  for (std::size_t i = 0; i < FBuiltins.size(); ++i) {
    if (FBuiltins[i].Name == name) return FLoaded[i];
  }
  return false;
}

}  // namespace velloc::bridge
