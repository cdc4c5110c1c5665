// IValueStore on the registry below HKEY_CURRENT_USER, in the process's native view. Every call
// opens the keys it needs and closes them before it returns; nothing is cached.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ValueStore.h"

namespace velloc::platform {

class TWin32RegistryValueStore final : public IValueStore {
 public:
  TWin32RegistryValueStore() = default;
  TWin32RegistryValueStore(const TWin32RegistryValueStore&) = delete;
  TWin32RegistryValueStore& operator=(const TWin32RegistryValueStore&) = delete;

  // Text kinds are stored as UTF-16 with one terminating zero; every other kind as its bytes.
  TWriteResult WriteValue(std::string_view key, std::string_view name,
                          const TStoredValue& value) override;
  TReadResult ReadValue(std::string_view key, std::string_view name) override;
  bool ValueExists(std::string_view key, std::string_view name) override;
  bool DeleteValue(std::string_view key, std::string_view name) override;
  // Open for reading only, so a key the user may read but not change still exists.
  bool KeyExists(std::string_view key) override;
  // Depth first: every subkey from the last down, then the key. The user's root itself is
  // never deleted (a path of backslashes alone names it).
  bool DeleteKey(std::string_view key) override;
  std::optional<TKeyListing> ListKey(std::string_view key) override;
};

}  // namespace velloc::platform
