// Section Update of "vlx.ini": where the application's updates are announced and the key they
// are signed with. Optional; read by the runtime's updates (update/UpdateSettings.h) and checked
// by the packer. The application's version is [App] Version.
//
//   [Update]
//   ManifestURL=https://example.com/notes/{platform}.json  ; {platform}: "linux-x86_64", ...
//   PublicKey=<base64 of 32 bytes, from velloc keygen>
#pragma once

#include "config/AppKeys.h"

namespace velloc::config {

namespace update {
inline constexpr auto ManifestURL = Key<StringKey>(kUpdateSection, "ManifestURL");
inline constexpr auto PublicKey = Key<StringKey>(kUpdateSection, "PublicKey");
}  // namespace update

}  // namespace velloc::config
