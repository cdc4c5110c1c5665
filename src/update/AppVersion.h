// An application's version, as vlx.ini's Version and an update manifest write it: one to four
// numbers separated by full stops ("2", "1.4", "2.10.3"), optionally followed by "-" and a
// pre-release tag of dot-separated words ("2.0.0-beta.2"). Numbers compare as numbers and missing
// ones count as 0 ("1.2" is "1.2.0"); a pre-release comes before its release, and tags compare
// word by word as semantic versioning says (numbers as numbers and before words, words by their
// bytes, a shorter tag first when the longer one begins with it).
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::update {

class TAppVersion {
 public:
  // No value for any other text (blanks, a leading "v", "+build" metadata, empty parts).
  static std::optional<TAppVersion> Parse(std::string_view text);

  const std::string& Text() const { return FText; }
  std::strong_ordering operator<=>(const TAppVersion& other) const;
  bool operator==(const TAppVersion& other) const { return (*this <=> other) == 0; }

 private:
  std::string FText;
  std::vector<std::uint32_t> FNumbers;  // always four
  std::vector<std::string> FTag;        // empty: a release
};

}  // namespace velloc::update
