// The installer flow's platform on Linux: the GTK busy form, the installer run through pkexec
// (or directly as root) while the GTK main loop keeps running, and file removal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/RuntimeInstaller.h"
#include "platform/gtk/GtkInstallerForm.h"

namespace velloc::platform::gtk {

// The command line that runs `path` with the arguments `params` (split at blanks) elevated:
// through pkexec unless the process already runs as root.
std::vector<std::string> ElevatedCommandLine(const std::string& path, const std::string& params,
                                             bool isRoot);

class TGtkRuntimeInstaller final : public IRuntimeInstaller {
 public:
  explicit TGtkRuntimeInstaller(bool hasDisplay) : FHasDisplay(hasDisplay) {}

  void ShowBusyForm(const TInstallerFormStyle& style) override;
  std::string WriteInstaller(const std::string& folder, const std::string& name,
                             const std::vector<std::uint8_t>& bytes) override;
  int RunElevatedAndWait(const std::string& path, const std::string& params) override;
  bool DeleteDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;

 private:
  bool FHasDisplay;
  std::unique_ptr<TGtkInstallerForm> FForm;  // until the process ends
};

}  // namespace velloc::platform::gtk
