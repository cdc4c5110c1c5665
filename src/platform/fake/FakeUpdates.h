// Fakes of the update interfaces: a web server of canned answers whose transfers advance only
// when the test runs them, and files in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Updates.h"

namespace velloc::platform::fake {

// One canned answer: the head, the body in pieces, and how the transfer ends.
struct TFakeAnswer {
  int Status = 200;
  std::string Location;
  std::optional<std::uint64_t> Length;  // no value: the body's size
  bool NoLength = false;                // send no Content-Length at all
  std::string Body;
  std::size_t Piece = 4096;
  std::string Error;  // the end's error after the whole body
};

class TFakeHttpClient final : public IHttpClient {
 public:
  // Answers by address; a list answers its requests in turn (the last one from then on).
  std::map<std::string, std::vector<TFakeAnswer>> Answers;
  std::vector<std::string> Requested;

  std::unique_ptr<IHttpTransfer> Get(const std::string& url, THttpCallbacks callbacks) override {
    Requested.push_back(url);
    auto state = std::make_shared<TState>();
    state->Callbacks = std::move(callbacks);
    auto found = Answers.find(url);
    if (found == Answers.end() || found->second.empty()) {
      state->Answer.Status = 0;
      state->Answer.Error = "no server at " + url;
    } else {
      std::size_t& served = FServed[url];
      state->Answer = found->second[std::min(served, found->second.size() - 1)];
      ++served;
    }
    FPending.push_back(state);
    return std::make_unique<TTransfer>(state);
  }

  // Delivers everything the pending transfers have, in order, including transfers started by
  // the callbacks. Returns how many transfers ran.
  int Run() {
    int count = 0;
    while (!FPending.empty()) {
      const std::shared_ptr<TState> state = FPending.front();
      FPending.pop_front();
      ++count;
      Deliver(state);
    }
    return count;
  }

 private:
  struct TState {
    THttpCallbacks Callbacks;
    TFakeAnswer Answer;
    bool Cancelled = false;
  };
  struct TTransfer final : IHttpTransfer {
    explicit TTransfer(std::shared_ptr<TState> state) : State(std::move(state)) {}
    ~TTransfer() override { State->Cancelled = true; }
    std::shared_ptr<TState> State;
  };

  // The callbacks are copied before each call: the transfer may be destroyed inside one.
  static void Deliver(const std::shared_ptr<TState>& state) {
    if (state->Cancelled) return;
    const TFakeAnswer& answer = state->Answer;
    if (answer.Status == 0) {
      const auto end = state->Callbacks.End;
      end(answer.Error);
      return;
    }
    THttpHead head{answer.Status, answer.Location,
                   answer.NoLength
                       ? std::nullopt
                       : std::optional<std::uint64_t>(answer.Length.value_or(answer.Body.size()))};
    const auto onHead = state->Callbacks.Head;
    if (!onHead(head) || state->Cancelled) return;
    for (std::size_t at = 0; at < answer.Body.size(); at += answer.Piece) {
      const std::string piece = answer.Body.substr(at, answer.Piece);
      const auto onBody = state->Callbacks.Body;
      if (!onBody({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()}) ||
          state->Cancelled)
        return;
    }
    const auto end = state->Callbacks.End;
    end(answer.Error);
  }

  std::deque<std::shared_ptr<TState>> FPending;
  std::map<std::string, std::size_t> FServed;
};

class TFakeUpdateFiles final : public IUpdateFiles {
 public:
  std::map<std::string, std::string> Files;
  std::set<std::string> LockedElsewhere;  // locks another process holds
  std::set<std::string> Held;             // locks this process holds
  std::string Problem;                    // ReplaceProblem's answer
  bool FailInstall = false;
  std::vector<std::string> Log;  // Install and Restore, as "install EXE" / "restore EXE"

  std::string ReplaceProblem(const std::string&) const override { return Problem; }
  std::optional<std::string> ReadSmallFile(const std::string& path,
                                           std::size_t limit) const override {
    const auto found = Files.find(path);
    if (found == Files.end() || found->second.size() > limit) return std::nullopt;
    return found->second;
  }
  void WriteSmallFile(const std::string& path, const std::string& bytes) override {
    Files[path] = bytes;
  }
  bool Remove(const std::string& path) override {
    Files.erase(path);
    return true;
  }
  bool Exists(const std::string& path) const override { return Files.contains(path); }
  std::unique_ptr<IFileLock> TryLock(const std::string& path) override {
    if (LockedElsewhere.contains(path) || Held.contains(path)) return nullptr;
    return std::make_unique<TLock>(*this, path);
  }
  std::unique_ptr<IDownloadFile> CreateDownload(const std::string& path) override {
    Files[path].clear();
    return std::make_unique<TDownload>(*this, path);
  }
  void Install(const std::string& exePath, const std::string& downloadPath,
               const std::string& backupPath) override {
    if (FailInstall) throw EFileError("cannot rename " + downloadPath);
    Log.push_back("install " + exePath);
    Files[backupPath] = Files[exePath];
    Files[exePath] = Files[downloadPath];
    Files.erase(downloadPath);
  }
  void Restore(const std::string& exePath, const std::string& backupPath,
               const std::string&) override {
    Log.push_back("restore " + exePath);
    Files[exePath] = Files[backupPath];
    Files.erase(backupPath);
  }

 private:
  struct TLock final : IFileLock {
    TLock(TFakeUpdateFiles& files, std::string path) : Files(files), Path(std::move(path)) {
      Files.Held.insert(Path);
    }
    ~TLock() override { Files.Held.erase(Path); }
    TFakeUpdateFiles& Files;
    std::string Path;
  };
  struct TDownload final : IDownloadFile {
    TDownload(TFakeUpdateFiles& files, std::string path)
        : Files(files), FilePath(std::move(path)) {}
    ~TDownload() override { Files.Files.erase(FilePath); }
    void Write(std::span<const std::uint8_t> bytes) override {
      Files.Files[FilePath].append(bytes.begin(), bytes.end());
    }
    void Finish() override {}
    std::string Path() const override { return FilePath; }
    TFakeUpdateFiles& Files;
    std::string FilePath;
  };
};

class TFakeProcessRestart final : public IProcessRestart {
 public:
  std::vector<std::string> Restarts;
  void RestartInto(const std::string& exePath, const std::vector<std::string>&) override {
    Restarts.push_back(exePath);
  }
};

}  // namespace velloc::platform::fake
