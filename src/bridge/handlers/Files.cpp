// Files (family 30) functions: test, delete and write files, and copy a file out of the package.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bridge/AtomicFile.h"
#include "bridge/PathRule.h"
#include "bridge/TextFile.h"
#include "bridge/handlers/Handlers.h"
#include "config/AppKeys.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

// Makes the folders a file will go to; whether that worked shows when the file is written.
void CreateParentFolders(platform::IFileSystem& fileSystem, const std::string& filePath) {
  const std::size_t separator = filePath.find_last_of(kPathSeparators);
  if (separator != std::string::npos && separator > 0)
    fileSystem.CreateFolders(filePath.substr(0, separator));
}

}  // namespace

// 30001 vlx.files.fileExists: anything but a folder counts, links followed.
void FilesFileExists(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& data) {
  const std::optional<std::string> filePathArg = GetPathArg(module, uuid, data, "filePath");
  if (!filePathArg) return;
  const std::string& filePath = *filePathArg;
  const std::string path = ResolvePath(module, filePath);
  const bool exists = Required(module.FileSystem()).Kind(path) == platform::TFileKind::File;
  module.ReplySuccess(uuid, exists ? "true" : "false");
}

// 30002 vlx.files.deleteFile: false for a folder or a file that is missing or cannot go.
void FilesDeleteFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& data) {
  const std::optional<std::string> filePathArg = GetPathArg(module, uuid, data, "filePath");
  if (!filePathArg) return;
  const std::string& filePath = *filePathArg;
  const std::string path = ResolvePath(module, filePath);
  platform::IFileSystem& fileSystem = Required(module.FileSystem());
  const bool deleted = !fileSystem.IsReadOnlyFile(path) && fileSystem.RemoveFile(path);
  module.ReplySuccess(uuid, deleted ? "true" : "false");
}

// 30003 vlx.files.writeTextFile: UTF-8 with a byte-order mark, CR LF after every line. The old
// file is replaced in one step, so a failed write leaves it as it was.
void FilesWriteTextFile(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  const std::optional<std::string> filePathArg = GetPathArg(module, uuid, data, "filePath");
  if (!filePathArg) return;
  const std::string& filePath = *filePathArg;
  const std::string path = ResolvePath(module, filePath);
  platform::IFileSystem& fileSystem = Required(module.FileSystem());
  CreateParentFolders(fileSystem, path);
  std::optional<std::string> error;
  try {
    const std::string contents = TBrowserExternalModule::GetArgString(data, "contents", "");
    ReplaceFileContents(fileSystem, path, TextFileBytes(contents));
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error) return module.ReplyFailure(uuid, TStrUtils::StringToJsonString(*error));
  module.ReplySuccess(uuid, "true");
}

// 30004 vlx.files.extractFile: the entry is the package's application folder name followed
// directly by `sourceFile`. The target path is taken as it is (relative to the current folder).
// The entry is extracted and verified in memory before the target is touched, and then replaces
// the target in one step: a damaged entry gives a failure and leaves the target as it was.
void FilesExtractFile(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> sourceFileArg = GetPathArg(module, uuid, data, "sourceFile");
  if (!sourceFileArg) return;
  const std::string& sourceFile = *sourceFileArg;
  const std::optional<std::string> targetFileArg = GetPathArg(module, uuid, data, "targetFile");
  if (!targetFileArg) return;
  const std::string& targetFile = *targetFileArg;

  const config::TProjectIni* ini = module.ProjectINI();
  const std::string dirName = ini ? config::ReadAppKey(*ini, config::app::DirName) : "";
  archive::TZipArchive* exeZip = module.ExeZip();
  const int index = exeZip ? exeZip->FindFile(dirName + sourceFile) : -1;
  if (index < 0) return module.ReplyFailure(uuid, "\"File not found\"");

  // A target that cannot be created ends the call without a reply, before any extraction.
  TAtomicFile target(Required(module.FileSystem()), targetFile);
  std::optional<std::string> error;
  try {
    std::vector<std::uint8_t> bytes;
    const archive::ExtractResult result = exeZip->Extract(index, bytes);
    if (result != archive::ExtractResult::Ok)
      throw EFileError("Cannot extract \"" + sourceFile +
                       "\": " + std::string(archive::ToString(result)));
    target.Write(bytes);
    target.Commit();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error) return module.ReplyFailure(uuid, TStrUtils::StringToJsonString(*error));
  module.ReplySuccess(uuid, "true");
}

}  // namespace velloc::bridge::handlers
