// Section Desktop of "vlx.ini": how an installed application presents itself to the desktop.
// Optional, and read only by the packer (desktop files, Debian packages) and, on Windows, by the
// runtime's registration at first start. Its keys are in the table of config/AppKeys.h.
//
//   [Desktop]
//   Schemes=myapp                                  ; links myapp:... open in the application
//   FileTypes=application/x-myapp *.myapp My files; text/markdown *.md
//   Comment=Notes that stay on your computer
//   Categories=Office;Utility
//   Version=1.2.0                                  ; of the Debian package (velloc pack --deb)
//   Maintainer=Jane Doe <jane@example.com>
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/AppKeys.h"

namespace velloc::config {

struct TFileType {
  std::string MimeType;                 // lower case, "type/subtype"
  std::vector<std::string> Extensions;  // without the "*.", lower case
  std::string Description;              // empty: the desktop's own name for the type
};

struct TDesktopConfig {
  std::vector<std::string> Schemes;  // lower case, without ":"
  std::vector<TFileType> FileTypes;
  std::string Comment;
  std::vector<std::string> Categories;
  std::string Version = "1.0";  // Debian's version syntax
  std::string Maintainer;       // "Name <address>"; empty: none given

  bool Empty() const {
    return Schemes.empty() && FileTypes.empty() && Comment.empty() && Categories.empty();
  }
};

// Reads section Desktop. Entries that cannot be used are left out, each with a sentence in
// `problems` (the packer refuses the application with them; the runtime ignores them).
TDesktopConfig ReadDesktopConfig(const TProjectIni& ini, std::vector<std::string>& problems);

}  // namespace velloc::config
