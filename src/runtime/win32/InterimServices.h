// Services the Windows runtime needs before their Win32 implementations arrive: each is the
// least that lets start-up run to its web view runtime check, with plain Win32 calls. The
// module file and style engine give way to the platform's own (src/platform/win32).
#pragma once

#include <windows.h>

// windows.h renames these to their W functions; here they are the interfaces' own names, as the
// core sees them, and the system's functions are called by their W names.
#undef SetEnvironmentVariable
#undef DeleteFile

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ModuleFile.h"
#include "platform/Notifications.h"
#include "platform/Styles.h"

namespace velloc::runtime::win32 {

class TInterimModuleFile final : public platform::IModuleFile {
 public:
  std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                std::size_t maxSize) const override;
  bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) override;
};

// No notification service yet: every notification answers that it was not shown.
class TNoNotifications final : public platform::INotifications {
 public:
  void Present(const platform::TNotification&, std::function<void(bool)> done) override {
    if (done) done(false);
  }
  void SetOnClick(std::function<void(const std::string&)>) override {}
};

// The native look only: no built-in style can be drawn yet, so none becomes active, and the
// themes functions answer what really shows (setTheme false, getTheme "Windows").
class TNativeStyleEngine final : public platform::IStyleEngine {
 public:
  bool LoadStyle(const platform::TStyleDefinition&) override { return false; }
  void ActivateStyle(const platform::TStyleDefinition*) override {}
  void ExcludeMenusFromStyling() override {}
};

}  // namespace velloc::runtime::win32
