// File-name masks of vlx.folders.listFiles: "*" (any run), "?" (one character), "[a-z]" sets with
// ranges and "[!x]" negation. ASCII letters match either case; every other character only itself.
// "*.*" matches every name, with or without a dot.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::bridge {

// A mask that cannot be used: empty or blank, a character no file name can hold ("/" or NUL),
// or a "[" without its "]".
class EFileMaskError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class TFileMask {
 public:
  // Throws EFileMaskError for a mask that cannot be used.
  explicit TFileMask(std::string_view mask);

  // Whether a name (UTF-8; a malformed byte counts as one character) matches. Not thread-safe:
  // the decoded name is kept in a buffer that is reused between calls.
  bool Matches(std::string_view name) const;

 private:
  enum class TKind { Char, AnyOne, AnyRun, Set };
  struct TRange {
    char32_t First, Last;
  };
  struct TToken {
    TKind Kind;
    char32_t Char = 0;           // Char: folded to lower case
    bool Negated = false;        // Set
    std::size_t FirstRange = 0;  // Set: its ranges in FRanges
    std::size_t RangeCount = 0;
  };

  bool SetContains(const TToken& set, char32_t c) const;
  bool TokenMatches(const TToken& token, char32_t c) const;

  bool FMatchesAll = false;
  std::vector<TToken> FTokens;
  std::vector<TRange> FRanges;
  mutable std::u32string FName;
};

}  // namespace velloc::bridge
