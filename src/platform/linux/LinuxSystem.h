// ISystem on Linux: /proc for the executable, XDG folders, a file lock in a private folder for
// the instance lock.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/System.h"
#include "platform/linux/InstanceChannel.h"

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
  std::string EnvironmentVariable(const std::string& name) const override;
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
  bool SendToRunningInstance(const std::string& name,
                             const std::vector<std::string>& arguments) override;
  void ListenForLaterStarts(const std::string& name,
                            std::function<void(std::vector<std::string>)> received) override;
  void StopListeningForLaterStarts() override;

  // The folders that may hold the user's instance locks, in the order they are tried:
  // $XDG_RUNTIME_DIR/velloc (when the variable holds an absolute path), then velloc-<uid> in the
  // temporary folder. The first that can be made private (see OpenPrivateFolder) is used. A
  // later channel between the instances of one application belongs in the same folder.
  static std::vector<std::string> InstanceLockFolders();
  // The lock file's name for an instance name: "<name>.lock", its end replaced by a hash when it
  // would be longer than a file name may be.
  static std::string InstanceLockFileName(const std::string& name);
  // Opens `path` as a folder that only this user can enter, creating it (mode 0700) when it is
  // missing: a real folder, not a symbolic link, owned by the user, its mode narrowed to 0700
  // when it was wider. The descriptor, or -1 when the folder cannot be made so (another user's
  // folder, a link, a file in the way).
  static int OpenPrivateFolder(const std::string& path);
  // The channel's socket beside the lock: a short name, so the path fits a socket address.
  static std::string InstanceChannelName(const std::string& name);

 private:
  std::vector<std::string> FArguments;
  std::string FLockFolder;  // the folder of the lock this process holds
  std::unique_ptr<TInstanceListener> FListener;
};

// Writes a new file whole or not at all: a temporary file in the same folder, flushed, then
// linked into place. An existing target is kept and the call fails.
bool WriteNewFileWhole(const std::string& path, const void* data, std::size_t size);

}  // namespace velloc::platform
