// What the web view runtime installer flow needs of the platform: its busy form, the elevated
// run of the installer and the removal of files and folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velloc::platform {

// The busy form's looks: the form's colour (0x00BBGGRR, or 0xFF000000 plus a system colour
// index), the indicator's colour (0 black, 1 white) and design (0 momentum dots, 1 rotating
// sector, 2 sector ring).
struct TInstallerFormStyle {
  std::int32_t Color = 0;
  int IndicatorColor = 1;
  int IndicatorType = 0;
};

class IRuntimeInstaller {
 public:
  virtual ~IRuntimeInstaller() = default;
  // Shows the busy form, which stays until the process ends and refuses to close.
  virtual void ShowBusyForm(const TInstallerFormStyle& style) = 0;
  // Writes the installer's bytes as `name` into a new folder of its own below `folder` (which
  // ends with a separator), made for this call and open to this user only, so that nothing
  // another program placed or changes can be run in its stead. The file's path; empty when it
  // could not be written.
  virtual std::string WriteInstaller(const std::string& folder, const std::string& name,
                                     const std::vector<std::uint8_t>& bytes) = 0;
  // Runs the installer elevated and hidden and waits for its end while the user interface keeps
  // running. Its exit code, or 0 when it could not be started (elevation refused, no file).
  virtual int RunElevatedAndWait(const std::string& path, const std::string& params) = 0;
  // Deletes a folder with everything in it (a file path deletes the file); true on success. A
  // link (with or without a trailing separator) is removed itself, never what it points to.
  virtual bool DeleteDirectory(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
};

}  // namespace velloc::platform
