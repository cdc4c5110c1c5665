// IShell on Windows: the shell's "open" verb, the file manager asked to select a file, and
// console commands through "cmd.exe /C" whose output is read on a thread of their own and
// handed back to the UI thread through a message-only window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Shell.h"

typedef struct HWND__* HWND;

namespace velloc::platform {

class TWin32Shell final : public IShell {
 public:
  // `maxOutput`: the most output a command may give (a smaller one for tests).
  explicit TWin32Shell(std::size_t maxOutput = kMaxCommandOutput);
  // Commands still running are ended, with every process they started; their callbacks are not
  // called any more.
  ~TWin32Shell() override;
  TWin32Shell(const TWin32Shell&) = delete;
  TWin32Shell& operator=(const TWin32Shell&) = delete;

  TOutcome Execute(const std::string& filePath, const std::string& arguments) override;
  void Explore(const std::string& filePath, TOutcomeCallback done) override;
  // The output is passed on as UTF-8, converted as ConsoleOutputToUtf8 says.
  void RunCommand(const std::string& commandLine, const std::string& workingDir, bool showWindow,
                  std::function<void(std::string output)> done) override;

  // The system's message for an error code, as UTF-8; empty when it has none.
  static std::string ErrorMessage(unsigned long code);
  // A command's output as UTF-8, NUL bytes dropped: kept as it is when it is UTF-8 with a
  // character beyond ASCII, else read in the code page of the command's console, in which
  // cmd.exe and console programs write to a pipe: this process's console's, or the OEM code
  // page of the console a command of the (console-less) runtime gets. Read in the ANSI code
  // page instead, "echo café" would come back as "caf‚".
  static std::string ConsoleOutputToUtf8(const std::string& bytes);
  // Tells Explorer and the rest of the shell that file types or URL schemes were registered, so
  // they take them up without a new log-on.
  static void NotifyAssociationsChanged();

  // Calls the callbacks of the commands that have ended; run by the shell's own window.
  void DeliverFinished();

  struct TFinished;

 private:
  std::shared_ptr<TFinished> FFinished;  // shared with the threads that read commands
  HWND FWindow = nullptr;
  std::uint64_t FNextCommand = 1;
  std::size_t FMaxOutput;
  std::map<std::uint64_t, std::function<void(std::string)>> FPending;
};

}  // namespace velloc::platform
