// The Windows system services against Wine's own: command-line quoting and splitting, the
// instance mutex, the folders, new files and environment variables.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32System.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(Win32System, QuotedArgumentsSplitBackUnchanged) {
  const std::vector<std::string> cases = {
      "plain",
      "",
      "two words",
      "tab\there",
      "say \"hi\"",
      "C:\\Program Files\\App\\",
      "C:\\folder\\",
      "back\\\\slashes\\ inside",
      "ends with quote\"",
      "\\\"",
      "\\\\\\\"\\",
      "file:///C:/a%20b/index.html",
      "Grüße, 世界",
  };
  for (const std::string& argument : cases) {
    const std::string line = TWin32System::CommandLine("C:\\Apps\\app.exe", {argument, "next"});
    const std::vector<std::string> split = TWin32System::SplitCommandLine(line);
    ASSERT_EQ(split.size(), 2u) << line;
    EXPECT_EQ(split[0], argument) << line;
    EXPECT_EQ(split[1], "next") << line;
  }
}

TEST(Win32System, QuotesOnlyWhereNeeded) {
  EXPECT_EQ(TWin32System::QuoteArgument("app.id"), "app.id");
  EXPECT_EQ(TWin32System::QuoteArgument("a\\b"), "a\\b");
  EXPECT_EQ(TWin32System::QuoteArgument(""), "\"\"");
  EXPECT_EQ(TWin32System::QuoteArgument("a b\\"), "\"a b\\\\\"");
  EXPECT_EQ(TWin32System::QuoteArgument("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(TWin32System::CommandLine("C:\\x y\\app.exe", {}), "\"C:\\x y\\app.exe\"");
}

TEST(Win32System, ProcessCommandLineAndExecutable) {
  TWin32System system;
  const std::string path = system.ExecutablePath();
  EXPECT_TRUE(path.ends_with(".exe")) << path;
  EXPECT_TRUE(system.FileExists(path));
  // The test runner passes its own options; none of them is the program name.
  for (const std::string& argument : system.Arguments())
    EXPECT_NE(argument, path);
}

TEST(Win32System, InstanceMutexIsHeldUntilTheProcessEnds) {
  TWin32System system;
  const std::string name = "velloc-lock-test-" + std::to_string(::GetCurrentProcessId());
  EXPECT_EQ(system.CreateInstanceLock(name), TInstanceLockResult::Created);
  EXPECT_EQ(system.CreateInstanceLock(name), TInstanceLockResult::AlreadyExists);
  EXPECT_EQ(system.CreateInstanceLock(name + "-other"), TInstanceLockResult::Created);
  // Mutex names are case-sensitive, as the start-up rule compares the application's id.
  EXPECT_EQ(system.CreateInstanceLock(name + "-OTHER"), TInstanceLockResult::Created);
  // A backslash names a namespace that does not exist: the lock fails, and start-up goes on.
  EXPECT_EQ(system.CreateInstanceLock("No\\Such\\Namespace"), TInstanceLockResult::Failed);
}

TEST(Win32System, FoldersEndWithABackslash) {
  TWin32System system;
  EXPECT_EQ(system.PathSeparator(), '\\');
  for (const std::string& folder :
       {system.LocalAppDataDirPath(), system.TempDir(), system.RoamingAppDataDir(),
        system.UserDocumentsDir(), system.UserDesktopDir()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\') << folder;
    EXPECT_EQ(folder[1], ':') << folder;
  }
  EXPECT_NE(system.LocalAppDataDirPath(), system.RoamingAppDataDir());
  // The long form of the temporary folder: no 8.3 name in it.
  EXPECT_EQ(system.TempDir().find('~'), std::string::npos) << system.TempDir();
  const char separator = system.DecimalSeparator();
  EXPECT_TRUE(separator == '.' || separator == ',') << separator;
}

class Win32SystemFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = fs::temp_directory_path() /
            ("velloc-system-test-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(FRoot);
  }
  void TearDown() override { fs::remove_all(FRoot); }
  fs::path FRoot;
  TWin32System FSystem;
};

TEST_F(Win32SystemFiles, ForceDirectoriesAndNewFiles) {
  const std::string folder = Utf8(FRoot / "a" / "b c" / "d") + "\\";
  EXPECT_TRUE(FSystem.ForceDirectories(folder));
  EXPECT_TRUE(FSystem.ForceDirectories(folder));  // already there
  EXPECT_FALSE(FSystem.FileExists(folder));       // a folder is no file

  const std::string file = folder + "loader.dll";
  const std::vector<std::uint8_t> bytes = {'M', 'Z', 0, 1, 2, 0xFF};
  ASSERT_TRUE(FSystem.CreateNewFile(file, bytes));
  EXPECT_TRUE(FSystem.FileExists(file));
  std::ifstream in(FRoot / "a" / "b c" / "d" / "loader.dll", std::ios::binary);
  const std::vector<char> read{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.end()), bytes);
  in.close();

  // An existing file is never replaced, and nothing is left behind beside it.
  EXPECT_FALSE(FSystem.CreateNewFile(file, {'x'}));
  EXPECT_EQ(fs::file_size(FRoot / "a" / "b c" / "d" / "loader.dll"), bytes.size());
  EXPECT_EQ(
      std::distance(fs::directory_iterator(FRoot / "a" / "b c" / "d"), fs::directory_iterator()),
      1);

  EXPECT_TRUE(FSystem.CreateNewFile(folder + "empty", {}));
  EXPECT_EQ(fs::file_size(FRoot / "a" / "b c" / "d" / "empty"), 0u);
  EXPECT_FALSE(FSystem.CreateNewFile(Utf8(FRoot / "missing" / "x"), {'x'}));
  EXPECT_FALSE(FSystem.FileExists(Utf8(FRoot / "missing" / "x")));
}

