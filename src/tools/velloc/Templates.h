// The application templates of `velloc init`, compiled in from templates/ (one folder each).
#pragma once

#include <string_view>
#include <vector>

namespace velloc::cli {

struct TTemplateFile {
  std::string_view Folder;  // the folder below templates/
  std::string_view Path;    // below that folder, with "/"
  std::string_view Text;
};

// The files of one folder below templates/, in the order of their paths.
std::vector<TTemplateFile> TemplateFolder(std::string_view folder);

}  // namespace velloc::cli
