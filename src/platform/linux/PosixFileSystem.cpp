#include "platform/linux/PosixFileSystem.h"

#include <dirent.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include <sys/stat.h>

#include "platform/linux/PosixFileReplacement.h"

namespace velloc::platform {
namespace {

// Whether a folder entry is listed, and as what. Links are followed to what they point to,
// except that a link to a folder is never entered and a dangling link is no file.
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

}  // namespace

TFileKind TPosixFileSystem::Kind(const std::string& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return TFileKind::Missing;
  return S_ISDIR(info.st_mode) ? TFileKind::Folder : TFileKind::File;
}

bool TPosixFileSystem::IsReadOnlyFile(const std::string& path) const {
  // Deleting needs only the folder's permission here, so the file's own is checked first.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return (info.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool TPosixFileSystem::RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool TPosixFileSystem::CreateFolder(const std::string& path) {
  return Kind(path) == TFileKind::Folder || ::mkdir(path.c_str(), 0777) == 0;
}

void TPosixFileSystem::CreateFolders(const std::string& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}

bool TPosixFileSystem::RemoveTree(const std::string& path) {
  std::string target = path;
  // "link/" would name the folder the link points to, and its contents would go.
  while (target.size() > 1 && target.back() == '/')
    target.pop_back();
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) return false;
  std::error_code error;
  std::filesystem::remove_all(target, error);
  return !error;
}

std::vector<TFolderEntry> TPosixFileSystem::ListFolder(const std::string& folder) const {
  std::vector<TFolderEntry> entries;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return entries;
  const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const TEntryKind kind = KindOf(prefix, *entry);
    if (kind == TEntryKind::Skip) continue;
    entries.push_back({std::string(name), kind == TEntryKind::Folder});
  }
  ::closedir(dir);
  return entries;
}

std::unique_ptr<IFileReplacement> TPosixFileSystem::Replace(const std::string& path) {
  return std::make_unique<TPosixFileReplacement>(path);
}

}  // namespace velloc::platform
