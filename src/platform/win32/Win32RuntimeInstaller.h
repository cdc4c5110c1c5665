// The installer flow's platform on Windows: the busy form (a borderless, rounded, shadowed
// square with an animated indicator that refuses to close), the installer run elevated through
// the shell while window messages keep flowing, and the shell's permanent delete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

// windows.h maps the name to its W function: the member keeps the interface's own name in every
// file, whether it saw windows.h or not.
#ifdef DeleteFile
#undef DeleteFile
#endif

#include "platform/RuntimeInstaller.h"

namespace velloc::platform::win32 {

class TWin32RuntimeInstaller final : public IRuntimeInstaller {
 public:
  TWin32RuntimeInstaller() = default;
  TWin32RuntimeInstaller(const TWin32RuntimeInstaller&) = delete;
  TWin32RuntimeInstaller& operator=(const TWin32RuntimeInstaller&) = delete;
  ~TWin32RuntimeInstaller() override;

  void ShowBusyForm(const TInstallerFormStyle& style) override;
  std::string WriteInstaller(const std::string& folder, const std::string& name,
                             const std::vector<std::uint8_t>& bytes) override;
  int RunElevatedAndWait(const std::string& path, const std::string& params) override;
  bool DeleteDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;

  // The busy form once shown, for tests; null before.
  HWND BusyForm() const { return FForm; }

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HWND window);

  HWND FForm = nullptr;
  TInstallerFormStyle FStyle;
  unsigned FFrame = 0;  // the indicator's animation step
};

}  // namespace velloc::platform::win32
