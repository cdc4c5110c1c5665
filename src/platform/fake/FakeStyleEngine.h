// A style engine that records what the style manager asked of the toolkit.
#pragma once

#include <string>
#include <vector>

#include "platform/Styles.h"

namespace velloc::platform::fake {

class TFakeStyleEngine : public IStyleEngine {
 public:
  std::vector<std::string> Loaded;     // names, in the order they were loaded
  std::vector<std::string> Activated;  // names, "" for the native look
  bool MenusExcluded = false;
  bool RefuseLoads = false;

  bool LoadStyle(const TStyleDefinition& style) override {
    if (RefuseLoads) return false;
    Loaded.emplace_back(style.Name);
    return true;
  }
  void ActivateStyle(const TStyleDefinition* style) override {
    Activated.emplace_back(style ? style->Name : "");
  }
  void ExcludeMenusFromStyling() override { MenusExcluded = true; }
};

}  // namespace velloc::platform::fake
