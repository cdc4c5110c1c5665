#include "config/ProjectIni.h"

#include <unordered_set>

#include "core/IntText.h"
#include "core/Text.h"
#include "platform/SystemText.h"

namespace velloc::config {
namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> mark) {
  if (bytes.size() < mark.size()) return false;
  std::size_t i = 0;
  for (const std::uint8_t b : mark) {
    if (bytes[i++] != b) return false;
  }
  return true;
}

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string DecodeIniText(std::span<const std::uint8_t> bytes) {
  // UTF-8 after a byte-order mark is taken as UTF-8 even when damaged; damaged sequences become
  // U+FFFD so that every stored name and value is well-formed.
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return text::ToValidUtf8(AsChars(bytes.subspan(3)));
  if (StartsWith(bytes, {0xFF, 0xFE})) return text::Utf16ToUtf8(bytes.subspan(2), false);
  if (StartsWith(bytes, {0xFE, 0xFF})) return text::Utf16ToUtf8(bytes.subspan(2), true);
  // No mark: the system's ANSI code page on Windows; on Linux UTF-8 when the bytes are valid
  // UTF-8 (ASCII included), else Windows-1252, the common legacy encoding of such files.
  const std::string_view raw = AsChars(bytes);
  if (std::u16string ansi; platform::DecodeSystemAnsi(raw, ansi)) return text::Utf16ToUtf8(ansi);
  if (text::IsValidUtf8(raw)) return std::string(raw);
  return text::Windows1252ToUtf8(raw);
}

void TProjectIni::Clear() {
  FSections.clear();
  FSectionIndex.clear();
}

void TProjectIni::LoadFromBytes(std::span<const std::uint8_t> bytes) {
  LoadFromText(DecodeIniText(bytes));
}

void ForEachIniLine(std::string_view utf8, const std::function<void(const TIniLine&)>& visit) {
  std::size_t pos = 0;
  int number = 0;
  while (pos <= utf8.size()) {
    // Lines end at CR, LF or CR LF.
    std::size_t end = pos;
    while (end < utf8.size() && utf8[end] != '\r' && utf8[end] != '\n')
      ++end;
    const std::string_view line = text::TrimControl(utf8.substr(pos, end - pos));
    if (end < utf8.size() && utf8[end] == '\r' && end + 1 < utf8.size() && utf8[end + 1] == '\n') {
      ++end;
    }
    pos = end + 1;
    ++number;

    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      visit({TIniLine::TKind::Section,
             number,
             text::TrimControl(line.substr(1, line.size() - 2)),
             {}});
    } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
      visit({TIniLine::TKind::Value, number, text::TrimControl(line.substr(0, eq)),
             text::TrimControl(line.substr(eq + 1))});
    } else {
      visit({TIniLine::TKind::KeyOnly, number, line, {}});
    }
  }
}

std::optional<std::int32_t> ParseIniInteger(std::string_view value) {
  return text::TryStrToInt(value);
}

void TProjectIni::LoadFromText(std::string_view utf8) {
  Clear();
  Section* current = nullptr;
  ForEachIniLine(utf8, [&](const TIniLine& line) {
    if (line.Kind == TIniLine::TKind::Section) {
      auto [it, inserted] = FSectionIndex.emplace(text::LocaleUpper(line.Name), FSections.size());
      if (inserted) FSections.push_back(Section{std::string(line.Name), {}, {}});
      current = &FSections[it->second];
      return;
    }
    if (current == nullptr) return;  // before the first section header
    Line entry{std::string(line.Name), std::nullopt};
    if (line.Kind == TIniLine::TKind::Value) entry.Value = std::string(line.Value);
    current->LastLine[text::LocaleUpper(entry.Key)] = current->Lines.size();
    current->Lines.push_back(std::move(entry));
  });
}

const TProjectIni::Section* TProjectIni::FindSection(std::string_view section) const {
  const auto it = FSectionIndex.find(text::LocaleUpper(section));
  return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

const std::string* TProjectIni::FindValue(std::string_view section, std::string_view ident) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  const auto it = s->LastLine.find(text::LocaleUpper(ident));
  if (it == s->LastLine.end()) return nullptr;
  const auto& value = s->Lines[it->second].Value;
  return value ? &*value : nullptr;
}

std::string TProjectIni::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view def) const {
  const std::string* value = FindValue(section, ident);
  return value ? *value : std::string(def);
}

std::int32_t TProjectIni::ReadInteger(std::string_view section, std::string_view ident,
                                      std::int32_t def) const {
  const std::string* value = FindValue(section, ident);
  if (value == nullptr) return def;
  return ParseIniInteger(*value).value_or(def);
}

bool TProjectIni::ReadBool(std::string_view section, std::string_view ident, bool def) const {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TProjectIni::SectionExists(std::string_view section) const {
  return FindSection(section) != nullptr;
}

bool TProjectIni::ValueExists(std::string_view section, std::string_view ident) const {
  return FindValue(section, ident) != nullptr;
}

std::vector<std::string> TProjectIni::ReadSections() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const Section& s : FSections)
    names.push_back(s.Name);
  return names;
}

std::vector<std::string> TProjectIni::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  const Section* s = FindSection(section);
  if (s == nullptr) return keys;
  std::unordered_set<std::string> seen;
  for (const Line& line : s->Lines) {
    std::string upper = text::LocaleUpper(line.Key);
    if (seen.contains(upper)) continue;
    const Line& last = s->Lines[s->LastLine.at(upper)];
    if (last.Value) keys.push_back(last.Key);
    seen.insert(std::move(upper));
  }
  return keys;
}

}  // namespace velloc::config
