// velloc extract: a packaged application's files written out below a folder. Names that could
// land outside that folder are refused, and no file is written through a link.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>

#include <sys/stat.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "package/ExeUtils.h"
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

}  // namespace

void RunExtract(const fs::path& executable, const fs::path& folder) {
  std::vector<std::uint8_t> package;
  try {
    package::TExeUtils(executable).GetZipFromExe(package);
  } catch (const package::ExeUtilsError& error) {
    throw TCliError("\"" + executable.string() + "\": " + error.what());
  }
  archive::TZipArchive zip;
  zip.Password(archive::PackagePassword());
  try {
    zip.Stream(package);
  } catch (const archive::ZipError& error) {
    throw TCliError(std::string("the attached data is not a readable package: ") + error.what());
  }

  std::error_code ec;
  fs::create_directories(folder, ec);
  const fs::path root = fs::canonical(folder, ec);
  if (ec) throw TCliError("cannot create \"" + folder.string() + "\": " + ec.message());

  // Names are checked and folders made first, in order; the files are then extracted on every
  // core, each thread with its own reader over the same package bytes.
  struct TJob {
    int Index;
    fs::path Target;
    bool Executable;
  };
  std::vector<TJob> jobs;
  int refused = 0;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    const archive::TZipEntry entry = zip.Entry(i);
    const std::string name(entry.Name);
    const std::optional<fs::path> target = SafeEntryPath(root, name);
    if (!target) {
      std::fprintf(stderr, "velloc: refusing \"%s\": it would be written outside the folder\n",
                   name.c_str());
      ++refused;
      continue;
    }
    fs::create_directories(entry.IsDirectory() ? *target : target->parent_path(), ec);
    if (ec || !StaysInside(root, entry.IsDirectory() ? *target / "." : *target)) {
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
  const auto work = [&] {
    archive::TZipArchive reader;
    reader.Password(archive::PackagePassword());
    reader.Stream(package);
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t capacity = 0;
    for (std::size_t j = next++; j < jobs.size(); j = next++) {
      const TJob& job = jobs[j];
      const std::size_t size = reader.Entry(job.Index).UncompressedSize;
      if (size > capacity) {
        buffer.reset(new std::uint8_t[size]);  // no zero-fill: extraction overwrites it whole
        capacity = size;
      }
      const archive::ExtractResult result = reader.ExtractTo(job.Index, {buffer.get(), size});
      const char* problem = nullptr;
      std::string reason;
      if (result != archive::ExtractResult::Ok) {
        problem = "cannot extract";
        reason = std::string(archive::ToString(result));
      } else if (!WriteWhole(job.Target, buffer.get(), size, job.Executable)) {
        problem = "cannot write";
        reason = std::strerror(errno);
      }
      if (problem) {
        const std::lock_guard lock(errors);
        std::fprintf(stderr, "velloc: %s \"%s\": %s\n", problem, job.Target.c_str(),
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
