#include "bridge/TextFile.h"

namespace velloc::bridge {

std::vector<std::string_view> SplitTextLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string TextFileBytes(std::string_view contents) {
  std::string bytes = "\xEF\xBB\xBF";
  bytes.reserve(contents.size() + contents.size() / 16 + 8);
  for (const std::string_view line : SplitTextLines(contents)) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace velloc::bridge
