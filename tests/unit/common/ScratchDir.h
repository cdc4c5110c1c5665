// A scratch folder under the system's temporary folder, removed with its content at the end of
// the test. Portable: the same tests run on Linux and, under Wine, on Windows.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace velloc::testing {

// Creates a new, empty folder named `prefix` plus a random number; the caller removes it.
inline std::filesystem::path MakeScratchFolder(std::string_view prefix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / (std::string(prefix) + "-" + std::to_string(random() % 1000000000u));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec) && !ec) return candidate;
  }
  std::abort();
}

class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "velloc-test") : FPath(MakeScratchFolder(prefix)) {}
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(std::string_view name) const { return FPath / name; }

 private:
  std::filesystem::path FPath;
};

}  // namespace velloc::testing
