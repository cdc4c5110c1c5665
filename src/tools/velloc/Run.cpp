// velloc run: the development loop. The app folder is packed into a private temporary folder as
// a development package (package/DevelopmentPackage.h) and that executable runs; every change
// under the folder packs it again, quickly, in place. The runtime notices the new file and
// reloads its page; a change of vlx.ini or of the page script, which shape the window and the
// bridge at start, starts the application again instead. So the page always runs exactly as a
// packed application does, with the same window rules, the same bridge and the same security.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <sys/inotify.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <sys/wait.h>

#include "config/AppKeys.h"
#include "config/ProjectIni.h"
#include "package/DevelopmentPackage.h"
#include "tools/velloc/Cli.h"
#include "tools/velloc/TerminalText.h"

extern char** environ;

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

// Editors write a file in several steps; the folder is packed once they have been quiet this long.
constexpr int kQuietMs = 150;
// How often a running application is checked for its end while nothing changes.
constexpr int kPollMs = 250;

class TTempFolder {
 public:
  TTempFolder() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    const fs::path base =
        runtimeDir && *runtimeDir && fs::is_directory(runtimeDir, ec) ? runtimeDir : "/tmp";
    std::string pattern = (base / "velloc-run-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
      throw TCliError("cannot create a folder in " + base.string() + ": " + std::strerror(errno));
    FPath = pattern;
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  ~TTempFolder() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  const fs::path& Path() const { return FPath; }

 private:
  fs::path FPath;
};

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  int Get() const { return FFd; }

 private:
  int FFd;
};

// The application's standard output or error on its way to velloc's own: a pipe whose text is
// copied with its control characters escaped (tools/velloc/TerminalText.h), so that a page's
// console messages cannot drive the terminal. velloc keeps the write end too, so the pipe lives
// through restarts of the application.
class TOutputRelay {
 public:
  explicit TOutputRelay(int target) : FTarget(target) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
      throw TCliError(std::string("cannot make a pipe: ") + std::strerror(errno));
    FRead = ends[0];
    FWrite = ends[1];
    ::fcntl(FRead, F_SETFL, ::fcntl(FRead, F_GETFL) | O_NONBLOCK);
  }
  TOutputRelay(const TOutputRelay&) = delete;
  TOutputRelay& operator=(const TOutputRelay&) = delete;
  ~TOutputRelay() {
    ::close(FRead);
    ::close(FWrite);
  }
  int ReadEnd() const { return FRead; }
  int WriteEnd() const { return FWrite; }

  // Copies what is waiting in the pipe.
  void Copy() {
    char buffer[16384];
    for (;;) {
      const ssize_t size = ::read(FRead, buffer, sizeof buffer);
      if (size < 0 && errno == EINTR) continue;
      if (size <= 0) return;
      Write(FText.Add(std::string_view(buffer, static_cast<std::size_t>(size))));
    }
  }
  // Copies what is left, once the application has ended.
  void Finish() {
    Copy();
    Write(FText.Finish());
  }

 private:
  void Write(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(FTarget, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // the terminal is gone: nothing more to show
      done += static_cast<std::size_t>(n);
    }
  }

  int FTarget;
  int FRead = -1, FWrite = -1;
  TTerminalText FText;
};

// A random secret for the session, as hex text (package/DevelopmentPackage.h).
std::string SessionSecret() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw TCliError(std::string("no random numbers: ") + std::strerror(errno));
    got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 0xF]);
  }
  return text;
}

// The folder named by DirName, when vlx.ini names one; empty otherwise.
std::string AppDirName(const fs::path& folder) {
  try {
    std::error_code ec;
    if (fs::file_size(folder / "vlx.ini", ec) > config::kMaxConfigFileSize || ec) return {};
    FILE* file = std::fopen((folder / "vlx.ini").c_str(), "rb");
    if (!file) return {};
    std::vector<std::uint8_t> bytes(config::kMaxConfigFileSize);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    config::TProjectIni ini;
    ini.LoadFromBytes(bytes);
    return config::ReadAppKey(ini, config::app::DirName);
  } catch (const std::exception&) {
    return {};
  }
}

