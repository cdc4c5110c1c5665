// The process-wide registry of visual styles: the system style "Windows" (the platform's native
// look) and the built-in styles, exactly one of them active. Names are looked up without regard
// to letter case and always reported as the registry writes them. A built-in style's definition
// goes to the toolkit the first time the style is used and stays loaded.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Styles.h"

namespace velloc::bridge {

class TStyleManager final : public platform::IStyleManager {
 public:
  TStyleManager(platform::IStyleEngine& engine, platform::IDialogs& dialogs,
                std::span<const platform::TStyleDefinition> builtins);
  TStyleManager(const TStyleManager&) = delete;
  TStyleManager& operator=(const TStyleManager&) = delete;

  bool TrySetStyle(const std::string& name, bool showError) override;
  std::string ActiveStyle() const override;
  // "Windows", then the built-in names in the order of their table.
  std::vector<std::string> StyleNames() const override;
  void ExcludeMenusFromStyling() override;

  // Whether the style's definition has gone to the toolkit.
  bool IsLoaded(std::string_view name) const;

 private:
  // Index into FBuiltins, or kSystem for the system style, or kNone.
  static constexpr std::size_t kSystem = static_cast<std::size_t>(-1);
  static constexpr std::size_t kNone = static_cast<std::size_t>(-2);
  std::size_t Find(const std::string& name) const;

  platform::IStyleEngine& FEngine;
  platform::IDialogs& FDialogs;
  std::span<const platform::TStyleDefinition> FBuiltins;
  std::vector<bool> FLoaded;  // per built-in style
  std::size_t FActive = kSystem;
};

}  // namespace velloc::bridge
