// File and folder dialogs on Windows: the common item dialogs (IFileOpenDialog,
// IFileSaveDialog). A dialog object shows once, so every call makes a new one; what carries over
// between calls is the folder last shown, which the shell keeps per dialog under a client id of
// its own, and the file type last chosen, which is kept here.
//
// A common item dialog runs its own modal message loop. The bridge asks for one inside a web
// view's event handler, where WebView2 allows no modal UI; so a call only queues the dialog, and
// it is shown from this object's message window once the handler has returned. Whatever a dialog
// is open over (the page closing the window, say) happens outside the code that asked for it.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/FileDialogs.h"

struct IFileDialog;

namespace velloc::platform {

class TWin32FileDialogs final : public IFileDialogs {
 public:
  // Made and used on the UI thread, which it initialises for COM (single-threaded) when nothing
  // else has.
  TWin32FileDialogs();
  ~TWin32FileDialogs() override;
  TWin32FileDialogs(const TWin32FileDialogs&) = delete;
  TWin32FileDialogs& operator=(const TWin32FileDialogs&) = delete;

  // Queued, and shown when the thread's message loop next runs. Throw std::runtime_error when
  // the message window that shows them could not be made.
  void OpenFile(const std::string& fileName, const std::string& title,
                const std::vector<TFileType>& fileTypes, TFileDialogDone done) override;
  // No extension is added to a name typed without one.
  void SaveFile(const std::string& fileName, const std::string& title,
                const std::vector<TFileType>& fileTypes, bool overwritePrompt,
                TFileDialogDone done) override;
  void SelectFolder(const std::string& title, TFileDialogDone done) override;
  void CloseAll() override;

  // Shows a save dialog now and returns the choice once it closes: for a caller that is not
  // inside a web view's event handler (the question where to save a download, asked after its
  // event has returned).
  std::optional<std::string> SaveFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& fileTypes,
                                      bool overwritePrompt);

 private:
  enum TKind { kOpen, kSave, kFolder };
  struct TRequest {
    TKind Kind = kOpen;
    std::string FileName, Title;
    std::vector<TFileType> FileTypes;
    bool OverwritePrompt = false;
    TFileDialogDone Done;          // cleared when CloseAll ends the request
    IFileDialog* Shown = nullptr;  // the dialog while it is on screen
  };
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Queue(TRequest request);
  void ShowNext();
  std::optional<std::string> Show(TRequest& request);

  bool FUninitializeCom = false;
  HWND FWindow = nullptr;
  std::deque<std::shared_ptr<TRequest>> FWaiting;
  std::vector<std::shared_ptr<TRequest>> FShown;  // on screen, innermost last
  unsigned FTypeIndex[2] = {0, 0};  // the type last chosen in the open and save dialogs, from 1
};

}  // namespace velloc::platform