bool IgnoredName(std::string_view name) {
  // Editors' swap, backup and probe files change while one types; they are never a page.
  return name.empty() || name.front() == '.' || name.back() == '~' || name.ends_with(".swp") ||
         name.ends_with(".swx") || name == "4913";
}

// The folders watched: the app folder itself (for vlx.ini and the page script) and every folder
// of the web folder.
class TFolderWatch {
 public:
  explicit TFolderWatch(const fs::path& folder)
      : FFolder(folder), FFd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (FFd.Get() < 0) throw TCliError(std::string("cannot watch files: ") + std::strerror(errno));
    Refresh();
  }
  int Fd() const { return FFd.Get(); }

  // Adds folders that have appeared, and the web folder when DirName has changed.
  void Refresh() {
    Add(FFolder, true);
    const std::string dirName = AppDirName(FFolder);
    if (dirName.empty() || dirName.find('/') != std::string::npos) return;
    std::error_code ec;
    const fs::path web = FFolder / dirName;
    if (!fs::is_directory(web, ec)) return;
    Add(web, false);
    for (auto it = fs::recursive_directory_iterator(
             web, fs::directory_options::follow_directory_symlink, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec)) Add(it->path(), false);
    }
  }

  // Reads the waiting events: the changed files' paths, and whether one of them shapes the
  // start (vlx.ini, the page script).
  void Read(std::set<std::string>& changed, bool& restart) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t size = ::read(FFd.Get(), buffer, sizeof buffer);
      if (size <= 0) return;
      for (ssize_t offset = 0; offset < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          changed.insert("(many files)");
          restart = true;
          continue;
        }
        const auto found = FWatches.find(event->wd);
        if (found == FWatches.end()) continue;
        if (event->mask & IN_IGNORED) {
          FWatches.erase(found);
          continue;
        }
        const std::string name = event->len ? event->name : "";
        if (IgnoredName(name)) continue;
        if (found->second.Top) {
          if (name == "vlx.ini" || name == "vlx-webviewjs") {
            changed.insert(name);
            restart = true;
          } else if (name == AppDirName(FFolder)) {
            changed.insert(name);
          }
          continue;
        }
        changed.insert((found->second.Path / name).lexically_relative(FFolder).string());
      }
    }
  }

 private:
  struct TWatched {
    fs::path Path;
    bool Top;
  };

  void Add(const fs::path& path, bool top) {
    constexpr std::uint32_t kMask =
        IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    const int wd = ::inotify_add_watch(FFd.Get(), path.c_str(), kMask);
    if (wd >= 0) FWatches[wd] = {path, top};
  }

  fs::path FFolder;
  TFd FFd;
  std::map<int, TWatched> FWatches;
};

// The changed files for the terminal: those that still exist first (an editor's temporary files
// come and go in the same burst), at most three.
std::string ChangeSummary(const fs::path& folder, const std::set<std::string>& changed) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const std::string& name : changed) {
    if (fs::exists(folder / name, ec)) names.push_back(name);
  }
  if (names.empty()) names.assign(changed.begin(), changed.end());
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 3; ++i)
    text += (i ? ", " : "") + names[i];
  if (names.size() > 3) text += " and " + std::to_string(names.size() - 3) + " more";
  return text;
}

pid_t Start(const fs::path& executable, const sigset_t& defaultMask, const TOutputRelay& out,
            const TOutputRelay& err) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The application gets the signal mask this program started with, not the blocked one.
  posix_spawnattr_setsigmask(&attributes, &defaultMask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.WriteEnd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.WriteEnd(), STDERR_FILENO);
  char* argv[] = {const_cast<char*>(executable.c_str()), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    throw TCliError("cannot start " + executable.string() + ": " + std::strerror(error));
  }
  return pid;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// Ends the application as a desktop session would, and waits: the next one must not meet its
// single-instance lock. Its output is copied meanwhile, so that it never waits on a full pipe.
int Stop(pid_t pid, TOutputRelay& out, TOutputRelay& err) {
  ::kill(pid, SIGTERM);
  int status = 0;
  for (;;) {
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    pollfd fds[2] = {{out.ReadEnd(), POLLIN, 0}, {err.ReadEnd(), POLLIN, 0}};
    ::poll(fds, 2, 50);
    out.Copy();
    err.Copy();
  }
  return ExitCodeOf(status);
}

}  // namespace

