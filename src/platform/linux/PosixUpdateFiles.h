// Replacing the running executable with an update on Linux, and starting it in this process's
// place. The executable is replaced by renaming the download over it in its own folder, so its
// path names the old file or the new one at every moment; the old one stays reachable as a hard
// link (a copy where the file system has none) until the new one has confirmed itself. The
// running process keeps the old file it maps.
#pragma once

#include <string>
#include <vector>

#include "platform/Updates.h"

namespace velloc::platform {

class TPosixUpdateFiles final : public IUpdateFiles, public IProcessRestart {
 public:
  std::string ReplaceProblem(const std::string& exePath) const override;
  std::optional<std::string> ReadSmallFile(const std::string& path,
                                           std::size_t limit) const override;
  void WriteSmallFile(const std::string& path, const std::string& bytes) override;
  bool Remove(const std::string& path) override;
  bool Exists(const std::string& path) const override;
  std::unique_ptr<IFileLock> TryLock(const std::string& path) override;
  std::unique_ptr<IDownloadFile> CreateDownload(const std::string& path) override;
  void Install(const std::string& exePath, const std::string& downloadPath,
               const std::string& backupPath) override;
  void Restore(const std::string& exePath, const std::string& backupPath,
               const std::string& asidePath) override;
  // execv: the same process id, so whoever waits for this process waits for the new version.
  void RestartInto(const std::string& exePath, const std::vector<std::string>& arguments) override;
};

// True for an executable the system's package manager installed, which it alone updates.
bool InstalledByPackageManager(const std::string& exePath);

}  // namespace velloc::platform
