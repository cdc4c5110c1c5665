// The web view module extracted beside the application's data: read back to check it against
// the package, and replaced whole when it does not match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velloc::platform {

class IModuleFile {
 public:
  virtual ~IModuleFile() = default;
  // The file's bytes, or no value when it is missing, unreadable or longer than `maxSize`.
  virtual std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                        std::size_t maxSize) const = 0;
  // Puts `bytes` at `path` in one step: a reader, or a process killed meanwhile, never leaves
  // part of a file there. False when it could not be written.
  virtual bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace velloc::platform
