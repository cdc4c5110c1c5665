// Dialogs (family 20) functions: the platform's file-open, file-save and folder dialogs. Each is
// modal and the reply goes out when it closes; cancelling answers with an empty text.
#include <optional>
#include <string>

#include "bridge/FileTypes.h"
#include "bridge/PathRule.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

void ReplyChoice(TBrowserExternalModule& module, const std::string& uuid,
                 const std::optional<std::string>& choice) {
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(choice.value_or("")));
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
  ReplyChoice(module, uuid, dialogs->OpenFile(fileName, title, ParseFileTypes(fileTypes)));
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
  ReplyChoice(module, uuid,
              dialogs->SaveFile(fileName, title, ParseFileTypes(fileTypes), overwritePrompt));
}

// 20003 vlx.dialogs.selFolder: the folder ends with a separator. The default title is the same
// as saveFile's, as pages have always seen it.
void DialogsSelFolder(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::string title = TBrowserExternalModule::GetArgString(data, "title", "Save file");
  platform::IFileDialogs* dialogs = module.FileDialogs();
  if (dialogs == nullptr) return ReplyNotSupported(module, uuid);
  std::optional<std::string> folder = dialogs->SelectFolder(title);
  if (folder) folder = WithTrailingSeparator(*folder);
  ReplyChoice(module, uuid, folder);
}

}  // namespace velloc::bridge::handlers
