#include "update/AppVersion.h"

#include <algorithm>

namespace velloc::update {
namespace {

constexpr std::size_t kMaxNumbers = 4;
constexpr std::size_t kMaxDigits = 9;  // fits 32 bits
constexpr std::size_t kMaxLength = 64;

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool TagWord(std::string_view word) {
  return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
  });
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Semantic versioning's order of two pre-release words.
std::strong_ordering CompareWords(const std::string& a, const std::string& b) {
  const bool numberA = AllDigits(a), numberB = AllDigits(b);
  if (numberA && numberB) {
    // Leading zeros do not change a number's value.
    const std::string_view trimmedA =
        std::string_view(a).substr(std::min(a.find_first_not_of('0'), a.size()));
    const std::string_view trimmedB =
        std::string_view(b).substr(std::min(b.find_first_not_of('0'), b.size()));
    if (trimmedA.size() != trimmedB.size()) return trimmedA.size() <=> trimmedB.size();
    return trimmedA.compare(trimmedB) <=> 0;
  }
  if (numberA != numberB)
    return numberA ? std::strong_ordering::less : std::strong_ordering::greater;
  return a.compare(b) <=> 0;
}

}  // namespace

std::optional<TAppVersion> TAppVersion::Parse(std::string_view text) {
  if (text.empty() || text.size() > kMaxLength) return std::nullopt;
  TAppVersion version;
  version.FText = std::string(text);
  const std::size_t dash = text.find('-');
  const std::vector<std::string_view> numbers = Split(text.substr(0, dash), '.');
  if (numbers.size() > kMaxNumbers) return std::nullopt;
  for (const std::string_view number : numbers) {
    if (!AllDigits(number) || number.size() > kMaxDigits) return std::nullopt;
    version.FNumbers.push_back(static_cast<std::uint32_t>(std::stoul(std::string(number))));
  }
  version.FNumbers.resize(kMaxNumbers, 0);
  if (dash != std::string_view::npos) {
    for (const std::string_view word : Split(text.substr(dash + 1), '.')) {
      if (!TagWord(word)) return std::nullopt;
      version.FTag.emplace_back(word);
    }
  }
  return version;
}

std::strong_ordering TAppVersion::operator<=>(const TAppVersion& other) const {
  if (const auto order = FNumbers <=> other.FNumbers; order != 0) return order;
  // A release comes after each of its pre-releases.
  if (FTag.empty() || other.FTag.empty()) return FTag.empty() <=> other.FTag.empty();
  const std::size_t common = std::min(FTag.size(), other.FTag.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (const auto order = CompareWords(FTag[i], other.FTag[i]); order != 0) return order;
  }
  return FTag.size() <=> other.FTag.size();
}

}  // namespace velloc::update