int RunDevelopment(const TRunOptions& options) {
  const fs::path folder = options.AppFolder;
  // The runtime trusts only servers on this machine; said here, before anything runs.
  if (!options.Url.empty() && package::LoopbackOrigin(options.Url).empty()) {
    throw TCliError(
        "--url must be an http or https address on this machine (localhost, "
        "127.0.0.1 or [::1]), such as http://localhost:5173/, not \"" +
        options.Url + "\"");
  }
  TTempFolder temp;
  TPackOptions pack;
  pack.AppFolder = folder;
  pack.Runtime = options.Runtime;
  pack.Module = options.Module;
  pack.Quiet = true;
  pack.Development = true;
  pack.Inspect = options.Inspect;
  // The runtime takes the package for a development package only with this session's secret.
  pack.DevelopmentSecret = SessionSecret();
  pack.DevelopmentUrl = options.Url;
  ::setenv(std::string(package::kDevelopmentSecretVariable).c_str(), pack.DevelopmentSecret.c_str(),
           1);
  // The executable is named after the ID, as `velloc pack` names it, and replaced in place.
  pack.Output = temp.Path() / "app";
  const fs::path executable = RunPack(pack);

  // Interrupts and ends arrive through a descriptor, so the application is always ended and the
  // temporary folder removed.
  sigset_t handled;
  sigset_t previous;
  sigemptyset(&handled);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGHUP);
  sigprocmask(SIG_BLOCK, &handled, &previous);
  const TFd signals(::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK));
  if (signals.Get() < 0) throw TCliError(std::string("signalfd: ") + std::strerror(errno));

  TFolderWatch watch(folder);
  if (options.Url.empty()) {
    std::fprintf(stderr,
                 "velloc: running %s; saved changes reload the page, Ctrl+C ends the application\n",
                 folder.c_str());
  } else {
    std::fprintf(stderr, "velloc: running %s with the pages of %s; Ctrl+C ends the application\n",
                 folder.c_str(), options.Url.c_str());
  }
  TOutputRelay out(STDOUT_FILENO), err(STDERR_FILENO);
  const auto finish = [&](int exitCode) {
    out.Finish();
    err.Finish();
    return exitCode;
  };
  pid_t child = Start(executable, previous, out, err);
  for (;;) {
    pollfd fds[4] = {{watch.Fd(), POLLIN, 0},
                     {signals.Get(), POLLIN, 0},
                     {out.ReadEnd(), POLLIN, 0},
                     {err.ReadEnd(), POLLIN, 0}};
    const int ready = ::poll(fds, 4, kPollMs);
    if (fds[2].revents & POLLIN) out.Copy();
    if (fds[3].revents & POLLIN) err.Copy();
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return finish(ExitCodeOf(status));
    if (ready <= 0 || !(fds[0].revents | fds[1].revents)) continue;
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info{};
      [[maybe_unused]] const ssize_t got = ::read(signals.Get(), &info, sizeof info);
      Stop(child, out, err);
      return finish(128 + static_cast<int>(info.ssi_signo));
    }
    // Collect until the editor has been quiet for a moment.
    std::set<std::string> changed;
    bool restart = false;
    watch.Read(changed, restart);
    pollfd quiet{watch.Fd(), POLLIN, 0};
    while (::poll(&quiet, 1, kQuietMs) > 0)
      watch.Read(changed, restart);
    if (changed.empty()) continue;
    watch.Refresh();
    const auto started = std::chrono::steady_clock::now();
    try {
      RunPack(pack);
    } catch (const TCliError& error) {
      std::fprintf(stderr, "velloc: %s; the application keeps its last version\n", error.what());
      continue;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    std::fprintf(stderr, "velloc: %s changed; packed in %lld ms%s\n",
                 ChangeSummary(folder, changed).c_str(), static_cast<long long>(ms),
                 restart               ? ", starting the application again"
                 : options.Url.empty() ? ", reloading the page"
                                       : "");
    if (restart) {
      Stop(child, out, err);
      child = Start(executable, previous, out, err);
    }
  }
}

}  // namespace velloc::cli
