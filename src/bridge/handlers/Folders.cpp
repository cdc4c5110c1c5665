// Folders (family 40) functions: test, create, delete and list folders, and name the well-known
// folders of the user and the application.
#include <cstdint>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "bridge/FileMask.h"
#include "bridge/PathRule.h"
#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"
#include "core/Text.h"

namespace velloc::bridge::handlers {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// How the listing treats a folder entry. Links are followed to what they point to, except that
// a link to a folder is never entered: the listing stays inside the tree it was given and cannot
// run in circles. Such a link is not listed either, as folders never are; a dangling link is
// no file and is left out too.
enum class TEntryKind : std::uint8_t { File, Folder, Skip };

TEntryKind KindOf(const std::string& folderPrefix, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return TEntryKind::File;
    case DT_DIR:
      return TEntryKind::Folder;
    case DT_LNK:
    case DT_UNKNOWN:
      break;
    default:
      return TEntryKind::File;  // pipes, sockets and devices: anything but a folder is a file
  }
  const std::string path = folderPrefix + entry.d_name;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return TEntryKind::Skip;
  if (S_ISDIR(info.st_mode)) return TEntryKind::Folder;
  if (!S_ISLNK(info.st_mode)) return TEntryKind::File;
  if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return TEntryKind::Skip;
  return TEntryKind::File;
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
// the tree is. A folder that cannot be read contributes nothing.
class TListing {
 public:
  TListing(const TFileMask& mask, bool recursive) : FMask(mask), FRecursive(recursive) {}

  void Walk(const std::string& folder) {
    const std::string prefix = WithTrailingSeparator(folder);
    std::string names;  // every name, each ended by NUL
    std::vector<TEntryKind> kinds;
    if (DIR* dir = ::opendir(folder.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        const TEntryKind kind = KindOf(prefix, *entry);
        if (kind == TEntryKind::Skip || (kind == TEntryKind::Folder && !FRecursive)) continue;
        names += name;
        names += '\0';
        kinds.push_back(kind);
      }
      ::closedir(dir);
    }
    std::size_t at = 0;
    std::string path;
    for (const TEntryKind kind : kinds) {
      const std::size_t end = names.find('\0', at);
      const std::string_view name(names.data() + at, end - at);
      at = end + 1;
      if (kind == TEntryKind::Folder) {
        Walk(prefix + std::string(name));
      } else if (FMask.Matches(name)) {
        if (FJson.size() > 1) FJson += ", ";
        path.assign(prefix).append(name);
        AppendJsonString(FJson, path);
      }
    }
  }

  // The JSON array of every path found.
  std::string Result() && { return std::move(FJson) + "]"; }

 private:
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
  module.ReplySuccess(uuid, IsFolder(ResolvePath(module, dirPath)) ? "true" : "false");
}

// 40002 vlx.folders.createDir: one folder; its parent must exist.
void FoldersCreateDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  const std::string path = ResolvePath(module, dirPath);
  const bool made = IsFolder(path) || ::mkdir(path.c_str(), 0777) == 0;
  module.ReplySuccess(uuid, made ? "true" : "false");
}

// 40003 vlx.folders.deleteDir: the folder with everything in it, or a file. Links inside are
// removed, never followed; a link given as the path is removed itself.
void FoldersDeleteDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  const std::optional<std::string> dirPathArg = GetPathArg(module, uuid, data, "dirPath");
  if (!dirPathArg) return;
  const std::string& dirPath = *dirPathArg;
  std::string path = ResolvePath(module, dirPath);
  // "link/" would name the folder the link points to, and its contents would go.
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  struct stat info {};
  bool deleted = false;
  if (::lstat(path.c_str(), &info) == 0) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    deleted = !error;
  }
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
  if (!IsFolder(folder))
    return module.ReplyFailure(uuid, "\"The specified folder does not exist.\"");
  // A mask that cannot be used ends the call without a reply.
  const TFileMask mask(fileMask);
  TListing listing(mask, text::AsciiLower(allDirs) == "true");
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
