// The desktop shell: opening files and programs, showing a file in the file manager, running a
// console command, and the titles of the desktop's top-level windows.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/Outcome.h"

namespace velloc::platform {

// The most output a console command may give: there the reading stops, the command (with every
// process it started) is ended, and its answer is the output up to that point.
inline constexpr std::size_t kMaxCommandOutput = std::size_t{64} << 20;

class IShell {
 public:
  virtual ~IShell() = default;
  // Starts `filePath` with `arguments` when it is a program, else opens it (a document, a
  // folder, a URL) with the user's default application.
  virtual TOutcome Execute(const std::string& filePath, const std::string& arguments) = 0;
  // Shows `filePath` in the file manager, selected where the file manager can do that.
  virtual void Explore(const std::string& filePath, TOutcomeCallback done) = 0;
  // Runs `commandLine` through the system's command interpreter in `workingDir` (the process's
  // own current folder when empty), without blocking the UI loop. `done` receives everything the
  // command wrote to its standard output and error, as raw bytes, once it has ended, at most
  // kMaxCommandOutput of them; a command that cannot start gives no bytes. Never called once the
  // shell is destroyed; commands still running then are ended.
  virtual void RunCommand(const std::string& commandLine, const std::string& workingDir,
                          bool showWindow, std::function<void(std::string output)> done) = 0;
};

class IWindowList {
 public:
  virtual ~IWindowList() = default;
  // The title of every top-level window in the order the system lists them, blank ones included.
  virtual std::vector<std::string> TopLevelWindowTitles() = 0;
};

}  // namespace velloc::platform
