#include "browser/DocumentCookies.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/Text.h"

namespace velloc::browser {
namespace {

// Browsers ignore a cookie whose name and value together exceed this, and an attribute value
// longer than the second.
constexpr std::size_t kMaxNameAndValue = 4096;
constexpr std::size_t kMaxAttributeValue = 1024;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// Control characters other than the tab make a browser ignore the whole cookie.
bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

bool IsDelimiter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) ||
         (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Leading digits of a date token, as the date algorithm reads them: between min and max of them,
// and whatever follows must not be a digit.
std::optional<int> LeadingNumber(std::string_view token, std::size_t min, std::size_t max) {
  std::size_t n = 0;
  int value = 0;
  while (n < token.size() && token[n] >= '0' && token[n] <= '9') {
    if (n == max) return std::nullopt;
    value = value * 10 + (token[n] - '0');
    ++n;
  }
  if (n < min) return std::nullopt;
  return value;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  // RFC 6265, section 5.1.1: tokens between delimiters; the first that reads as a time, a day
  // of the month, a month and a year each count.
  std::optional<int> hour, minute, second, day, month, year;
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDelimiter(text[pos]))
      ++pos;
    std::size_t end = pos;
    while (end < text.size() && !IsDelimiter(text[end]))
      ++end;
    const std::string_view token = text.substr(pos, end - pos);
    pos = end;
    if (token.empty()) continue;
    if (!hour) {
      // hms-time: 1*2DIGIT ":" 1*2DIGIT ":" 1*2DIGIT, maybe followed by non-digits.
      const std::size_t c1 = token.find(':');
      const std::size_t c2 = c1 == std::string_view::npos ? c1 : token.find(':', c1 + 1);
      if (c2 != std::string_view::npos) {
        const auto h = LeadingNumber(token.substr(0, c1), 1, 2);
        const auto m = LeadingNumber(token.substr(c1 + 1, c2 - c1 - 1), 1, 2);
        const auto s = LeadingNumber(token.substr(c2 + 1), 1, 2);
        if (h && m && s && c1 <= 2 && c2 - c1 - 1 <= 2) {
          hour = h;
          minute = m;
          second = s;
          continue;
        }
      }
    }
    if (!day) {
      if (const auto d = LeadingNumber(token, 1, 2)) {
        day = d;
        continue;
      }
    }
    if (!month && token.size() >= 3) {
      const std::string lower = text::AsciiLower(token.substr(0, 3));
      const auto found = std::find(kMonths.begin(), kMonths.end(), lower);
      if (found != kMonths.end()) {
        month = static_cast<int>(found - kMonths.begin()) + 1;
        continue;
      }
    }
    if (!year) {
      if (const auto y = LeadingNumber(token, 2, 4)) {
        year = y;
        continue;
      }
    }
  }
  if (!hour || !day || !month || !year) return std::nullopt;
  if (*year >= 70 && *year <= 99) *year += 1900;
  if (*year >= 0 && *year <= 69) *year += 2000;
  static constexpr std::array<int, 12> kDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*day < 1 || *day > kDays[static_cast<std::size_t>(*month - 1)] || *year < 1601 ||
      *hour > 23 || *minute > 59 || *second > 59 ||
      (*month == 2 && *day == 29 && !IsLeapYear(*year))) {
    return std::nullopt;
  }
  return DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) * 86400 +
         *hour * 3600 + *minute * 60 + *second;
}

std::string DefaultCookiePath(std::string_view documentPath) {
  if (documentPath.empty() || documentPath.front() != '/') return "/";
  const std::size_t slash = documentPath.rfind('/');
  if (slash == 0) return "/";
  return std::string(documentPath.substr(0, slash));
}

