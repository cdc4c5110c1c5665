#include "bridge/FileMask.h"

#include "core/Text.h"

namespace velloc::bridge {
namespace {

constexpr char32_t FoldCase(char32_t c) {
  return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

constexpr char32_t OtherCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + (U'a' - U'A');
  if (c >= U'a' && c <= U'z') return c - (U'a' - U'A');
  return c;
}

void Decode(std::string_view utf8, std::u32string& out) {
  out.clear();
  for (std::size_t pos = 0; pos < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {
      out += static_cast<char32_t>(byte);
      ++pos;
    } else {
      out += text::NextCodePoint(utf8, pos);
    }
  }
}

}  // namespace

TFileMask::TFileMask(std::string_view mask) {
  if (mask.find_first_not_of(' ') == std::string_view::npos)
    throw EFileMaskError("The file mask is blank");
  if (mask.find('/') != std::string_view::npos || mask.find('\0') != std::string_view::npos)
    throw EFileMaskError("The file mask holds a character that file names cannot hold");
  if (mask == "*.*") {
    FMatchesAll = true;
    return;
  }
  std::u32string chars;
  Decode(mask, chars);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    if (c == U'*') {
      // A run of stars means the same as one.
      if (FTokens.empty() || FTokens.back().Kind != TKind::AnyRun)
        FTokens.push_back({TKind::AnyRun});
    } else if (c == U'?') {
      FTokens.push_back({TKind::AnyOne});
    } else if (c == U'[') {
      TToken set{TKind::Set};
      set.FirstRange = FRanges.size();
      std::size_t j = i + 1;
      if (j < chars.size() && chars[j] == U'!') {
        set.Negated = true;
        ++j;
      }
      // A "]" right after the opening (or after "!") is a member, not the end.
      bool first = true;
      for (; j < chars.size() && (first || chars[j] != U']'); ++j, first = false) {
        const char32_t low = chars[j];
        if (j + 2 < chars.size() && chars[j + 1] == U'-' && chars[j + 2] != U']') {
          FRanges.push_back({low, chars[j + 2]});
          j += 2;
        } else {
          FRanges.push_back({low, low});
        }
      }
      if (j >= chars.size()) throw EFileMaskError("The file mask has a \"[\" without \"]\"");
      set.RangeCount = FRanges.size() - set.FirstRange;
      FTokens.push_back(set);
      i = j;
    } else {
      FTokens.push_back({TKind::Char, FoldCase(c)});
    }
  }
}

bool TFileMask::SetContains(const TToken& set, char32_t c) const {
  for (std::size_t r = set.FirstRange; r < set.FirstRange + set.RangeCount; ++r) {
    if (c >= FRanges[r].First && c <= FRanges[r].Last) return true;
  }
  return false;
}

bool TFileMask::TokenMatches(const TToken& token, char32_t c) const {
  switch (token.Kind) {
    case TKind::Char:
      return token.Char == FoldCase(c);
    case TKind::AnyOne:
      return true;
    case TKind::Set: {
      const bool inSet = SetContains(token, c) || SetContains(token, OtherCase(c));
      return inSet != token.Negated;
    }
    case TKind::AnyRun:
      break;
  }
  return false;
}

// Linear matching with one resumption point: on a mismatch the last "*" takes one more
// character. Enough because every other token stands for exactly one character.
bool TFileMask::Matches(std::string_view name) const {
  if (FMatchesAll) return true;
  Decode(name, FName);
  std::size_t t = 0, n = 0;
  std::size_t starToken = std::u32string::npos, starName = 0;
  while (n < FName.size()) {
    if (t < FTokens.size() && FTokens[t].Kind == TKind::AnyRun) {
      starToken = t++;
      starName = n;
    } else if (t < FTokens.size() && TokenMatches(FTokens[t], FName[n])) {
      ++t;
      ++n;
    } else if (starToken != std::u32string::npos) {
      t = starToken + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (t < FTokens.size() && FTokens[t].Kind == TKind::AnyRun)
    ++t;
  return t == FTokens.size();
}

}  // namespace velloc::bridge