TEST_F(Win32SystemFiles, UnicodePaths) {
  // UTF-8 here, UTF-16 at the system: the names arrive as written.
  const std::string folder = Utf8(FRoot) + "\\Grüße 世界\\";
  ASSERT_TRUE(FSystem.ForceDirectories(folder));
  ASSERT_TRUE(FSystem.CreateNewFile(folder + "ö.txt", {'1'}));
  EXPECT_TRUE(FSystem.FileExists(folder + "ö.txt"));
  EXPECT_TRUE(fs::exists(FRoot / L"Gr\u00fc\u00dfe \u4e16\u754c" / L"\u00f6.txt"));
}

TEST(Win32System, EnvironmentReachesTheProcessAndTheCRuntime) {
  TWin32System system;
  system.SetEnvironmentVariable("VELLOC_TEST_VAR", "C:\\data\\Win64\\ ü");
  wchar_t value[64] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"VELLOC_TEST_VAR", value, 64), 0u);
  EXPECT_EQ(std::wstring(value), L"C:\\data\\Win64\\ \u00fc");
  ASSERT_NE(std::getenv("VELLOC_TEST_VAR"), nullptr);

  system.RemoveEnvironmentVariable("VELLOC_TEST_VAR");
  EXPECT_EQ(::GetEnvironmentVariableW(L"VELLOC_TEST_VAR", value, 64), 0u);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_EQ(std::getenv("VELLOC_TEST_VAR"), nullptr);
}

TEST(Win32System, StartProcessPassesArgumentsAsGiven) {
  // How the child splits the line is what QuotedArgumentsSplitBackUnchanged checks.
  TWin32System system;
  char folder[MAX_PATH] = {};
  ::GetSystemDirectoryA(folder, MAX_PATH);
  const std::string cmd = std::string(folder) + "\\cmd.exe";
  EXPECT_TRUE(system.StartProcess(cmd, {"/C", "exit"}));
  EXPECT_FALSE(system.StartProcess("C:\\no\\such\\program.exe", {}));
}

}  // namespace
}  // namespace velloc::platform
