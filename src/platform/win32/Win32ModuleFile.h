// IModuleFile on Windows: the new bytes go to a temporary file beside the module, opened by this
// process alone (so no other start's clean-up can take it) and renamed over the module through its
// handle once complete. A module another instance has loaded cannot be replaced in place, but it
// can be renamed: it moves aside first, and its file goes once nothing holds it.
#pragma once

#include "platform/ModuleFile.h"

namespace velloc::platform::win32 {

class TWin32ModuleFile final : public IModuleFile {
 public:
  std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                std::size_t maxSize) const override;
  bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) override;
};

}  // namespace velloc::platform::win32
