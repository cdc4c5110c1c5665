#include "config/DesktopKeys.h"

#include <algorithm>

#include "core/Text.h"

namespace velloc::config {
namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits at any of `separators`, trimming blanks and dropping empty parts.
std::vector<std::string> Split(std::string_view text, std::string_view separators) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(separators, start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
      part.remove_prefix(1);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t'))
      part.remove_suffix(1);
    if (!part.empty()) parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

// The schemes of the web and of the runtime itself: claiming one would take every link of its
// kind from the browser, or hand the application's own addresses to it.
constexpr std::string_view kReservedSchemes[] = {
    "http",  "https", "file", "ftp", "ftps", "mailto",  "tel", "sms",  "data", "javascript",
    "about", "blob",  "ws",   "wss", "vlx",  "vlx-net", "ssh", "sftp", "smb",  "nfs"};

std::string_view SchemeProblem(std::string_view scheme) {
  // RFC 3986: a letter, then letters, digits, "+", "-" or ".".
  if (scheme.empty() || !IsAsciiLetter(scheme.front())) return "must begin with a letter";
  for (const char c : scheme) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.')
      return "may hold only letters, digits, \"+\", \"-\" and \".\"";
  }
  if (scheme.size() > 64) return "is longer than 64 characters";
  const std::string lower = text::AsciiLower(scheme);
  if (std::find(std::begin(kReservedSchemes), std::end(kReservedSchemes), lower) !=
      std::end(kReservedSchemes)) {
    return "belongs to the web or to the system";
  }
  return {};
}

// "type/subtype" of RFC 6838's restricted names.
bool IsMimeType(std::string_view type) {
  const auto slash = type.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size()) return false;
  if (type.size() > 127) return false;
  for (std::size_t i = 0; i < type.size(); ++i) {
    const char c = type[i];
    if (i == slash) continue;
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) &&
        std::string_view("!#$&-^_.+").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return type.find('/', slash + 1) == std::string_view::npos;
}

bool IsExtension(std::string_view extension) {
  if (extension.empty() || extension.size() > 32) return false;
  return std::all_of(extension.begin(), extension.end(), [](char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '.' || c == '+';
  });
}

// Free text for desktop files: one line, no control characters.
std::string OneLine(std::string_view text) {
  std::string line;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    if (text::IsControl(text::NextCodePoint(text, pos))) {
      line += ' ';
    } else {
      line.append(text.substr(start, pos - start));
    }
  }
  return line;
}

}  // namespace

TDesktopConfig ReadDesktopConfig(const TProjectIni& ini, std::vector<std::string>& problems) {
  TDesktopConfig desktop;
  for (const std::string& scheme : Split(ReadAppKey(ini, desktop::Schemes), ", ;")) {
    if (const std::string_view problem = SchemeProblem(scheme); !problem.empty()) {
      problems.push_back("the URL scheme \"" + OneLine(scheme) + "\" " + std::string(problem));
      continue;
    }
    std::string lower = text::AsciiLower(scheme);
    if (std::find(desktop.Schemes.begin(), desktop.Schemes.end(), lower) == desktop.Schemes.end()) {
      desktop.Schemes.push_back(std::move(lower));
    }
  }
  for (const std::string& entry : Split(ReadAppKey(ini, desktop::FileTypes), ";")) {
    const std::vector<std::string> words = Split(entry, " \t");
    TFileType type;
    type.MimeType = text::AsciiLower(words.front());
    if (!IsMimeType(type.MimeType)) {
      problems.push_back("\"" + OneLine(words.front()) + "\" is not a MIME type (type/subtype)");
      continue;
    }
    std::size_t i = 1;
    bool bad = false;
    for (; i < words.size() && words[i].rfind("*.", 0) == 0; ++i) {
      const std::string extension = text::AsciiLower(std::string_view(words[i]).substr(2));
      if (!IsExtension(extension)) {
        problems.push_back("\"" + OneLine(words[i]) + "\" is not a file name pattern *.EXT");
        bad = true;
        break;
      }
      type.Extensions.push_back(extension);
    }
    if (bad) continue;
    if (type.Extensions.empty()) {
      problems.push_back("the file type " + type.MimeType + " names no pattern *.EXT");
      continue;
    }
    for (; i < words.size(); ++i) {
      if (!type.Description.empty()) type.Description += ' ';
      type.Description += OneLine(words[i]);
    }
    desktop.FileTypes.push_back(std::move(type));
  }
  desktop.Comment = OneLine(ReadAppKey(ini, desktop::Comment));
  for (const std::string& category : Split(ReadAppKey(ini, desktop::Categories), ";, ")) {
    const bool plain = std::all_of(category.begin(), category.end(), [](char c) {
      return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_';
    });
    if (!plain) {
      problems.push_back("the category \"" + OneLine(category) + "\" is not a plain word");
      continue;
    }
    desktop.Categories.push_back(category);
  }
  if (const std::string version = ReadAppKey(ini, desktop::Version); !version.empty()) {
    // Debian: an upstream version begins with a digit and holds letters, digits and . + ~ -.
    const bool valid =
        IsAsciiDigit(version.front()) && std::all_of(version.begin(), version.end(), [](char c) {
          return IsAsciiLetter(c) || IsAsciiDigit(c) ||
                 std::string_view(".+~-").find(c) != std::string_view::npos;
        });
    if (valid) {
      desktop.Version = version;
    } else {
      problems.push_back("the version \"" + OneLine(version) +
                         "\" must begin with a digit and hold only letters, digits and . + ~ -");
    }
  }
  desktop.Maintainer = OneLine(ReadAppKey(ini, desktop::Maintainer));
  return desktop;
}

}  // namespace velloc::config
