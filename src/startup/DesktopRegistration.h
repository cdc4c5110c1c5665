// The application's URL schemes and file types (section Desktop of vlx.ini) on Windows: written
// for the user below Software\Classes of the registry at start, as an installer would, so that
// a link or a file opened in Explorer or a browser starts the application with it as its
// argument. Nothing removes them but the user. The user's own choices stay: an extension that
// already names another program keeps it, the application is only added to its "Open with".
// An executable that an installer put in place (`velloc pack --msi`) registers nothing: the
// installer wrote the same values and removes them again, which it could not do for values
// written here.
#pragma once

#include <string>
#include <vector>

#include "config/DesktopKeys.h"
#include "platform/ValueStore.h"

namespace velloc::startup {

struct TClassValue {
  std::string Key;   // below the user's root
  std::string Name;  // "" is the key's default value
  std::string Data;
  bool KeepExisting = false;  // written only where the value is absent
};

// Where the installer records what it installed: a value named by the installed executable's
// path, below the user's root.
inline constexpr const char* kInstalledExecutablesKey = "Software\\Velloc\\Installed";

// What the application registers, for the executable at `exePath`.
std::vector<TClassValue> DesktopClassValues(const config::TDesktopConfig& desktop,
                                            const std::string& appId, const std::string& appName,
                                            const std::string& exePath);

// Writes the values that are missing or differ (the executable moved); returns how many it
// wrote, so the caller tells the shell only when something changed. Writes nothing for an
// executable an installer recorded under kInstalledExecutablesKey (value names compare without
// regard to letter case, as Windows paths do).
int RegisterDesktopClasses(platform::IValueStore& store, const config::TDesktopConfig& desktop,
                           const std::string& appId, const std::string& appName,
                           const std::string& exePath);

}  // namespace velloc::startup
