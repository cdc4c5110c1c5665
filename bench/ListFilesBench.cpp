// vlx.folders.listFiles on a tree of 100,000 files, measured beside `find` on the same tree in
// the same run. The listing goes through the whole bridge (message parsing, the walk, the JSON
// reply); `find` prints its paths into a pipe that is read to the end. Both run on a warm page
// cache. The "vs_find" counter of a listing is its time / find's time; the goal is 1.5 or less.
//
// The tree is made once under $TMPDIR (default /tmp) as velloc-bench-listfiles-<files> and kept
// for later runs; VELLOC_BENCH_FILES changes the number of files.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include "bridge/BrowserExternalModule.h"
#include "core/StrUtils.h"
#include "platform/linux/PosixFileSystem.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using velloc::TStrUtils;
using velloc::bridge::IBridgeBrowserForm;
using velloc::bridge::TBrowserExternalModule;

int FileCount() {
  const char* count = std::getenv("VELLOC_BENCH_FILES");
  return count ? std::atoi(count) : 100000;
}

// 100 folders of 10 subfolders with 100 files each (for 100,000 files): half ".txt", half
// ".dat", so a mask keeps half of them.
const std::string& Tree() {
  static const std::string root = [] {
    const char* tmp = std::getenv("TMPDIR");
    const int files = FileCount();
    const fs::path path =
        fs::path(tmp ? tmp : "/tmp") / ("velloc-bench-listfiles-" + std::to_string(files));
    const fs::path done = path / ".complete";
    if (!fs::exists(done)) {
      fs::remove_all(path);
      for (int i = 0; i < files; ++i) {
        const fs::path folder =
            path / ("dir" + std::to_string(i / 1000)) / ("sub" + std::to_string(i / 100 % 10));
        if (i % 100 == 0) fs::create_directories(folder);
        std::ofstream(folder / ("file" + std::to_string(i) + (i % 2 ? ".txt" : ".dat")));
      }
      std::ofstream{done};
    }
    return path.string();
  }();
  return root;
}

class TBenchBrowserForm : public IBridgeBrowserForm {
 public:
  velloc::platform::IWebView* Browser() const override { return nullptr; }
  void SetStartPageURL(const std::string&) override {}
  void InitializeBrowser() override {}
  std::string AppDirPath() const override { return "/nonexistent/"; }
};

std::map<std::string, double> gFindSeconds;  // find's time per mask, for the ratio

void ReportRatio(benchmark::State& state, const std::string& key, double seconds) {
  const auto find = gFindSeconds.find(key);
  if (find != gFindSeconds.end() && find->second > 0)
    state.counters["vs_find"] = seconds / find->second;
}

// Runs `find` with the arguments and reads its standard output to the end; the bytes read.
std::size_t RunFind(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  std::vector<char*> argv;
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("cannot start find");
  }
  std::size_t total = 0;
  char buffer[65536];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    total += static_cast<std::size_t>(n);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return total;
}

void FindBench(benchmark::State& state, const std::string& key,
               const std::vector<std::string>& extra) {
  std::vector<std::string> args{"find", Tree()};
  args.insert(args.end(), extra.begin(), extra.end());
  std::size_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state)
    bytes = RunFind(args);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  gFindSeconds[key] = elapsed.count() / static_cast<double>(state.iterations());
  state.counters["bytes"] = static_cast<double>(bytes);
}

void ListFilesBench(benchmark::State& state, const std::string& key, const std::string& mask) {
  TBenchBrowserForm form;
  TBrowserExternalModule module;
  velloc::platform::TPosixFileSystem fileSystem;
  module.SetBrowserForm(&form);
  module.SetFileSystem(&fileSystem);
  const std::string message = "{\"id\": 40004, \"uuid\": \"b\", \"data\": {\"dirPath\": " +
                              TStrUtils::StringToJsonString(Tree()) +
                              ", \"fileMask\": " + TStrUtils::StringToJsonString(mask) +
                              ", \"allDirs\": true}}";
  std::size_t replyBytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    module.BrowserWebMessageReceived(
        {message, "vlx:///index.html", [&](std::string_view reply) { replyBytes = reply.size(); }});
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (replyBytes == 0) state.SkipWithError("no reply");
  state.counters["bytes"] = static_cast<double>(replyBytes);
  ReportRatio(state, key, elapsed.count() / static_cast<double>(state.iterations()));
}

// find first, so each listing can be set against it.
void BM_Find_AllFiles(benchmark::State& state) {
  FindBench(state, "all", {"-type", "f"});
}
void BM_ListFiles_AllFiles(benchmark::State& state) {
  ListFilesBench(state, "all", "*.*");
}
void BM_Find_Mask(benchmark::State& state) {
  FindBench(state, "mask", {"-type", "f", "-iname", "*.txt"});
}
void BM_ListFiles_Mask(benchmark::State& state) {
  ListFilesBench(state, "mask", "*.txt");
}

BENCHMARK(BM_Find_AllFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ListFiles_AllFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Find_Mask)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ListFiles_Mask)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::fprintf(stderr, "tree: %s\n", Tree().c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