bool CookiePathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (!requestPath.starts_with(cookiePath)) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::optional<TDocumentCookie> ParseDocumentCookie(std::string_view text,
                                                   std::string_view documentPath,
                                                   std::int64_t now) {
  const std::size_t semicolon = text.find(';');
  const std::string_view pair = text.substr(0, semicolon);
  if (HasControl(pair)) return std::nullopt;
  TDocumentCookie cookie;
  if (const std::size_t equals = pair.find('='); equals == std::string_view::npos) {
    // A pair without "=" is a cookie with an empty name.
    cookie.Value = TrimBlanks(pair);
  } else {
    cookie.Name = TrimBlanks(pair.substr(0, equals));
    cookie.Value = TrimBlanks(pair.substr(equals + 1));
  }
  if (cookie.Name.empty() && cookie.Value.empty()) return std::nullopt;
  if (cookie.Name.size() + cookie.Value.size() > kMaxNameAndValue) return std::nullopt;
  // A nameless cookie whose value looks like a prefixed name would pass for one.
  const auto prefixed = [&](std::string_view prefix) {
    return text::AsciiStartsWithIgnoreCase(cookie.Name, prefix) ||
           (cookie.Name.empty() && text::AsciiStartsWithIgnoreCase(cookie.Value, prefix));
  };

  std::optional<std::int64_t> maxAgeExpiry, expires;
  bool hasDomain = false;
  bool httpOnly = false;
  std::string path;
  std::string_view rest = semicolon == std::string_view::npos ? "" : text.substr(semicolon + 1);
  while (!rest.empty()) {
    const std::size_t next = rest.find(';');
    const std::string_view attribute = rest.substr(0, next);
    rest = next == std::string_view::npos ? "" : rest.substr(next + 1);
    const std::size_t equals = attribute.find('=');
    const std::string name = text::AsciiLower(TrimBlanks(attribute.substr(0, equals)));
    const std::string_view value =
        equals == std::string_view::npos ? "" : TrimBlanks(attribute.substr(equals + 1));
    if (value.size() > kMaxAttributeValue) continue;
    if (name == "expires") {
      expires = ParseCookieDate(value);
    } else if (name == "max-age") {
      const bool negative = value.starts_with('-');
      const std::string_view digits = negative ? value.substr(1) : value;
      if (!AllDigits(digits)) continue;
      // Zero or less: expired at once. Beyond a few centuries: as far as can be written.
      std::int64_t seconds = 0;
      for (const char c : digits) {
        if (seconds > std::numeric_limits<std::int64_t>::max() / 20) break;
        seconds = seconds * 10 + (c - '0');
      }
      maxAgeExpiry = negative || seconds == 0
                         ? std::numeric_limits<std::int64_t>::min()
                         : now + std::min<std::int64_t>(seconds, 400LL * 365 * 86400);
    } else if (name == "domain") {
      hasDomain = hasDomain || !value.empty();
    } else if (name == "path") {
      path = value.starts_with('/') ? std::string(value) : std::string();
    } else if (name == "secure") {
      cookie.Secure = true;
    } else if (name == "httponly") {
      httpOnly = true;
    }
  }
  if (hasDomain || httpOnly) return std::nullopt;
  cookie.Path = path.empty() ? DefaultCookiePath(documentPath) : path;
  if (prefixed("__Secure-") && !cookie.Secure) return std::nullopt;
  if (prefixed("__Host-") && (!cookie.Secure || cookie.Path != "/")) return std::nullopt;
  if (maxAgeExpiry) {
    cookie.Expires = *maxAgeExpiry;
  } else if (expires) {
    cookie.Expires = expires;
  }
  cookie.Created = now;
  return cookie;
}

std::string DocumentCookieText(std::vector<TDocumentCookie> cookies, std::string_view documentPath,
                               std::int64_t now) {
  std::erase_if(cookies, [&](const TDocumentCookie& c) {
    return (c.Expires && *c.Expires <= now) || !CookiePathMatches(documentPath, c.Path);
  });
  std::stable_sort(cookies.begin(), cookies.end(),
                   [](const TDocumentCookie& a, const TDocumentCookie& b) {
                     if (a.Path.size() != b.Path.size()) return a.Path.size() > b.Path.size();
                     return a.Created < b.Created;
                   });
  std::string out;
  for (const TDocumentCookie& c : cookies) {
    if (!out.empty()) out += "; ";
    if (!c.Name.empty()) {
      out += c.Name;
      out += '=';
    }
    out += c.Value;
  }
  return out;
}

}  // namespace velloc::browser
