// velloc extract: a packaged application's files written out below a folder. Names that could
// land outside that folder are refused, and no file is written through a link.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_set>

#include <sys/stat.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "core/Text.h"
#include "package/ExeUtils.h"
#include "platform/MappedFile.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

bool WriteWhole(const fs::path& path, const std::uint8_t* data, std::size_t size, bool executable) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        executable ? 0755 : 0644);
  if (fd < 0) return false;
  const std::uint8_t* p = data;
  std::size_t left = size;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0;
}

// True when `path` (whose parents exist) resolves inside `root`: a link planted in the target
// folder must not lead the extraction elsewhere.
bool StaysInside(const fs::path& root, const fs::path& path) {
  std::error_code ec;
  const fs::path parent = fs::canonical(path.parent_path(), ec);
  if (ec) return false;
  const auto [r, p] = std::mismatch(root.begin(), root.end(), parent.begin(), parent.end());
  return r == root.end();
}

// Buffers up to this size stay with their worker between files; larger ones are taken from a
// shared budget and given back after the file, so the workers together hold at most the budget
// (or one file larger than it).
constexpr std::size_t kKeptBufferSize = 4u << 20;
constexpr std::size_t kLargeBufferBudget = 256u << 20;

class TMemoryBudget {
 public:
  explicit TMemoryBudget(std::size_t limit) : FLimit(limit) {}
  void Acquire(std::size_t size) {
    std::unique_lock lock(FMutex);
    FFreed.wait(lock, [&] { return FUsed == 0 || FUsed + size <= FLimit; });
    FUsed += size;
  }
  void Release(std::size_t size) {
    {
      const std::lock_guard lock(FMutex);
      FUsed -= size;
    }
    FFreed.notify_all();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FFreed;
  std::size_t FUsed = 0;
  const std::size_t FLimit;
};

// Entry names come from the package: shown with control characters escaped.
std::string Shown(std::string_view name) {
  return text::EscapeControl(name);
}

}  // namespace

void OpenPackage(const fs::path& executable, archive::TZipArchive& zip) {
  std::shared_ptr<const platform::TMappedFile> package;
  try {
    package = package::TExeUtils(executable).MapZipFromExe();
  } catch (const package::ExeUtilsError& error) {
    throw TCliError("\"" + executable.string() + "\": " + error.what());
  }
  zip.Password(archive::PackagePassword());
  try {
    zip.Stream(package->Bytes(), package);
  } catch (const archive::ZipError& error) {
    throw TCliError(std::string("the attached data is not a readable package: ") + error.what());
  }
}

