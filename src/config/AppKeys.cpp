#include "config/AppKeys.h"

#include <cstdio>

#include "core/Text.h"

namespace velloc::config {

std::string AppKeyValueText(const TProjectIni& ini, const AppKey& key) {
  struct Visitor {
    const TProjectIni& Ini;
    std::string operator()(const StringKey& k) const { return ReadAppKey(Ini, k); }
    std::string operator()(const IntegerKey& k) const { return std::to_string(ReadAppKey(Ini, k)); }
    std::string operator()(const BoolKey& k) const { return ReadAppKey(Ini, k) ? "true" : "false"; }
    std::string operator()(const ColorKey& k) const {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%08X", static_cast<std::uint32_t>(ReadAppKey(Ini, k)));
      return buf;
    }
  };
  return std::visit(Visitor{ini}, key);
}

std::string WebviewArgumentLine(const TProjectIni& ini) {
  std::string value = ReadAppKey(ini, app::WebviewArguments);
  if (text::TrimControl(value).empty()) return std::string(kDefaultWebviewArguments);
  return value;
}

}  // namespace velloc::config
