#include "core/StrUtils.h"

#include "core/Text.h"

namespace velloc {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendUnicodeEscape(std::string& out, char16_t unit) {
  out += "\\u";
  out += kHexDigits[(unit >> 12) & 0xF];
  out += kHexDigits[(unit >> 8) & 0xF];
  out += kHexDigits[(unit >> 4) & 0xF];
  out += kHexDigits[unit & 0xF];
}

}  // namespace

// Hand-written on purpose: pages and tests rely on this exact output (solidus escaped, units up
// to U+20AB copied, everything from U+20AC escaped per UTF-16 unit), which no JSON library's
// writer produces.
std::string TStrUtils::StringToJsonString(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (const char16_t unit : units) {
    switch (unit) {
      case u'"':
        out += "\\\"";
        break;
      case u'\\':
        out += "\\\\";
        break;
      case u'/':
        out += "\\/";
        break;
      case u'\b':
        out += "\\b";
        break;
      case u'\t':
        out += "\\t";
        break;
      case u'\n':
        out += "\\n";
        break;
      case u'\f':
        out += "\\f";
        break;
      case u'\r':
        out += "\\r";
        break;
      default:
        if (unit < 0x20 || unit >= 0x20AC) {
          AppendUnicodeEscape(out, unit);
        } else if (unit < 0x80) {
          out += static_cast<char>(unit);
        } else {
          text::AppendUtf8(out, unit);  // 0x80..0x20AB: never a surrogate half
        }
    }
  }
  out += '"';
  return out;
}

std::vector<std::string> TStrUtils::ExplodeStrings(std::string_view separator,
                                                   std::string_view text) {
  std::vector<std::string> pieces;
  if (!separator.empty()) {
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator)) {
      pieces.emplace_back(text.substr(0, at));
      text.remove_prefix(at + separator.size());
    }
  }
  pieces.emplace_back(text);
  return pieces;
}

std::string_view TStrUtils::FileExtension(std::string_view path) {
  const std::size_t at = path.find_last_of(".\\:");
  if (at == std::string_view::npos || path[at] != '.') return {};
  return path.substr(at);
}

}  // namespace velloc
