// File and folder dialogs on Windows: the common item dialogs (IFileOpenDialog,
// IFileSaveDialog). A dialog object shows once, so every call makes a new one; what carries over
// between calls is the folder last shown, which the shell keeps per dialog under a client id of
// its own, and the file type last chosen, which is kept here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileDialogs.h"

namespace velloc::platform {

class TWin32FileDialogs final : public IFileDialogs {
 public:
  // Made and used on the UI thread, which it initialises for COM (single-threaded) when nothing
  // else has.
  TWin32FileDialogs();
  ~TWin32FileDialogs() override;
  TWin32FileDialogs(const TWin32FileDialogs&) = delete;
  TWin32FileDialogs& operator=(const TWin32FileDialogs&) = delete;

  std::optional<std::string> OpenFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& fileTypes) override;
  // No extension is added to a name typed without one.
  std::optional<std::string> SaveFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& fileTypes,
                                      bool overwritePrompt) override;
  std::optional<std::string> SelectFolder(const std::string& title) override;

 private:
  enum TKind { kOpen, kSave, kFolder };
  std::optional<std::string> Show(TKind kind, const std::string& fileName, const std::string& title,
                                  const std::vector<TFileType>& fileTypes, bool overwritePrompt);

  bool FUninitializeCom = false;
  unsigned FTypeIndex[2] = {0, 0};  // the type last chosen in the open and save dialogs, from 1
};

}  // namespace velloc::platform
