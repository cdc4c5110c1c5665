// The web view module on disk: read back within a size limit, replaced whole, and the temporary
// files of killed writers cleared.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/LinuxModuleFile.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

TEST(LinuxModuleFile, ReplaceReadAndStaleTemporaries) {
  char pattern[] = "/tmp/velloc-module-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  const std::string path = (root / "m.so").string();
  TLinuxModuleFile file;
  EXPECT_FALSE(file.Read(path, 100));

  std::ofstream(path) << "";  // the 0-byte file a damaged start used to leave
  std::ofstream(root / ".m.so.part-Ab12Cd") << "half";  // a writer killed before its rename
  const std::string bytes = "module bytes";
  ASSERT_TRUE(
      file.Replace(path, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
  const auto read = file.Read(path, 100);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::string(read->begin(), read->end()), bytes);
  EXPECT_FALSE(file.Read(path, bytes.size() - 1));  // longer than expected: not read at all
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);
  fs::remove_all(root);
}

}  // namespace
}  // namespace velloc::platform