void RunExtract(const fs::path& executable, const fs::path& folder) {
  archive::TZipArchive zip;
  OpenPackage(executable, zip);

  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder, ec)) && !fs::is_directory(folder, ec)) {
    throw TCliError("\"" + folder.string() + "\" exists and is not a folder");
  }
  fs::create_directories(folder, ec);
  const fs::path root = fs::canonical(folder, ec);
  if (ec) throw TCliError("cannot create \"" + folder.string() + "\": " + ec.message());

  // Names are checked and folders made first, in order; the files are then extracted on every
  // core (extraction changes nothing in the archive).
  struct TJob {
    int Index;
    fs::path Target;
    bool Executable;
  };
  std::vector<TJob> jobs;
  std::unordered_set<std::string> targets;
  int refused = 0;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    const archive::TZipEntry entry = zip.Entry(i);
    const std::string name = Shown(entry.Name);
    const std::optional<fs::path> target = SafeEntryPath(root, entry.Name);
    if (!target) {
      std::fprintf(stderr, "velloc: refusing \"%s\": it would be written outside the folder\n",
                   name.c_str());
      ++refused;
      continue;
    }
    // The runtime serves the first entry of a name (letter case ignored): that copy is the one
    // written, whatever order the workers finish in.
    if (!entry.IsDirectory() &&
        (zip.FindFile(entry.Name) != i || !targets.insert(target->string()).second)) {
      std::fprintf(stderr,
                   "velloc: warning: skipping \"%s\": an earlier entry has the same name, and it "
                   "is the one the runtime serves\n",
                   name.c_str());
      continue;
    }
    const fs::path folderOfEntry = entry.IsDirectory() ? *target : target->parent_path();
    fs::create_directories(folderOfEntry, ec);
    if (ec) {
      std::fprintf(stderr, "velloc: cannot create the folder \"%s\" for \"%s\": %s\n",
                   folderOfEntry.c_str(), name.c_str(), ec.message().c_str());
      ++refused;
      continue;
    }
    if (!StaysInside(root, entry.IsDirectory() ? *target / "." : *target)) {
      std::fprintf(stderr, "velloc: refusing \"%s\": its folder leads outside the target folder\n",
                   name.c_str());
      ++refused;
      continue;
    }
    if (!entry.IsDirectory())
      jobs.push_back({i, *target, ((entry.ExternalAttributes >> 16) & 0111) != 0});
  }

  std::atomic<std::size_t> next{0};
  std::atomic<int> failed{0}, written{0};
  std::mutex errors;
  TMemoryBudget budget(kLargeBufferBudget);
  const auto work = [&] {
    const archive::TZipArchive& reader = zip;
    std::unique_ptr<std::uint8_t[]> kept;
    std::size_t keptSize = 0;
    for (std::size_t j = next++; j < jobs.size(); j = next++) {
      const TJob& job = jobs[j];
      const archive::TZipEntry entry = reader.Entry(job.Index);
      const std::size_t size = entry.UncompressedSize;
      const char* problem = nullptr;
      std::string reason;
      // The declared size is untrusted until the entry's data is known to be able to produce it.
      archive::ExtractResult result = reader.Check(job.Index);
      if (result == archive::ExtractResult::Ok) {
        std::unique_ptr<std::uint8_t[]> large;
        std::uint8_t* buffer = nullptr;
        if (size > kKeptBufferSize) {
          budget.Acquire(size);
          large.reset(new (std::nothrow) std::uint8_t[size]);
          buffer = large.get();
        } else {
          if (!kept || size > keptSize) {
            kept.reset(new std::uint8_t[size]);  // no zero-fill: extraction overwrites it whole
            keptSize = size;
          }
          buffer = kept.get();
        }
        if (buffer == nullptr) {
          result = archive::ExtractResult::TooLarge;
        } else {
          result = reader.ExtractTo(job.Index, {buffer, size});
          if (result == archive::ExtractResult::Ok &&
              !WriteWhole(job.Target, buffer, size, job.Executable)) {
            problem = "cannot write";
            reason = std::strerror(errno);
          }
        }
        if (size > kKeptBufferSize) {
          large.reset();
          budget.Release(size);
        }
      }
      if (result != archive::ExtractResult::Ok) {
        problem = "cannot extract";
        reason = std::string(archive::ToString(result));
        if (result == archive::ExtractResult::TooLarge) {
          reason += " (declares " + std::to_string(entry.UncompressedSize) + " bytes from " +
                    std::to_string(entry.CompressedSize) + " packed)";
        }
      }
      if (problem) {
        const std::lock_guard lock(errors);
        std::fprintf(stderr, "velloc: %s \"%s\": %s\n", problem, Shown(job.Target.string()).c_str(),
                     reason.c_str());
        ++failed;
      } else {
        ++written;
      }
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::vector<std::jthread> pool;
  for (unsigned t = 1; t < threads && t < jobs.size(); ++t)
    pool.emplace_back(work);
  work();
  pool.clear();

  std::printf("Extracted %d files into \"%s\"\n", written.load(), root.c_str());
  if (refused || failed.load()) {
    throw TCliError(std::to_string(refused) + " entries refused, " + std::to_string(failed.load()) +
                    " could not be extracted");
  }
}

}  // namespace velloc::cli
