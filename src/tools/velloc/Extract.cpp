// velloc extract: a packaged application's files written out below a folder. Names that could
// land outside that folder are refused, and no file is written through a link.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include <sys/stat.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "package/ExeUtils.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

bool WriteWhole(const fs::path& path, const std::vector<std::uint8_t>& bytes, bool executable) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        executable ? 0755 : 0644);
  if (fd < 0) return false;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
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

  int refused = 0, failed = 0, written = 0;
  std::vector<std::uint8_t> bytes;
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
    if (entry.IsDirectory()) continue;
    bytes.clear();
    const archive::ExtractResult result = zip.Extract(i, bytes);
    if (result != archive::ExtractResult::Ok) {
      std::fprintf(stderr, "velloc: cannot extract \"%s\": %s\n", name.c_str(),
                   std::string(archive::ToString(result)).c_str());
      ++failed;
      continue;
    }
    const bool executableFile = ((entry.ExternalAttributes >> 16) & 0111) != 0;
    if (!WriteWhole(*target, bytes, executableFile)) {
      std::fprintf(stderr, "velloc: cannot write \"%s\": %s\n", target->c_str(),
                   std::strerror(errno));
      ++failed;
      continue;
    }
    ++written;
  }
  std::printf("Extracted %d files into \"%s\"\n", written, root.c_str());
  if (refused || failed) {
    throw TCliError(std::to_string(refused) + " entries refused, " + std::to_string(failed) +
                    " could not be extracted");
  }
}

}  // namespace velloc::cli
