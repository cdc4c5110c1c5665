// IModuleFile on Linux: a locked temporary file beside the module, renamed over it.
#pragma once

#include "platform/ModuleFile.h"

namespace velloc::platform {

class TLinuxModuleFile final : public IModuleFile {
 public:
  std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                std::size_t maxSize) const override;
  bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) override;
};

}  // namespace velloc::platform
