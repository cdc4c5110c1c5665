#include "platform/webkit/Workarounds.h"

#include <cstdlib>
#include <system_error>

namespace velloc::webkit {

bool NeedsDmabufWorkaround(const std::filesystem::path& root, const char* userSetting) {
  if (userSetting) return false;
  std::error_code ec;
  return std::filesystem::exists(root / "sys/module/nvidia", ec) ||
         std::filesystem::exists(root / "proc/driver/nvidia/version", ec);
}

#if !defined(_WIN32)  // the WebKitGTK module; its rules are tested on every platform
void ApplyWebKitWorkarounds() {
  constexpr const char* kDmabufVariable = "WEBKIT_DISABLE_DMABUF_RENDERER";
  if (NeedsDmabufWorkaround("/", std::getenv(kDmabufVariable))) {
    ::setenv(kDmabufVariable, "1", 0);
  }
}
#endif

}  // namespace velloc::webkit
