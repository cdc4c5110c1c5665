// Section Update of "vlx.ini": where the application's updates are announced and the key they
// are signed with. Optional; read by the runtime's updates (update/UpdateSettings.h) and checked
// by the packer. The application's version is [App] Version.
//
//   [Update]
//   ManifestURL=https://example.com/notes/{platform}.json  ; {platform}: "linux-x86_64", ...
//   PublicKey=<base64 of 32 bytes, from velloc keygen>
#pragma once

#include <array>
#include <string_view>

#include "config/AppKeys.h"

namespace velloc::config {

inline constexpr std::string_view kUpdateSection = "Update";

namespace update {
inline constexpr StringKey ManifestURL{"ManifestURL", ""};
inline constexpr StringKey PublicKey{"PublicKey", ""};
}  // namespace update

inline constexpr std::array<StringKey, 2> kUpdateKeys = {update::ManifestURL, update::PublicKey};

inline std::string ReadUpdateKey(const TProjectIni& ini, const StringKey& key) {
  return ini.ReadString(kUpdateSection, key.Name, key.Default);
}

}  // namespace velloc::config
