// The password under which the packer encrypts packages and the runtime reads them. It is kept
// in the executable only as the two encoded inputs below and decoded in memory when needed.
#pragma once

#include <string>
#include <string_view>

namespace velloc::archive {

struct PackagePasswordInputs {
  std::string_view EncodedText;  // 26 printable ASCII characters
  std::string_view Key;          // 21 letters A-Z
};

// The stored inputs, for checks of their shape; decode them with PackagePassword().
PackagePasswordInputs StoredPackagePasswordInputs();

// The decoded 26-character package password. It holds no blank, quote, backslash, "$", "`" or
// "!", so it can be given to a shell command line (unzip -P) as it is.
std::string PackagePassword();

}  // namespace velloc::archive
