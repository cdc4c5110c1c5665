#include "platform/linux/LinuxSystem.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
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
  return ec ? std::string() : path.string();
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

void TLinuxSystem::SetEnvironmentVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void TLinuxSystem::RemoveEnvironmentVariable(const std::string& name) {
  ::unsetenv(name.c_str());
}

std::string TLinuxSystem::InstanceLockPath(const std::string& name) {
  std::string file;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '/' || c == '%' || b < 0x20 || b == 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", b);
      file += hex;
    } else {
      file += c;
    }
  }
  if (file == "." || file == "..") file = "%2E" + file.substr(1);
  const std::string base =
      EnvOr("XDG_RUNTIME_DIR", WithSlash(g_get_tmp_dir()) + "velloc-" + std::to_string(::getuid()));
  return WithSlash(base) + "velloc/" + file + ".lock";
}

TInstanceLockResult TLinuxSystem::CreateInstanceLock(const std::string& name) {
  const std::string path = InstanceLockPath(name);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  // Close-on-exec: further instances started from this one must not inherit the lock.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return TInstanceLockResult::Failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? TInstanceLockResult::AlreadyExists : TInstanceLockResult::Failed;
  }
  return TInstanceLockResult::Created;  // the descriptor stays open until the process ends
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
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  return folder ? WithSlash(folder) : std::string();
}

std::string TLinuxSystem::UserDesktopDir() const {
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
  return folder ? WithSlash(folder) : std::string();
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

}  // namespace velloc::platform
