// Dialogs (family 20) functions: the platform's file-open, file-save and folder dialogs. Each is
// modal and the reply goes out when it closes; cancelling answers with an empty text. The
// handler returns at once and the reply is deferred: a page may close the application while
// its dialog is open, and the bridge that would answer is then gone (its dialogs end with it).
#include <optional>
#include <string>
#include <utility>

#include "bridge/FileTypes.h"
#include "bridge/PathRule.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

// The answer as the page gets it: the path (a folder's with a trailing separator), or an empty
// text when the user cancelled.
platform::TFileDialogDone ReplyChoice(TDeferredReply reply, bool folder = false) {
  return [reply = std::move(reply), folder](std::optional<std::string> choice) {
    if (choice && folder) choice = WithTrailingSeparator(*choice);
    reply.Success(TStrUtils::StringToJsonString(choice.value_or("")));
  };
}

}  // namespace

// 20001 vlx.dialogs.openFile
void DialogsOpenFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& data) {
  const std::optional<std::string> fileNameArg = GetPathArg(module, uuid, data, "fileName", false);
  if (!fileNameArg) return;
  const std::string& fileName = *fileNameArg;
  const std::string title = TBrowserExternalModule::GetArgString(data, "title", "Open file");
  const std::string fileTypes = TBrowserExternalModule::GetArgString(data, "fileTypes", "");
  platform::IFileDialogs* dialogs = module.FileDialogs();
  if (dialogs == nullptr) return ReplyNotSupported(module, uuid);
  dialogs->OpenFile(fileName, title, ParseFileTypes(fileTypes),
                    ReplyChoice(module.DeferReply(uuid)));
}

// 20002 vlx.dialogs.saveFile: asks before replacing a file only when `overwritePrompt` is true;
// no extension is added to the typed name.
void DialogsSaveFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& data) {
  const std::optional<std::string> fileNameArg = GetPathArg(module, uuid, data, "fileName", false);
  if (!fileNameArg) return;
  const std::string& fileName = *fileNameArg;
  const std::string title = TBrowserExternalModule::GetArgString(data, "title", "Save file");
  const std::string fileTypes = TBrowserExternalModule::GetArgString(data, "fileTypes", "");
  const bool overwritePrompt = TBrowserExternalModule::GetArgBool(data, "overwritePrompt", false);
  platform::IFileDialogs* dialogs = module.FileDialogs();
  if (dialogs == nullptr) return ReplyNotSupported(module, uuid);
  dialogs->SaveFile(fileName, title, ParseFileTypes(fileTypes), overwritePrompt,
                    ReplyChoice(module.DeferReply(uuid)));
}

// 20003 vlx.dialogs.selFolder: the folder ends with a separator. The default title is the same
// as saveFile's, as pages have always seen it.
void DialogsSelFolder(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::string title = TBrowserExternalModule::GetArgString(data, "title", "Save file");
  platform::IFileDialogs* dialogs = module.FileDialogs();
  if (dialogs == nullptr) return ReplyNotSupported(module, uuid);
  dialogs->SelectFolder(title, ReplyChoice(module.DeferReply(uuid), true));
}

}  // namespace velloc::bridge::handlers
