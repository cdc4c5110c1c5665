#include "tools/velloc/Cli.h"

namespace velloc::cli {

std::optional<std::filesystem::path> SafeEntryPath(const std::filesystem::path& root,
                                                   std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // a drive letter
  std::filesystem::path result = root;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t slash = name.find('/', start);
    const std::string_view part = name.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") result /= std::string(part);
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (result == root) return std::nullopt;
  return result;
}

}  // namespace velloc::cli
