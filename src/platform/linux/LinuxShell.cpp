#include "platform/linux/LinuxShell.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>

#include <gio/gio.h>

#include "platform/gtk/GLibPtr.h"

extern char** environ;

namespace velloc::platform {
namespace {

// An asynchronous request in flight: its callback and the shell's cancellable, which tells the
// callback whether the shell still exists.
template <typename TDone>
struct TRequest {
  GCancellable* Cancellable;  // owned reference
  TDone Done;
  std::string Uri;
  ~TRequest() { g_object_unref(Cancellable); }
};

void ReportCallbackError(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc shell: %s: %s\n", where, e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc shell: %s: unknown error\n", where);
  }
}

// The program a path names: the file itself, or a bare name found along PATH.
std::string ProgramPath(const std::string& filePath) {
  if (ExecuteKindOf(filePath) == TExecuteKind::Run) return filePath;
  if (filePath.find('/') != std::string::npos || g_file_test(filePath.c_str(), G_FILE_TEST_EXISTS))
    return {};
  glib::TGFree<gchar> found(g_find_program_in_path(filePath.c_str()));
  return found.Get() && ExecuteKindOf(found.Get()) == TExecuteKind::Run ? std::string(found.Get())
                                                                        : std::string();
}

// "scheme:..." with a scheme of two characters or more (so "C:\x" is no URI).
bool IsUri(const std::string& text) {
  glib::TGFree<char> scheme(g_uri_parse_scheme(text.c_str()));
  return scheme.Get() && std::string_view(scheme.Get()).size() > 1;
}

TOutcome OpenUriWithDefault(const std::string& uri) {
  glib::TError error;
  if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, error.Out()))
    return {false, error.Message()};
  return {true, ""};
}

TOutcome OpenFileWithDefault(const std::string& path) {
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return {false, g_strerror(ENOENT)};
  glib::TObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  glib::TGFree<char> uri(g_file_get_uri(file.Get()));
  return OpenUriWithDefault(uri.Get());
}

TOutcome Spawn(const std::string& program, const std::string& arguments) {
  std::vector<std::string> words{program};
  if (!arguments.empty()) {
    gint count = 0;
    gchar** parsed = nullptr;
    glib::TError error;
    // Only blanks is no argument at all; anything else must parse as a shell would.
    if (!g_shell_parse_argv(arguments.c_str(), &count, &parsed, error.Out())) {
      if (!g_error_matches(*error.Out(), G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING))
        return {false, error.Message()};
    } else {
      for (gint i = 0; i < count; ++i)
        words.emplace_back(parsed[i]);
      g_strfreev(parsed);
    }
  }
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  // posix_spawn runs the file itself or fails: unlike GLib's spawn it never hands a file the
  // kernel refuses to /bin/sh. The program gets a session of its own, as a program the desktop
  // starts does, and none of the runtime's descriptors beyond the standard three.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return {false, g_strerror(error)};
  // It runs on independently; the main loop reaps it when it ends.
  g_child_watch_add(
      pid, [](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
  return {true, ""};
}

using TExploreRequest = TRequest<TOutcomeCallback>;

void OnShowItems(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TExploreRequest*>(data);
  try {
    glib::TError error;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, error.Out());
    if (reply) g_variant_unref(reply);
    if (!g_cancellable_is_cancelled(request->Cancellable)) {
      if (reply) {
        request->Done({true, ""});
      } else {
        // No file manager answers: open the containing folder instead.
        glib::TObjectPtr<GFile> file(g_file_new_for_uri(request->Uri.c_str()));
        glib::TObjectPtr<GFile> parent(g_file_get_parent(file.Get()));
        glib::TGFree<char> parentUri(g_file_get_uri(parent ? parent.Get() : file.Get()));
        request->Done(OpenUriWithDefault(parentUri.Get()));
      }
    }
  } catch (...) {
    ReportCallbackError("explore");
  }
  delete request;
}

// A command's process group (its shell's id, since each command leads a session of its own);
// 0 once the shell has been reaped.
pid_t ProcessGroup(GSubprocess* process) {
  const char* id = g_subprocess_get_identifier(process);
  return id ? static_cast<pid_t>(std::atoi(id)) : 0;
}

// In the child between fork and exec: a session of its own, so that the command and everything
// it starts can be ended as one group, and an end with the runtime should the runtime die.
void CommandChildSetup(gpointer) {
  ::setsid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// A running command: its output so far, read in pieces on the main loop.
struct TCommandRequest {
  GCancellable* Cancellable;  // owned reference: cancelled once the shell is gone
  std::function<void(std::string)> Done;
  GSubprocess* Process;  // owned reference
  std::shared_ptr<TRunningCommands> Running;
  std::string Output;

  ~TCommandRequest() {
    Running->erase(Process);
    g_object_unref(Process);
    g_object_unref(Cancellable);
  }
};

void OnCommandWaited(GObject* /*source*/, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TCommandRequest*>(data);
  try {
    g_subprocess_wait_finish(request->Process, result, nullptr);
    if (!g_cancellable_is_cancelled(request->Cancellable))
      request->Done(std::move(request->Output));
  } catch (...) {
    ReportCallbackError("command");
  }
  delete request;
}

void ReadCommandOutput(TCommandRequest* request);

void OnCommandOutput(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TCommandRequest*>(data);
  try {
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, nullptr);
    gsize size = 0;
    const auto* piece = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    const std::size_t room = kMaxCommandOutput - request->Output.size();
    if (piece && size > 0) request->Output.append(piece, std::min<std::size_t>(size, room));
    if (bytes) g_bytes_unref(bytes);
    if (g_cancellable_is_cancelled(request->Cancellable)) {
      delete request;
      return;
    }
    if (piece && size > 0 && size <= room) {
      ReadCommandOutput(request);
      return;
    }
    // The end of the output, or more than may be kept: the command and its children end here.
    if (size > room) {
      if (const pid_t group = ProcessGroup(request->Process)) ::kill(-group, SIGKILL);
    }
    g_subprocess_wait_async(request->Process, request->Cancellable, OnCommandWaited, request);
  } catch (...) {
    ReportCallbackError("command");
    delete request;
  }
}

void ReadCommandOutput(TCommandRequest* request) {
  // One byte beyond the limit tells whether there is more.
  const std::size_t wanted =
      std::min<std::size_t>(64 * 1024, kMaxCommandOutput - request->Output.size() + 1);
  g_input_stream_read_bytes_async(g_subprocess_get_stdout_pipe(request->Process), wanted,
                                  G_PRIORITY_DEFAULT, request->Cancellable, OnCommandOutput,
                                  request);
}

}  // namespace

