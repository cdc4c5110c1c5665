// Shell (family 70) functions: open files and programs, show a file in the file manager, run a
// console command, list the desktop's window titles.
#include <string>
#include <vector>

#include "bridge/SystemTexts.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

using Module = TBrowserExternalModule;

void ReplyOutcome(const TDeferredReply& reply, const platform::TOutcome& outcome) {
  if (outcome.Accepted) {
    reply.Success("true");
  } else {
    reply.Failure(TStrUtils::StringToJsonString(SystemErrorText(outcome.ErrorText)));
  }
}

}  // namespace

// 70001 vlx.shell.execute
void ShellExecute(Module& module, const std::string& uuid, const TJsonValue& data) {
  const std::string filePath = Module::GetArgString(data, "filePath", "");
  const std::string arguments = Module::GetArgString(data, "arguments", "");
  if (filePath.empty()) {
    module.ReplyFailure(uuid, "\"Missing filePath\"");
    return;
  }
  ReplyOutcome(module.DeferReply(uuid), Required(module.Shell()).Execute(filePath, arguments));
}

// 70002 vlx.shell.explore
void ShellExplore(Module& module, const std::string& uuid, const TJsonValue& data) {
  const std::string filePath = Module::GetArgString(data, "filePath", "");
  if (filePath.empty()) {
    module.ReplyFailure(uuid, "\"Missing filePath\"");
    return;
  }
  platform::IShell& shell = Required(module.Shell());
  shell.Explore(filePath, [reply = module.DeferReply(uuid)](platform::TOutcome outcome) {
    ReplyOutcome(reply, outcome);
  });
}

// 70003 vlx.shell.command: the command runs on while the page and the window go on; the reply
// comes once it has ended and its output is read to the end.
void ShellCommand(Module& module, const std::string& uuid, const TJsonValue& data) {
  const std::string command = Module::GetArgString(data, "command", "");
  if (command.empty()) {
    module.ReplyFailure(uuid, "\"Missing command\"");
    return;
  }
  const std::string workingDir = Module::GetArgString(data, "workingDir", "");
  const bool showWindow = Module::GetArgString(data, "showWindow", "false") == "true";
  platform::IShell& shell = Required(module.Shell());
  shell.RunCommand(command, workingDir, showWindow,
                   [reply = module.DeferReply(uuid)](const std::string& output) {
                     reply.Success(TStrUtils::StringToJsonString(CommandOutputText(output)));
                   });
}

// 70004 vlx.shell.windows
void ShellWindows(Module& module, const std::string& uuid, const TJsonValue& /*data*/) {
  const std::vector<std::string> titles = Required(module.WindowList()).TopLevelWindowTitles();
  std::string result = "[";
  for (const std::string& title : titles) {
    if (IsBlankTitle(title)) continue;
    if (result.size() > 1) result += ',';
    result += TStrUtils::StringToJsonString(title);
  }
  result += ']';
  module.ReplySuccess(uuid, result);
}

}  // namespace velloc::bridge::handlers
