#include "platform/gtk/GtkRuntimeInstaller.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtk/gtk.h>

#include "platform/gtk/CallbackGuard.h"

namespace velloc::platform::gtk {
namespace {

struct TChildWait {
  bool Ended = false;
  int Status = 0;
};

void OnChildEnded(GPid pid, gint status, gpointer data) {
  auto* wait = static_cast<TChildWait*>(data);
  wait->Status = status;
  wait->Ended = true;
  g_spawn_close_pid(pid);
}

}  // namespace

std::vector<std::string> ElevatedCommandLine(const std::string& path, const std::string& params,
                                             bool isRoot) {
  std::vector<std::string> line;
  if (!isRoot) line.emplace_back("pkexec");
  line.push_back(path);
  std::size_t start = 0;
  while (start < params.size()) {
    const std::size_t blank = params.find(' ', start);
    const std::size_t end = blank == std::string::npos ? params.size() : blank;
    if (end > start) line.push_back(params.substr(start, end - start));
    start = end + 1;
  }
  return line;
}

void TGtkRuntimeInstaller::ShowBusyForm(const TInstallerFormStyle& style) {
  if (!FHasDisplay || FForm) return;
  FForm = std::make_unique<TGtkInstallerForm>(style);
  while (gtk_events_pending())
    gtk_main_iteration();
}

int TGtkRuntimeInstaller::RunElevatedAndWait(const std::string& path, const std::string& params) {
  // The installer is extracted as a plain file; pkexec runs only what may be executed.
  if (::chmod(path.c_str(), S_IRWXU) != 0) return 0;
  const std::vector<std::string> line = ElevatedCommandLine(path, params, ::geteuid() == 0);
  std::vector<char*> argv;
  for (const std::string& arg : line)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  GPid pid = 0;
  GError* error = nullptr;
  const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                              G_SPAWN_STDIN_FROM_DEV_NULL);
  if (!g_spawn_async(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, &pid, &error)) {
    std::fprintf(stderr, "velloc: cannot run the installer: %s\n", error->message);
    g_error_free(error);
    return 0;
  }
  // The busy form animates and the display stays answered while the installer works.
  TChildWait wait;
  g_child_watch_add(pid, OnChildEnded, &wait);
  while (!wait.Ended)
    g_main_context_iteration(nullptr, TRUE);
  if (WIFEXITED(wait.Status)) return WEXITSTATUS(wait.Status);
  return 128 + (WIFSIGNALED(wait.Status) ? WTERMSIG(wait.Status) : 0);
}

std::string TGtkRuntimeInstaller::WriteInstaller(const std::string& folder, const std::string& name,
                                                 const std::vector<std::uint8_t>& bytes) {
  // mkdtemp makes a new folder (mode 0700) or fails; O_EXCL a new file in it, or fails.
  std::string dir = folder + "installer-XXXXXX";
  if (!::mkdtemp(dir.data())) return {};
  const std::string path = dir + "/" + name;
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
  bool written = fd >= 0;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    done += written ? static_cast<std::size_t>(n) : 0;
  }
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (written) return path;
  DeleteDirectory(dir);
  return {};
}

bool TGtkRuntimeInstaller::DeleteDirectory(const std::string& path) {
  // Without its trailing slashes a link names itself: remove_all removes the link and never
  // follows it, neither here nor below.
  std::string own = path;
  while (own.size() > 1 && own.back() == '/')
    own.pop_back();
  std::error_code error;
  std::filesystem::remove_all(own, error);
  return !error;
}

bool TGtkRuntimeInstaller::DeleteFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(path, error) && !error;
}

}  // namespace velloc::platform::gtk
