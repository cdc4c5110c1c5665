// Modal dialogs shown before and besides the main window.
#pragma once

#include <string>
#include <vector>

namespace velloc::platform {

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

// Standard buttons in the order a dialog lays them out.
enum class TMsgDlgBtn {
  Yes,
  No,
  OK,
  Cancel,
  Abort,
  Retry,
  Ignore,
  All,
  NoToAll,
  YesToAll,
  Help,
  Close
};

// Dialog results as the platform reports them.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrClose = 8,
  mrHelp = 9,
  mrAll = 12,
  mrNoToAll = 13,
  mrYesToAll = 14
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // A standard message dialog whose title and button captions are replaced.
  virtual int MessageDlg(const std::string& message, TMsgDlgType kind,
                         const std::vector<TMsgDlgBtn>& buttons,
                         const std::vector<std::string>& captions, const std::string& title) = 0;
  // A plain message box with an OK button.
  virtual void ShowMessage(const std::string& title, const std::string& message, bool error) = 0;
};

}  // namespace velloc::platform
