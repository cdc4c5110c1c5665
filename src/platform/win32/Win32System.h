// ISystem on Windows: the module file name and the process command line, the shell's known
// folders, and a named mutex for the instance lock. Paths are UTF-8 here and UTF-16 at the
// system calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// windows.h, when included before, maps the name to its W function: the member would be
// declared under that name and a direct call from a file without windows.h would not link.
#ifdef SetEnvironmentVariable
#undef SetEnvironmentVariable
#endif

#include "platform/System.h"

namespace velloc::platform {

namespace win32 {
class TInstanceListener;
}

class TWin32System final : public ISystem {
 public:
  // The arguments are those of the process's own command line.
  TWin32System();
  ~TWin32System() override;
  TWin32System(const TWin32System&) = delete;
  TWin32System& operator=(const TWin32System&) = delete;

  std::string ExecutablePath() const override;
  std::vector<std::string> Arguments() const override;
  std::string LocalAppDataDirPath() const override;
  char PathSeparator() const override { return '\\'; }
  bool FileExists(const std::string& path) const override;
  bool ForceDirectories(const std::string& path) override;
  bool CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) override;
  std::string EnvironmentVariable(const std::string& name) const override;
  void SetEnvironmentVariable(const std::string& name, const std::string& value) override;
  void RemoveEnvironmentVariable(const std::string& name) override;
  // A named mutex, held until the process ends (or ReleaseInstanceLock).
  TInstanceLockResult CreateInstanceLock(const std::string& name) override;
  // Lets go of the mutex before the process ends: the process that restarts into an update
  // starts while this one is still ending.
  void ReleaseInstanceLock();
  bool StartProcess(const std::string& executable,
                    const std::vector<std::string>& arguments) override;
  std::string TempDir() const override;
  std::string UserDocumentsDir() const override;
  std::string UserDesktopDir() const override;
  std::string RoamingAppDataDir() const override;
  char DecimalSeparator() const override;
  // A named pipe of this user and session beside the mutex (Win32InstanceChannel.h).
  bool SendToRunningInstance(const std::string& name,
                             const std::vector<std::string>& arguments) override;
  void ListenForLaterStarts(const std::string& name,
                            std::function<void(std::vector<std::string>)> received) override;
  void StopListeningForLaterStarts() override;

  // The arguments of a command line after the program name, split as the system splits its
  // own (CommandLineToArgvW).
  static std::vector<std::string> SplitCommandLine(std::string_view commandLine);
  // One argument written so that the system's splitting gives it back unchanged: quoted when
  // it is empty or holds a blank or a quote, with the backslashes before a quote doubled.
  static std::string QuoteArgument(std::string_view argument);
  // The command line that starts `executable` with `arguments`.
  static std::string CommandLine(const std::string& executable,
                                 const std::vector<std::string>& arguments);

 private:
  std::unique_ptr<win32::TInstanceListener> FListener;
  void* FInstanceMutex = nullptr;  // HANDLE
};

}  // namespace velloc::platform
