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

std::string_view AppIdProblem(std::string_view id) {
  if (id.empty()) return "it is empty";
  if (id == "." || id == "..") return "it names a relative folder";
  if (id.size() > 255) return "it is longer than 255 bytes";
  if (id.find_first_of("/\\") != std::string_view::npos) return "it holds a path separator";
  for (std::size_t pos = 0; pos < id.size();) {
    if (text::IsControl(text::NextCodePoint(id, pos))) return "it holds a control character";
  }
  return {};
}

}  // namespace velloc::config