TExecuteKind ExecuteKindOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      ::access(path.c_str(), X_OK) != 0)
    return TExecuteKind::Open;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return TExecuteKind::Open;
  char head[4] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  const std::string_view start(head, got > 0 ? static_cast<std::size_t>(got) : 0);
  return start == "\x7F"
                  "ELF" ||
                 start.starts_with("#!")
             ? TExecuteKind::Run
             : TExecuteKind::Open;
}

TLinuxShell::TLinuxShell()
    : FCancellable(g_cancellable_new()), FRunning(std::make_shared<TRunningCommands>()) {}

TLinuxShell::~TLinuxShell() {
  g_cancellable_cancel(FCancellable);
  g_object_unref(FCancellable);
  EndCommands();
}

void TLinuxShell::EndCommands() noexcept {
  // Asked first, then made to, each command with every process it started.
  std::vector<pid_t> groups;
  for (GSubprocess* process : *FRunning) {
    if (const pid_t group = ProcessGroup(process)) groups.push_back(group);
  }
  for (const pid_t group : groups)
    ::kill(-group, SIGTERM);
  const auto anyLeft = [&] {
    for (const pid_t group : groups) {
      if (::kill(-group, 0) == 0) return true;
    }
    return false;
  };
  for (int wait = 0; wait < 20 && anyLeft(); ++wait)
    g_usleep(10 * 1000);
  for (const pid_t group : groups) {
    if (::kill(-group, 0) == 0) ::kill(-group, SIGKILL);
  }
}

TOutcome TLinuxShell::Execute(const std::string& filePath, const std::string& arguments) {
  const std::string program = ProgramPath(filePath);
  if (!program.empty()) return Spawn(program, arguments);
  if (IsUri(filePath)) return OpenUriWithDefault(filePath);
  return OpenFileWithDefault(filePath);
}

void TLinuxShell::Explore(const std::string& filePath, TOutcomeCallback done) {
  glib::TObjectPtr<GFile> file(g_file_new_for_path(filePath.c_str()));
  glib::TGFree<char> uri(g_file_get_uri(file.Get()));
  auto* request =
      new TExploreRequest{G_CANCELLABLE(g_object_ref(FCancellable)), std::move(done), uri.Get()};
  glib::TError error;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.Out());
  if (!bus) {
    glib::TObjectPtr<GFile> parent(g_file_get_parent(file.Get()));
    glib::TGFree<char> parentUri(g_file_get_uri(parent ? parent.Get() : file.Get()));
    const TOutcomeCallback callback = std::move(request->Done);
    delete request;
    callback(OpenUriWithDefault(parentUri.Get()));
    return;
  }
  const gchar* uris[] = {uri.Get(), nullptr};
  g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems",
                         g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                         FCancellable, OnShowItems, request);
  g_object_unref(bus);
}

void TLinuxShell::RunCommand(const std::string& commandLine, const std::string& workingDir,
                             bool /*showWindow: a command has no console window of its own here*/,
                             std::function<void(std::string output)> done) {
  // Output and errors share one pipe, in the order written; input is the runtime's own.
  glib::TObjectPtr<GSubprocessLauncher> launcher(
      g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                                              G_SUBPROCESS_FLAGS_STDERR_MERGE |
                                                              G_SUBPROCESS_FLAGS_STDIN_INHERIT)));
  if (!workingDir.empty()) g_subprocess_launcher_set_cwd(launcher.Get(), workingDir.c_str());
  g_subprocess_launcher_set_child_setup(launcher.Get(), CommandChildSetup, nullptr, nullptr);
  const gchar* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
  glib::TError error;
  GSubprocess* process = g_subprocess_launcher_spawnv(launcher.Get(), argv, error.Out());
  if (!process) {
    done({});
    return;
  }
  FRunning->insert(process);
  ReadCommandOutput(new TCommandRequest{
      G_CANCELLABLE(g_object_ref(FCancellable)), std::move(done), process, FRunning, {}});
}

}  // namespace velloc::platform
