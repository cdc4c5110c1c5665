// Replacing the running executable with an update on Windows, and starting it again. A running
// executable cannot be overwritten or deleted, but it can be renamed: it is renamed aside (and
// kept there as the previous version until the new one has confirmed itself), and the download
// is moved into its place; the new process starts once this one has let go of the instance lock.
#pragma once

#include <string>
#include <vector>

#include "platform/System.h"
#include "platform/Updates.h"

namespace velloc::platform::win32 {

class TWin32UpdateFiles final : public IUpdateFiles, public IProcessRestart {
 public:
  explicit TWin32UpdateFiles(ISystem& system) : FSystem(system) {}

  std::string ReplaceProblem(const std::string& exePath) const override;
  std::optional<std::string> ReadSmallFile(const std::string& path,
                                           std::size_t limit) const override;
  void WriteSmallFile(const std::string& path, const std::string& bytes) override;
  bool Remove(const std::string& path) override;
  bool Exists(const std::string& path) const override;
  // A file opened without sharing: no other process can open it while this one holds it.
  std::unique_ptr<IFileLock> TryLock(const std::string& path) override;
  std::unique_ptr<IDownloadFile> CreateDownload(const std::string& path) override;
  void Install(const std::string& exePath, const std::string& downloadPath,
               const std::string& backupPath) override;
  void Restore(const std::string& exePath, const std::string& backupPath,
               const std::string& asidePath) override;
  // Starts the executable; this process then ends.
  void RestartInto(const std::string& exePath, const std::vector<std::string>& arguments) override;

 private:
  ISystem& FSystem;
};

}  // namespace velloc::platform::win32
