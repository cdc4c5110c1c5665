// IShell on Linux: programs (ELF images and "#!" scripts) are spawned, everything else opens with
// the default application through GIO; the file manager is asked over D-Bus; commands run as
// GSubprocesses whose output is read asynchronously on the main loop.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/Shell.h"

typedef struct _GCancellable GCancellable;
typedef struct _GSubprocess GSubprocess;

namespace velloc::platform {

// What `Execute` does with a local file: start it, or open it with the default application.
enum class TExecuteKind { Run, Open };
// Run only for a regular file the user may execute that is an ELF image or a script with a "#!"
// line; any other file, an execute bit notwithstanding (a document on an exFAT or NTFS mount, a
// file copied with mode 0755, another executable format), is opened, never run by a shell.
TExecuteKind ExecuteKindOf(const std::string& path);

// The commands a shell has started that have not been reaped yet.
using TRunningCommands = std::set<GSubprocess*>;

class TLinuxShell final : public IShell {
 public:
  TLinuxShell();
  // Pending requests are cancelled: their callbacks are not called any more. Commands still
  // running are ended, with every process they started.
  ~TLinuxShell() override;
  TLinuxShell(const TLinuxShell&) = delete;
  TLinuxShell& operator=(const TLinuxShell&) = delete;

  TOutcome Execute(const std::string& filePath, const std::string& arguments) override;
  void Explore(const std::string& filePath, TOutcomeCallback done) override;
  void RunCommand(const std::string& commandLine, const std::string& workingDir, bool showWindow,
                  std::function<void(std::string output)> done) override;

  // Ends the commands still running, each with every process it started: a termination signal
  // first, and after at most 0.2 s a kill.
  void EndCommands() noexcept;

 private:
  GCancellable* FCancellable;
  std::shared_ptr<TRunningCommands> FRunning;
};

}  // namespace velloc::platform
