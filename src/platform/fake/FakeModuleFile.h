// IModuleFile in memory, for headless tests.
#pragma once

#include <map>

#include "platform/ModuleFile.h"

namespace velloc::platform::fake {

class TFakeModuleFile : public IModuleFile {
 public:
  std::map<std::string, std::vector<std::uint8_t>> Files;
  std::vector<std::string> Replaced;  // paths, in order
  bool Fails = false;

  std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                std::size_t maxSize) const override {
    const auto it = Files.find(path);
    if (it == Files.end() || it->second.size() > maxSize) return std::nullopt;
    return it->second;
  }
  bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) override {
    if (Fails) return false;
    Files[path].assign(bytes.begin(), bytes.end());
    Replaced.push_back(path);
    return true;
  }
};

}  // namespace velloc::platform::fake
