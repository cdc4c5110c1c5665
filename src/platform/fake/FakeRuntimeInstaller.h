// The installer flow's platform for tests: records the busy form, the runs and the deletions;
// deletions act on a TFakeSystem's files when one is given.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/RuntimeInstaller.h"
#include "platform/fake/Fakes.h"

namespace velloc::platform::fake {

class TFakeRuntimeInstaller : public IRuntimeInstaller {
 public:
  explicit TFakeRuntimeInstaller(TFakeSystem* system = nullptr) : FSystem(system) {}

  std::vector<TInstallerFormStyle> BusyForms;
  std::vector<std::pair<std::string, std::string>> Runs;  // path, params
  std::vector<std::string> DeletedDirectories, DeletedFiles;
  std::vector<std::string> Written;  // the installers' paths
  bool WriteFails = false;
  // What the installer does while it runs (repair the runtime, say); its exit code.
  std::function<int()> OnRun = [] { return 0; };

  void ShowBusyForm(const TInstallerFormStyle& style) override { BusyForms.push_back(style); }
  // A new folder per call, "installer-1/", "installer-2/"...; the file goes to the system's
  // files when a system is given. An empty answer when WriteFails is set.
  std::string WriteInstaller(const std::string& folder, const std::string& name,
                             const std::vector<std::uint8_t>& bytes) override {
    if (WriteFails) return {};
    const std::string path =
        folder + "installer-" + std::to_string(Written.size() + 1) + "/" + name;
    Written.push_back(path);
    if (FSystem) FSystem->Files[path] = bytes;
    return path;
  }
  int RunElevatedAndWait(const std::string& path, const std::string& params) override {
    Runs.emplace_back(path, params);
    return OnRun();
  }
  bool DeleteDirectory(const std::string& path) override {
    DeletedDirectories.push_back(path);
    if (FSystem)
      std::erase_if(FSystem->Files, [&](const auto& f) { return f.first.starts_with(path); });
    return true;
  }
  bool DeleteFile(const std::string& path) override {
    DeletedFiles.push_back(path);
    return FSystem ? FSystem->Files.erase(path) > 0 : true;
  }

 private:
  TFakeSystem* FSystem;
};

}  // namespace velloc::platform::fake
