// Themes (family 80) functions: the active visual style, the list of styles, and switching by
// name. None of them answers with a failure.
#include <string>
#include <vector>

#include "bridge/StylesUtils.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {

// 80001 vlx.themes.getTheme
void ThemesGetTheme(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  const platform::IStyleManager* styles = module.Styles();
  if (styles == nullptr) return ReplyNotSupported(module, uuid);
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(TStylesUtils::GetActiveTheme(*styles)));
}

// 80002 vlx.themes.getThemes: every name, "Windows" included, sorted without regard to case.
void ThemesGetThemes(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  const platform::IStyleManager* styles = module.Styles();
  if (styles == nullptr) return ReplyNotSupported(module, uuid);
  std::vector<std::string> names;
  TStylesUtils::GetAvailables(*styles, names, true);
  std::string result = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) result += ",";
    result += TStrUtils::StringToJsonString(names[i]);
  }
  result += "]";
  module.ReplySuccess(uuid, result);
}

// 80003 vlx.themes.setTheme: a name of another letter case switches all the same, but the answer
// is true only when the active name is exactly the one asked for.
void ThemesSetTheme(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& data) {
  const std::string name = TBrowserExternalModule::GetArgString(data, "name", "");
  platform::IStyleManager* styles = module.Styles();
  if (styles == nullptr) return ReplyNotSupported(module, uuid);
  TStylesUtils::TrySetStyle(*styles, name, false);
  module.ReplySuccess(uuid, TStylesUtils::GetActiveTheme(*styles) == name ? "true" : "false");
}

}  // namespace velloc::bridge::handlers
