#include "bridge/StylesUtils.h"

#include <algorithm>

#include "core/Text.h"

namespace velloc::bridge {

std::string TStylesUtils::GetActiveTheme(const platform::IStyleManager& styles) {
  return styles.ActiveStyle();
}

void TStylesUtils::GetAvailables(const platform::IStyleManager& styles,
                                 std::vector<std::string>& list, bool sorted) {
  list = styles.StyleNames();
  if (!sorted) return;
  // Stable, so names that differ only in case keep the registry's order.
  std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
    return text::LocaleUpper(a) < text::LocaleUpper(b);
  });
}

bool TStylesUtils::TrySetStyle(platform::IStyleManager& styles, const std::string& name,
                               bool showError) {
  return styles.TrySetStyle(name, showError);
}

}  // namespace velloc::bridge
