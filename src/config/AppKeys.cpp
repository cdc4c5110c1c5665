#include "config/AppKeys.h"

#include <cstdio>
#include <vector>

#include "core/Text.h"

namespace velloc::config {

std::string AppKeyValueText(const TProjectIni& ini, const ConfigKey& key) {
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

const ConfigKey* FindConfigKey(std::string_view section, std::string_view name) {
  struct TEntry {
    std::string Section, Name;  // upper-cased
    const ConfigKey* Key;
  };
  static const std::vector<TEntry> index = [] {
    std::vector<TEntry> entries;
    for (const ConfigKey& key : kConfigKeys) {
      entries.push_back(
          {text::LocaleUpper(ConfigKeySection(key)), text::LocaleUpper(ConfigKeyName(key)), &key});
    }
    return entries;
  }();
  const std::string upperSection = text::LocaleUpper(section);
  const std::string upperName = text::LocaleUpper(name);
  for (const TEntry& entry : index) {
    if (entry.Section == upperSection && entry.Name == upperName) return entry.Key;
  }
  return nullptr;
}

bool ParsesAs(const ConfigKey& key, std::string_view value) {
  return std::holds_alternative<StringKey>(key) || ParseIniInteger(value).has_value();
}

bool ConfigKeyIsSet(const TProjectIni& ini, const ConfigKey& key) {
  const std::string_view section = ConfigKeySection(key);
  const std::string_view name = ConfigKeyName(key);
  return ini.ValueExists(section, name) && ParsesAs(key, ini.ReadString(section, name, ""));
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
