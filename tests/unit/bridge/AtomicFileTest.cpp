#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bridge/AtomicFile.h"
#include "platform/linux/PosixFileSystem.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-atomic-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
  }
  void TearDown() override { fs::remove_all(FRoot); }
  fs::path FRoot;
  platform::TPosixFileSystem FFiles;
};

TEST_F(AtomicFile, OldContentsStayUntilCommit) {
  const std::string path = (FRoot / "f.txt").string();
  ReplaceFileContents(FFiles, path, std::string_view("old"));
  {
    TAtomicFile file(FFiles, path);
    file.Write(std::string_view("new contents"));
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_TRUE(fs::exists(file.TempPath()));
    EXPECT_EQ(fs::path(file.TempPath()).parent_path(), FRoot);
    file.Commit();
  }
  EXPECT_EQ(ReadFile(path), "new contents");
  {
    TAtomicFile abandoned(FFiles, path);
    abandoned.Write(std::string_view("never"));
  }
  EXPECT_EQ(ReadFile(path), "new contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(FRoot), fs::directory_iterator()), 1);
}

// A writer killed before its rename leaves its temporary file; the next write of the same
// target removes it, while a writer still at work (it holds a lock on its file) keeps its own.
TEST_F(AtomicFile, NextWriteRemovesStaleTemporaries) {
  const std::string path = (FRoot / "f.txt").string();
  const fs::path stale = FRoot / ".f.txt.vlx-Stale123";
  const fs::path otherTarget = FRoot / ".g.txt.vlx-Stale123";
  std::ofstream(stale) << "left by a killed writer";
  std::ofstream(otherTarget) << "another file's";
  TAtomicFile live(FFiles, path);
  live.Write(std::string_view("still writing"));
  ReplaceFileContents(FFiles, path, std::string_view("new"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live.TempPath()));
  EXPECT_TRUE(fs::exists(otherTarget));
  live.Commit();
  EXPECT_EQ(ReadFile(path), "still writing");
}

TEST_F(AtomicFile, NewFileGetsOrdinaryPermissions) {
  const mode_t mask = ::umask(022);
  const std::string path = (FRoot / "new.txt").string();
  ReplaceFileContents(FFiles, path, std::string_view("x"));
  ::umask(mask);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

TEST_F(AtomicFile, CreateErrorsNameTheFile) {
  const struct {
    std::string path, reason;
  } cases[] = {
      {(FRoot / "no" / "f.txt").string(), "No such file or directory"},
      {FRoot.string(), "Is a directory"},
      {FRoot.string() + "/", "Is a directory"},
      {(FRoot / "x" / "").string(), "Is a directory"},  // as the system says for "x/"
  };
  for (const auto& c : cases) {
    try {
      TAtomicFile file(FFiles, c.path);
      ADD_FAILURE() << c.path;
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + c.path + "\". " + c.reason);
    }
  }
}

TEST_F(AtomicFile, LongNamesStillGetATemporaryFile) {
  const std::string path = (FRoot / std::string(255, 'n')).string();
  ReplaceFileContents(FFiles, path, std::string_view("long"));
  EXPECT_EQ(ReadFile(path), "long");
}

// Replacing /dev/null would destroy the device; pipes and devices are written into instead.
TEST_F(AtomicFile, PipesAreWrittenIntoNotReplaced) {
  const std::string pipe = (FRoot / "pipe").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_THROW(ReplaceFileContents(FFiles, pipe, std::string_view("x")), EFileError);  // no reader

  std::string received;
  std::thread reader([&] { received = ReadFile(pipe); });
  bool written = false;
  for (int attempt = 0; attempt < 500 && !written; ++attempt) {
    try {
      ReplaceFileContents(FFiles, pipe, std::string_view("through the pipe"));
      written = true;
    } catch (const EFileError&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the reader is not there yet
    }
  }
  if (!written) std::ofstream{pipe};  // lets the reader go
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(pipe));
}

}  // namespace
}  // namespace velloc::bridge
