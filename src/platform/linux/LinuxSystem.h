// ISystem on Linux: /proc for the executable, XDG folders, an abstract socket for the instance
// lock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/System.h"

namespace velloc::platform {

class TLinuxSystem final : public ISystem {
 public:
  explicit TLinuxSystem(std::vector<std::string> arguments) : FArguments(std::move(arguments)) {}

  std::string ExecutablePath() const override;
  std::vector<std::string> Arguments() const override { return FArguments; }
  std::string LocalAppDataDirPath() const override;
  char PathSeparator() const override { return '/'; }
  bool FileExists(const std::string& path) const override;
  bool ForceDirectories(const std::string& path) override;
  bool CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) override;
  void SetEnvironmentVariable(const std::string& name, const std::string& value) override;
  void RemoveEnvironmentVariable(const std::string& name) override;
  TInstanceLockResult CreateInstanceLock(const std::string& name) override;
  bool StartProcess(const std::string& executable,
                    const std::vector<std::string>& arguments) override;
  std::string TempDir() const override;
  std::string UserDocumentsDir() const override;
  std::string UserDesktopDir() const override;
  std::string RoamingAppDataDir() const override;
  char DecimalSeparator() const override;
  // The program name (GLib's, which GTK gives windows as their class and Wayland application
  // id), then `onApplicationId` for what the display layer names itself.
  void SetApplicationId(const std::string& appId) override;
  std::function<void(const std::string& appId)> OnApplicationId;

  // The abstract socket address of an instance name, without its leading NUL: the user's id, a
  // hash of $XDG_RUNTIME_DIR and the name, its end replaced by a hash when it would be too long.
  static std::string InstanceLockAddress(const std::string& name);

 private:
  std::vector<std::string> FArguments;
};

// Writes a new file whole or not at all: a temporary file in the same folder, flushed, then
// linked into place. An existing target is kept and the call fails.
bool WriteNewFileWhole(const std::string& path, const void* data, std::size_t size);

}  // namespace velloc::platform
