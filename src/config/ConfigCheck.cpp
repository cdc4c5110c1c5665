#include "config/ConfigCheck.h"

#include <algorithm>

#include "config/AppKeys.h"
#include "core/Text.h"

namespace velloc::config {
namespace {

// A name from the file as a warning shows it: control characters escaped, length capped.
std::string Shown(std::string_view name) {
  return text::Abbreviate(text::EscapeControl(name.substr(0, 1024)), 80);
}

bool SameName(std::string_view a, std::string_view b) {
  return text::LocaleUpper(a) == text::LocaleUpper(b);
}

std::vector<std::string_view> KnownSections() {
  std::vector<std::string_view> sections;
  for (const ConfigKey& key : kConfigKeys) {
    const std::string_view section = ConfigKeySection(key);
    if (std::find(sections.begin(), sections.end(), section) == sections.end())
      sections.push_back(section);
  }
  return sections;
}

std::vector<std::string_view> KeysOf(std::string_view section) {
  std::vector<std::string_view> names;
  for (const ConfigKey& key : kConfigKeys) {
    if (ConfigKeySection(key) == section) names.push_back(ConfigKeyName(key));
  }
  return names;
}

// What a key of that type takes, for the warning about a value that is none.
std::string_view TypeWords(const ConfigKey& key) {
  if (std::holds_alternative<BoolKey>(key)) return "is not 1 (on) or 0 (off)";
  if (std::holds_alternative<ColorKey>(key)) return "is not a colour number (0x00BBGGRR)";
  return "is not a whole number";
}

// "; Width reads as 800 (its default)": what the runtime makes of the key, all lines counted.
std::string ReadsAs(const TProjectIni& ini, const ConfigKey& key) {
  return "; " + std::string(ConfigKeyName(key)) + " reads as " + AppKeyValueText(ini, key) +
         (ConfigKeyIsSet(ini, key) ? "" : " (its default)");
}

// Optimal string alignment distance over ASCII letters of either case.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  const std::string x = text::AsciiLower(a), y = text::AsciiLower(b);
  std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
  for (std::size_t i = 0; i <= x.size(); ++i)
    d[i][0] = i;
  for (std::size_t j = 0; j <= y.size(); ++j)
    d[0][j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[x.size()][y.size()];
}

}  // namespace

std::string_view NearestName(std::string_view name, const std::vector<std::string_view>& known) {
  // Longer names than any key are no slip of one; this also bounds the work for a hostile file.
  if (name.empty() || name.size() > 64) return {};
  const std::size_t limit = name.size() <= 4 ? 1 : 2;
  std::string_view nearest;
  std::size_t best = limit + 1;
  for (const std::string_view candidate : known) {
    const std::size_t distance = EditDistance(name, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

std::vector<TConfigWarning> CheckConfiguration(std::string_view utf8) {
  TProjectIni ini;
  ini.LoadFromText(utf8);
  const std::vector<std::string_view> sections = KnownSections();
  std::vector<TConfigWarning> warnings;
  bool inSection = false;
  std::string_view section;  // the table's spelling; empty inside an unknown section
  ForEachIniLine(utf8, [&](const TIniLine& line) {
    const auto warn = [&](std::string text) { warnings.push_back({line.Number, std::move(text)}); };
    if (line.Kind == TIniLine::TKind::Section) {
      inSection = true;
      const auto known = std::find_if(sections.begin(), sections.end(),
                                      [&](std::string_view s) { return SameName(s, line.Name); });
      section = known == sections.end() ? std::string_view() : *known;
      if (section.empty()) {
        std::string text = "unknown section [" + Shown(line.Name) + "]: its keys are ignored";
        if (const std::string_view near = NearestName(line.Name, sections); !near.empty())
          text += "; did you mean [" + std::string(near) + "]?";
        warn(std::move(text));
      }
      return;
    }
    const std::string shownLine = Shown(line.Kind == TIniLine::TKind::Value
                                            ? std::string(line.Name) + "=" + std::string(line.Value)
                                            : std::string(line.Name));
    if (!inSection) {
      warn("\"" + shownLine + "\" comes before any section header and is ignored");
      return;
    }
    if (section.empty()) return;  // said once, at the header
    const ConfigKey* key = FindConfigKey(section, line.Name);
    if (line.Kind == TIniLine::TKind::KeyOnly) {
      warn("\"" + shownLine + "\" has no \"=\" and sets nothing" + (key ? ReadsAs(ini, *key) : ""));
      return;
    }
    if (!key) {
      std::string text =
          "unknown key " + Shown(line.Name) + " in [" + std::string(section) + "] is ignored";
      std::string_view home;
      for (const std::string_view other : sections) {
        if (other != section && FindConfigKey(other, line.Name)) home = other;
      }
      if (!home.empty()) {
        text += "; it belongs in [" + std::string(home) + "]";
      } else if (const std::string_view near = NearestName(line.Name, KeysOf(section));
                 !near.empty()) {
        text += "; did you mean " + std::string(near) + "?";
      }
      warn(std::move(text));
      return;
    }
    if (!ParsesAs(*key, line.Value)) {
      warn("\"" + shownLine + "\": the value " + std::string(TypeWords(*key)) + ReadsAs(ini, *key));
    }
  });
  return warnings;
}

}  // namespace velloc::config
