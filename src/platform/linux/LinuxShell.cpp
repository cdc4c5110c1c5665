#include "platform/linux/LinuxShell.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <gio/gio.h>

#include "platform/gtk/GLibPtr.h"

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

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The program a path names: the file itself, or a bare name found along PATH.
std::string ProgramPath(const std::string& filePath) {
  if (IsExecutableFile(filePath)) return filePath;
  if (filePath.find('/') != std::string::npos) return {};
  glib::TGFree<gchar> found(g_find_program_in_path(filePath.c_str()));
  return found.Get() && IsExecutableFile(found.Get()) ? std::string(found.Get()) : std::string();
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
  std::vector<gchar*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  glib::TError error;
  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib reaps the program itself; it runs on independently.
  if (!g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                     error.Out()))
    return {false, error.Message()};
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

using TCommandRequest = TRequest<std::function<void(std::string)>>;

void OnCommunicated(GObject* source, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<TCommandRequest*>(data);
  try {
    GBytes* out = nullptr;
    glib::TError error;
    g_subprocess_communicate_finish(G_SUBPROCESS(source), result, &out, nullptr, error.Out());
    std::string output;
    if (out) {
      gsize size = 0;
      const auto* bytes = static_cast<const char*>(g_bytes_get_data(out, &size));
      if (bytes) output.assign(bytes, size);
      g_bytes_unref(out);
    }
    if (!g_cancellable_is_cancelled(request->Cancellable)) request->Done(std::move(output));
  } catch (...) {
    ReportCallbackError("command");
  }
  g_object_unref(source);
  delete request;
}

}  // namespace

TLinuxShell::TLinuxShell() : FCancellable(g_cancellable_new()) {}

TLinuxShell::~TLinuxShell() {
  g_cancellable_cancel(FCancellable);
  g_object_unref(FCancellable);
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
  const gchar* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
  glib::TError error;
  GSubprocess* process = g_subprocess_launcher_spawnv(launcher.Get(), argv, error.Out());
  if (!process) {
    done({});
    return;
  }
  auto* request =
      new TCommandRequest{G_CANCELLABLE(g_object_ref(FCancellable)), std::move(done), {}};
  // Reads the output to its end and waits for the process, all on the main loop.
  g_subprocess_communicate_async(process, nullptr, FCancellable, OnCommunicated, request);
}

}  // namespace velloc::platform
