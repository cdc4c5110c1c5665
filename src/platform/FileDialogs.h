// The platform's file and folder dialogs. An implementation keeps its dialogs between calls, so
// what a call does not set (the folder last shown, the type last chosen) carries over.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velloc::platform {

struct TFileType {
  std::string DisplayName;
  std::string Mask;  // e.g. "*.png"
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // The chosen file's full path, or no value when the user cancels.
  virtual std::optional<std::string> OpenFile(const std::string& fileName, const std::string& title,
                                              const std::vector<TFileType>& fileTypes) = 0;
  virtual std::optional<std::string> SaveFile(const std::string& fileName, const std::string& title,
                                              const std::vector<TFileType>& fileTypes,
                                              bool overwritePrompt) = 0;
  // The chosen existing folder's full path, or no value when the user cancels.
  virtual std::optional<std::string> SelectFolder(const std::string& title) = 0;
};

}  // namespace velloc::platform
