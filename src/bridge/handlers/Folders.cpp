// Folders (family 40) functions: test, create, delete and list folders, and name the well-known
// folders of the user and the application.
#include <string>
#include <string_view>
#include <vector>

#include "bridge/FileMask.h"
#include "bridge/PathRule.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"
#include "core/Text.h"

namespace velloc::bridge::handlers {
namespace {

bool IsFolder(const TBrowserExternalModule& module, const std::string& path) {
  return Required(module.FileSystem()).Kind(path) == platform::TFileKind::Folder;
}

// Appends the JSON string of a path exactly as TStrUtils::StringToJsonString writes it, without
// its detour through UTF-16 for the plain ASCII paths that make up nearly every listing.
void AppendJsonString(std::string& out, std::string_view path) {
  const std::size_t start = out.size();
  out += '"';
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') {
      out.resize(start);
      out += TStrUtils::StringToJsonString(path);
      return;
    }
    if (c == '/') out += '\\';
    out += c;
  }
  out += '"';
}

// Appends the matching files of `folder` to the JSON array text, each subfolder's files (when
// `recursive`) at the place of that subfolder among its siblings. The entries of a folder are
// read in full before any is handled, so the walk holds one open folder at a time however deep
// the tree is. A folder that cannot be read contributes nothing. Links to folders are never
// entered (the file system leaves them out), so the walk stays inside the tree.
class TListing {
 public:
  TListing(const platform::IFileSystem& fileSystem, const TFileMask& mask, bool recursive)
      : FFileSystem(fileSystem), FMask(mask), FRecursive(recursive) {}

  void Walk(const std::string& folder) {
    const std::string prefix = WithTrailingSeparator(folder);
    std::string path;
    for (const platform::TFolderEntry& entry : FFileSystem.ListFolder(folder)) {
      if (entry.IsFolder) {
        if (FRecursive) Walk(prefix + entry.Name);
      } else if (FMask.Matches(entry.Name)) {
        if (FJson.size() > 1) FJson += ", ";
        path.assign(prefix).append(entry.Name);
        AppendJsonString(FJson, path);
      }
    }
  }

  // The JSON array of every path found.
  std::string Result() && { return std::move(FJson) + "]"; }

 private:
  const platform::IFileSystem& FFileSystem;
  const TFileMask& FMask;
  bool FRecursive;
  std::string FJson = "[";
};

void ReplyFolder(TBrowserExternalModule& module, const std::string& uuid,
                 const std::string& folder) {
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(WithTrailingSeparator(folder)));
}

}  // namespace

// 40001 vlx.folders.dirExists: links followed.
void FoldersDirExists(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  module.ReplySuccess(uuid, IsFolder(module, ResolvePath(module, dirPath)) ? "true" : "false");
}

// 40002 vlx.folders.createDir: one folder; its parent must exist.
void FoldersCreateDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  const std::string path = ResolvePath(module, dirPath);
  const bool made = Required(module.FileSystem()).CreateFolder(path);
  module.ReplySuccess(uuid, made ? "true" : "false");
}

// 40003 vlx.folders.deleteDir: the folder with everything in it, or a file. Links inside are
// removed, never followed; a link given as the path is removed itself.
void FoldersDeleteDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  const std::string path = ResolvePath(module, dirPath);
  const bool deleted = Required(module.FileSystem()).RemoveTree(path);
  module.ReplySuccess(uuid, deleted ? "true" : "false");
}

// 40004 vlx.folders.listFiles: a JSON array of the full paths of the matching files, each path
// escaped as a JSON string (a name here may hold a quote or a control character).
void FoldersListFiles(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  const std::string fileMask = TBrowserExternalModule::GetArgString(data, "fileMask", "");
  if (fileMask.empty()) return module.ReplyFailure(uuid, "\"Missing fileMask\"");
  const std::string allDirs = TBrowserExternalModule::GetArgString(data, "allDirs", "");
  if (allDirs.empty()) return module.ReplyFailure(uuid, "\"Missing allDirs\"");

  const std::string folder = ResolvePath(module, dirPath);
  if (!IsFolder(module, folder))
    return module.ReplyFailure(uuid, "\"The specified folder does not exist.\"");
  // A mask that cannot be used ends the call without a reply.
  const TFileMask mask(fileMask);
  TListing listing(Required(module.FileSystem()), mask, text::AsciiLower(allDirs) == "true");
  listing.Walk(folder);
  module.ReplySuccess(uuid, std::move(listing).Result());
}

// 40005 vlx.folders.getTempDir
void FoldersGetTempDir(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  ReplyFolder(module, uuid, Required(module.System()).TempDir());
}

// 40006 vlx.folders.getUserDocumentsDir
void FoldersGetUserDocumentsDir(TBrowserExternalModule& module, const std::string& uuid,
                                const TJsonValue& /*data*/) {
  ReplyFolder(module, uuid, Required(module.System()).UserDocumentsDir());
}

// 40007 vlx.folders.getUserDesktopDir
void FoldersGetUserDesktopDir(TBrowserExternalModule& module, const std::string& uuid,
                              const TJsonValue& /*data*/) {
  ReplyFolder(module, uuid, Required(module.System()).UserDesktopDir());
}

// 40008 vlx.folders.getAppExecutableDir: the folder relative paths resolve against.
void FoldersGetAppExecutableDir(TBrowserExternalModule& module, const std::string& uuid,
                                const TJsonValue& /*data*/) {
  ReplyFolder(module, uuid, AppDirPath(module));
}

// 40009 vlx.folders.getAppDataDir: the user's roaming settings folder, not the per-application
// data folder that start-up prepares.
void FoldersGetAppDataDir(TBrowserExternalModule& module, const std::string& uuid,
                          const TJsonValue& /*data*/) {
  ReplyFolder(module, uuid, Required(module.System()).RoamingAppDataDir());
}

}  // namespace velloc::bridge::handlers
