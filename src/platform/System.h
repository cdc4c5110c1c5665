// Operating-system services that start-up and the browser host need.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velloc::platform {

enum class TInstanceLockResult { Created, AlreadyExists, Failed };

class ISystem {
 public:
  virtual ~ISystem() = default;
  // Full path of the running executable.
  virtual std::string ExecutablePath() const = 0;
  // Command-line arguments after the program name.
  virtual std::vector<std::string> Arguments() const = 0;
  // The user's local application data folder, with a trailing separator.
  virtual std::string LocalAppDataDirPath() const = 0;
  virtual char PathSeparator() const = 0;
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool ForceDirectories(const std::string& path) = 0;
  // Writes a new file that must not exist yet; false when it could not be written.
  virtual bool CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) = 0;
  // The variable's value; empty when it is not set.
  virtual std::string EnvironmentVariable(const std::string& name) const = 0;
  virtual void SetEnvironmentVariable(const std::string& name, const std::string& value) = 0;
  virtual void RemoveEnvironmentVariable(const std::string& name) = 0;
  // Held until the process ends.
  virtual TInstanceLockResult CreateInstanceLock(const std::string& name) = 0;
  // Starts the executable again with the given arguments; false when it could not start.
  virtual bool StartProcess(const std::string& executable,
                            const std::vector<std::string>& arguments) = 0;

  // The user's folders, each with a trailing separator; empty when the system names none.
  virtual std::string TempDir() const = 0;
  virtual std::string UserDocumentsDir() const = 0;
  virtual std::string UserDesktopDir() const = 0;
  virtual std::string RoamingAppDataDir() const = 0;
  // The decimal separator of the user's locale, for numbers shown to pages.
  virtual char DecimalSeparator() const = 0;
  // Names the process after the application before its first window, so that launchers, task
  // bars and desktop files ("StartupWMClass") recognise its windows.
  virtual void SetApplicationId(const std::string& appId) { (void)appId; }
  // The single-instance channel: a later start hands its arguments to the running instance that
  // holds the lock `name` (CreateInstanceLock); false when none takes them. Only this user's
  // processes can send or receive them.
  virtual bool SendToRunningInstance(const std::string& name,
                                     const std::vector<std::string>& arguments) {
    (void)name;
    (void)arguments;
    return false;
  }
  // While this process holds the lock `name`, the arguments of later starts reach `received`
  // on the UI thread.
  virtual void ListenForLaterStarts(const std::string& name,
                                    std::function<void(std::vector<std::string>)> received) {
    (void)name;
    (void)received;
  }
  // Later starts reach nobody any more: `received` of ListenForLaterStarts may go.
  virtual void StopListeningForLaterStarts() {}
};

// Listens for later starts while it lives, so that their deliveries end with the scope that holds
// their receiver: a main loop may turn again after it, and an error's message box runs one too.
class TLaterStartsListener {
 public:
  TLaterStartsListener(ISystem& system, const std::string& name,
                       std::function<void(std::vector<std::string>)> received)
      : FSystem(system) {
    FSystem.ListenForLaterStarts(name, std::move(received));
  }
  TLaterStartsListener(const TLaterStartsListener&) = delete;
  TLaterStartsListener& operator=(const TLaterStartsListener&) = delete;
  ~TLaterStartsListener() { FSystem.StopListeningForLaterStarts(); }

 private:
  ISystem& FSystem;
};

}  // namespace velloc::platform
