// IShell on Linux: programs are spawned, everything else opens with the default application
// through GIO; the file manager is asked over D-Bus; commands run as GSubprocesses whose output
// is read asynchronously on the main loop.
#pragma once

#include <functional>
#include <string>

#include "platform/Shell.h"

typedef struct _GCancellable GCancellable;

namespace velloc::platform {

class TLinuxShell final : public IShell {
 public:
  TLinuxShell();
  // Pending requests are cancelled: their callbacks are not called any more.
  ~TLinuxShell() override;
  TLinuxShell(const TLinuxShell&) = delete;
  TLinuxShell& operator=(const TLinuxShell&) = delete;

  TOutcome Execute(const std::string& filePath, const std::string& arguments) override;
  void Explore(const std::string& filePath, TOutcomeCallback done) override;
  void RunCommand(const std::string& commandLine, const std::string& workingDir, bool showWindow,
                  std::function<void(std::string output)> done) override;

 private:
  GCancellable* FCancellable;
};

}  // namespace velloc::platform
