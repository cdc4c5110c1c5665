// Base64 (family 90) functions: write decoded data to a file.
#include <exception>
#include <optional>
#include <string>

#include "bridge/AtomicFile.h"
#include "bridge/Base64Decode.h"
#include "bridge/PathRule.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {

// 90001 vlx.base64.decodeToFile: the decoder never rejects its input. The old file is replaced
// in one step, so a failed write leaves it as it was.
void Base64DecodeToFile(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  const std::optional<std::string> filePathArg = GetPathArg(module, uuid, data, "filePath");
  if (!filePathArg) return;
  const std::string& filePath = *filePathArg;
  const std::string path = ResolvePath(module, filePath);
  platform::IFileSystem& fileSystem = Required(module.FileSystem());
  // Whether the folders could be made shows when the file is written. Through the platform's
  // file system: a narrow path would reach Windows in its ANSI code page.
  if (const std::size_t separator = path.find_last_of(kPathSeparators);
      separator != std::string::npos && separator > 0)
    fileSystem.CreateFolders(path.substr(0, separator));

  std::optional<std::string> error;
  try {
    const std::string contents = TBrowserExternalModule::GetArgString(data, "contents", "");
    ReplaceFileContents(fileSystem, path, DecodeBase64Lenient(contents));
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error) return module.ReplyFailure(uuid, TStrUtils::StringToJsonString(*error));
  module.ReplySuccess(uuid, "true");
}

}  // namespace velloc::bridge::handlers
