#include "bridge/FileTypes.h"

#include "core/StrUtils.h"

namespace velloc::bridge {

std::vector<platform::TFileType> ParseFileTypes(std::string_view fileTypes) {
  std::vector<platform::TFileType> types;
  for (const std::string& piece : TStrUtils::ExplodeStrings(";", fileTypes)) {
    std::vector<std::string> parts = TStrUtils::ExplodeStrings("|", piece);
    if (parts.size() == 2) types.push_back({std::move(parts[0]), std::move(parts[1])});
  }
  return types;
}

}  // namespace velloc::bridge
