#include "platform/linux/LinuxSystem.h"

#include <cerrno>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include <sys/file.h>
#include <sys/stat.h>

#include <glib.h>

namespace velloc::platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : fallback;
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

// A user folder as the user's XDG user-dirs name it. Where they name none (no user-dirs.dirs, or
// no line for it), the folder of that name under HOME, as xdg-user-dirs makes it: an empty
// answer would reach the page as "/", and a page saving there would write into the root.
std::string UserFolder(GUserDirectory directory, const char* defaultName) {
  const char* folder = g_get_user_special_dir(directory);
  if (folder && *folder) return WithSlash(folder);
  return WithSlash(WithSlash(g_get_home_dir()) + defaultName);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteNewFileWhole(const std::string& path, const void* data, std::size_t size) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string temp = folder + "/.velloc-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) {
    ::chmod(temp.c_str(), 0644);
    // link() refuses an existing target, so a file made meanwhile by another process stays.
    ok = ::link(temp.c_str(), path.c_str()) == 0;
  }
  ::unlink(temp.c_str());
  return ok;
}

std::string TLinuxSystem::ExecutablePath() const {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  // A file renamed over the executable while it runs (`velloc run` after a change, an update in
  // place) leaves the kernel naming the old one "<path> (deleted)"; the path itself names the
  // executable that a further window must start.
  std::string text = path.string();
  constexpr std::string_view kDeleted = " (deleted)";
  if (text.ends_with(kDeleted) && !std::filesystem::exists(path, ec)) {
    text.resize(text.size() - kDeleted.size());
  }
  return text;
}

std::string TLinuxSystem::LocalAppDataDirPath() const {
  const char* home = std::getenv("HOME");
  const std::string fallback = home && home[0] == '/' ? WithSlash(home) + ".local/share" : "";
  const std::string folder = EnvOr("XDG_DATA_HOME", fallback);
  return folder.empty() ? "/" : WithSlash(folder);
}

bool TLinuxSystem::FileExists(const std::string& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool TLinuxSystem::ForceDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

bool TLinuxSystem::CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return WriteNewFileWhole(path, bytes.data(), bytes.size());
}

std::string TLinuxSystem::EnvironmentVariable(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

void TLinuxSystem::SetEnvironmentVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void TLinuxSystem::RemoveEnvironmentVariable(const std::string& name) {
  ::unsetenv(name.c_str());
}

namespace {

// FNV-1a as hex text: the same in every process, which is all a lock name needs.
std::string HashText(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

bool OwnRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// The lock file in a private folder, opened without following a link. Whatever else carries its
// name (left from a time the folder was not private: a link, another user's file) is removed.
int OpenLockFile(int folder, const std::string& file) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd =
        ::openat(folder, file.c_str(),
                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd >= 0 && OwnRegularFile(fd)) return fd;
    if (fd >= 0) {
      ::close(fd);
    } else if (errno != ELOOP && errno != EACCES && errno != EISDIR && errno != ENXIO) {
      return -1;
    }
    if (::unlinkat(folder, file.c_str(), 0) != 0 && errno != ENOENT &&
        ::unlinkat(folder, file.c_str(), AT_REMOVEDIR) != 0)
      return -1;
  }
  return -1;
}

}  // namespace

std::vector<std::string> TLinuxSystem::InstanceLockFolders() {
  std::vector<std::string> folders;
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir && runtimeDir[0] == '/') folders.push_back(WithSlash(runtimeDir) + "velloc");
  folders.push_back(WithSlash(EnvOr("TMPDIR", "/tmp")) + "velloc-" + std::to_string(::geteuid()));
  return folders;
}

std::string TLinuxSystem::InstanceLockFileName(const std::string& name) {
  constexpr std::string_view kSuffix = ".lock";
  constexpr std::size_t kMaxFileName = 255;
  if (name.size() + kSuffix.size() <= kMaxFileName) return name + std::string(kSuffix);
  const std::string hash = "#" + HashText(name);
  return name.substr(0, kMaxFileName - kSuffix.size() - hash.size()) + hash + std::string(kSuffix);
}

int TLinuxSystem::OpenPrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  const bool usable = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) &&
                      info.st_uid == ::geteuid() &&
                      ((info.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
  if (usable) return fd;
  ::close(fd);
  return -1;
}

TInstanceLockResult TLinuxSystem::CreateInstanceLock(const std::string& name) {
  // Only this user can enter the folder, so no other user can hold, place or remove the lock;
  // a folder that cannot be made private is passed over, and when none can, the lock fails,
  // which lets the application run rather than letting another user keep it from starting.
  // The kernel releases the lock when the process ends, however it ends.
  for (const std::string& path : InstanceLockFolders()) {
    const int folder = OpenPrivateFolder(path);
    if (folder < 0) continue;
    const int fd = OpenLockFile(folder, InstanceLockFileName(name));
    ::close(folder);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      FLockFolder = path;
      return TInstanceLockResult::Created;  // kept open
    }
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? TInstanceLockResult::AlreadyExists : TInstanceLockResult::Failed;
  }
  return TInstanceLockResult::Failed;
}

bool TLinuxSystem::StartProcess(const std::string& executable,
                                const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const auto& a : arguments)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                       nullptr) != FALSE;
}

std::string TLinuxSystem::TempDir() const {
  return WithSlash(g_get_tmp_dir());
}

std::string TLinuxSystem::UserDocumentsDir() const {
  return UserFolder(G_USER_DIRECTORY_DOCUMENTS, "Documents");
}

std::string TLinuxSystem::UserDesktopDir() const {
  return UserFolder(G_USER_DIRECTORY_DESKTOP, "Desktop");
}

std::string TLinuxSystem::RoamingAppDataDir() const {
  return WithSlash(g_get_user_config_dir());
}

char TLinuxSystem::DecimalSeparator() const {
  const lconv* conventions = std::localeconv();
  return conventions && conventions->decimal_point && conventions->decimal_point[0]
             ? conventions->decimal_point[0]
             : '.';
}

void TLinuxSystem::SetApplicationId(const std::string& appId) {
  g_set_prgname(appId.c_str());
  if (OnApplicationId) OnApplicationId(appId);
}

std::string TLinuxSystem::InstanceChannelName(const std::string& name) {
  return HashText(name) + ".sock";
}

bool TLinuxSystem::SendToRunningInstance(const std::string& name,
                                         const std::vector<std::string>& arguments) {
  // The running instance listens beside its lock, in the first folder that could be made
  // private; a folder that is not private (another user's) is never written to.
  for (const std::string& path : InstanceLockFolders()) {
    const int folder = OpenPrivateFolder(path);
    if (folder < 0) continue;
    ::close(folder);
    return SendInstanceArguments(path + "/" + InstanceChannelName(name), arguments, 2000);
  }
  return false;
}

void TLinuxSystem::ListenForLaterStarts(const std::string& name,
                                        std::function<void(std::vector<std::string>)> received) {
  if (FLockFolder.empty()) return;
  FListener = std::make_unique<TInstanceListener>(FLockFolder + "/" + InstanceChannelName(name),
                                                  std::move(received));
  if (!FListener->Listening()) FListener.reset();
}

void TLinuxSystem::StopListeningForLaterStarts() {
  FListener.reset();
}

}  // namespace velloc::platform
