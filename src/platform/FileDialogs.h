// The platform's file and folder dialogs. An implementation keeps its dialogs between calls, so
// what a call does not set (the folder last shown, the type last chosen) carries over.
//
// A call never waits for the user: it shows its dialog without a nested main loop (on Windows,
// where the common dialogs run one, only after the caller has returned) and answers through
// `done`. So nothing the caller's caller owns can be destroyed under a dialog that is open.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velloc::platform {

struct TFileType {
  std::string DisplayName;
  std::string Mask;  // e.g. "*.png"
};

// The user's answer: the chosen full path, or no value when the user cancels.
using TFileDialogDone = std::function<void(std::optional<std::string> choice)>;

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // Each calls `done` once, when the user has answered, unless CloseAll ends the dialog first.
  virtual void OpenFile(const std::string& fileName, const std::string& title,
                        const std::vector<TFileType>& fileTypes, TFileDialogDone done) = 0;
  virtual void SaveFile(const std::string& fileName, const std::string& title,
                        const std::vector<TFileType>& fileTypes, bool overwritePrompt,
                        TFileDialogDone done) = 0;
  // The chosen existing folder.
  virtual void SelectFolder(const std::string& title, TFileDialogDone done) = 0;
  // Ends every dialog that is open or about to open; their `done` is never called. For the
  // owner of the answers when it goes (the bridge, when its window closes).
  virtual void CloseAll() = 0;
};

}  // namespace velloc::platform
