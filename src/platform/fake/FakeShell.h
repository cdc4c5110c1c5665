// Fakes of the shell and the window list: record what the core asked, answer from fields a test
// sets. Asynchronous answers wait in a queue until the test finishes them.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Shell.h"

namespace velloc::platform::fake {

class TFakeShell : public IShell {
 public:
  struct TCommand {
    std::string CommandLine, WorkingDir;
    bool ShowWindow = false;
    std::function<void(std::string output)> Done;
  };

  TOutcome ExecuteOutcome{true, ""};
  TOutcome ExploreOutcome{true, ""};
  std::vector<std::pair<std::string, std::string>> Executed;  // file path, arguments
  std::vector<std::string> Explored;
  std::vector<TCommand> Commands;  // running until the test calls Finish

  TOutcome Execute(const std::string& filePath, const std::string& arguments) override {
    Executed.emplace_back(filePath, arguments);
    return ExecuteOutcome;
  }
  void Explore(const std::string& filePath, TOutcomeCallback done) override {
    Explored.push_back(filePath);
    done(ExploreOutcome);
  }
  void RunCommand(const std::string& commandLine, const std::string& workingDir, bool showWindow,
                  std::function<void(std::string output)> done) override {
    Commands.push_back({commandLine, workingDir, showWindow, std::move(done)});
  }
  // Ends the command started `index`-th with the given output.
  void Finish(std::size_t index, std::string output) {
    auto done = std::move(Commands.at(index).Done);
    done(std::move(output));
  }
};

class TFakeWindowList : public IWindowList {
 public:
  std::vector<std::string> Titles;
  std::vector<std::string> TopLevelWindowTitles() override { return Titles; }
};

}  // namespace velloc::platform::fake
