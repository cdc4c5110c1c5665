#include "startup/DesktopRegistration.h"

namespace velloc::startup {
namespace {

constexpr const char* kClasses = "Software\\Classes\\";

// A ProgID of letters, digits and dots, as the shell expects them.
std::string ProgId(const std::string& appId, const std::string& extension) {
  std::string id;
  for (const char c : appId) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    id += plain || c == '.' ? c : '-';
  }
  return id + ".file." + extension;
}

}  // namespace

std::vector<TClassValue> DesktopClassValues(const config::TDesktopConfig& desktop,
                                            const std::string& appId, const std::string& appName,
                                            const std::string& exePath) {
  const std::string command = "\"" + exePath + "\" \"%1\"";
  const std::string icon = "\"" + exePath + "\",0";
  std::vector<TClassValue> values;
  for (const std::string& scheme : desktop.Schemes) {
    const std::string key = kClasses + scheme;
    values.push_back({key, "", "URL:" + appName});
    values.push_back({key, "URL Protocol", ""});
    values.push_back({key + "\\DefaultIcon", "", icon});
    values.push_back({key + "\\shell\\open\\command", "", command});
  }
  for (const config::TFileType& type : desktop.FileTypes) {
    for (const std::string& extension : type.Extensions) {
      const std::string progId = ProgId(appId, extension);
      const std::string extensionKey = std::string(kClasses) + "." + extension;
      values.push_back({extensionKey, "", progId, true});
      values.push_back({extensionKey, "Content Type", type.MimeType, true});
      values.push_back({extensionKey + "\\OpenWithProgids", progId, ""});
      const std::string key = kClasses + progId;
      values.push_back({key, "", type.Description.empty() ? appName + " file" : type.Description});
      values.push_back({key + "\\DefaultIcon", "", icon});
      values.push_back({key + "\\shell\\open\\command", "", command});
    }
  }
  return values;
}

int RegisterDesktopClasses(platform::IValueStore& store, const config::TDesktopConfig& desktop,
                           const std::string& appId, const std::string& appName,
                           const std::string& exePath) {
  if (store.ValueExists(kInstalledExecutablesKey, exePath)) return 0;
  int written = 0;
  for (const TClassValue& value : DesktopClassValues(desktop, appId, appName, exePath)) {
    const platform::TReadResult existing = store.ReadValue(value.Key, value.Name);
    if (existing.Value && (value.KeepExisting || existing.Value->Data == value.Data)) continue;
    if (store.WriteValue(value.Key, value.Name, {platform::TValueType::String, value.Data}) ==
        platform::TWriteResult::Written) {
      ++written;
    }
  }
  return written;
}

}  // namespace velloc::startup
