// The application's configuration ("vlx.ini" of the package): an in-memory INI text, read-only
// once loaded. The dialect is fixed because packages written for the Windows runtime must read
// the same everywhere: byte-order mark decides the encoding, names compare case-insensitively,
// the last line naming a key wins, and unreadable numbers fall back to the caller's default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velloc::config {

// One line of an INI text that is not blank and not a comment, as the dialect splits it: a
// section header, a key with a value ("Key=Value"), or a key without one (no "=").
struct TIniLine {
  enum class TKind { Section, Value, KeyOnly };
  TKind Kind;
  int Number;              // from 1
  std::string_view Name;   // the section's or the key's, trimmed
  std::string_view Value;  // trimmed; empty unless Kind is Value
};

// Calls `visit` for each such line in order. The one reading of the dialect's lines: loading
// and the packer's checks (config/ConfigCheck.h) both go through it.
void ForEachIniLine(std::string_view utf8, const std::function<void(const TIniLine&)>& visit);

// The integer reading of every number key: signed 32-bit decimal, or "$"/"0x" hexadecimal.
std::optional<std::int32_t> ParseIniInteger(std::string_view value);

class TProjectIni {
 public:
  TProjectIni() = default;

  // Decodes the bytes (UTF-8 / UTF-16 LE / UTF-16 BE by byte-order mark; without a mark UTF-8
  // when valid, else Windows-1252) and replaces the whole content with the sections parsed
  // from them. Never fails: malformed lines are ignored or read as keys without a value.
  void LoadFromBytes(std::span<const std::uint8_t> bytes);
  // The same for text that is already UTF-8 (tests, tools that build a configuration).
  void LoadFromText(std::string_view utf8);
  void Clear();

  // The value as stored, or `def` when the section or key is absent. A key present with an
  // empty value yields "", not the default.
  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view def) const;
  // Signed 32-bit decimal, "$" or "0x" hexadecimal; anything else (absent, words, empty text,
  // out of range) yields `def`.
  std::int32_t ReadInteger(std::string_view section, std::string_view ident,
                           std::int32_t def) const;
  // An integer whose default is 1 or 0: zero is false, any other number true; words such as
  // "true" or "yes" are not numbers and yield `def`.
  bool ReadBool(std::string_view section, std::string_view ident, bool def) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  // Section names in file order, each once, spelled as first written.
  std::vector<std::string> ReadSections() const;
  // Names of the keys of `section` that hold a value, in order of first appearance, spelled as
  // on their deciding (last) line.
  std::vector<std::string> ReadSection(std::string_view section) const;

 private:
  struct Line {
    std::string Key;
    std::optional<std::string> Value;  // nullopt: a line without "="
  };
  struct Section {
    std::string Name;
    std::vector<Line> Lines;
    // Upper-cased key -> index of the last line naming it.
    std::unordered_map<std::string, std::size_t> LastLine;
  };

  const Section* FindSection(std::string_view section) const;
  const std::string* FindValue(std::string_view section, std::string_view ident) const;

  std::vector<Section> FSections;
  std::unordered_map<std::string, std::size_t> FSectionIndex;  // upper-cased name -> index
};

// Decodes configuration bytes into UTF-8 by the rules of LoadFromBytes.
std::string DecodeIniText(std::span<const std::uint8_t> bytes);

}  // namespace velloc::config
