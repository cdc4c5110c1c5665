// `velloc registry` as app authors run it: the real binary against a store in a scratch
// XDG_CONFIG_HOME, or another file named with --db.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

namespace velloc::cli {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int ExitCode = -1;
  std::string Output;  // standard output and error
};

class RegistryCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-registry-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
  }
  void TearDown() override { fs::remove_all(FRoot); }

  // Runs velloc registry with the arguments (already quoted for the shell).
  TRun Registry(const std::string& arguments) {
    const std::string command = "XDG_CONFIG_HOME='" + FRoot.string() + "' " + VELLOC_CLI_PATH +
                                " registry " + arguments + " 2>&1";
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      run.Output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  fs::path FRoot;
};

TEST_F(RegistryCli, CommandsInOrder) {
  const struct {
    std::string arguments;
    int exitCode;
    std::string output;  // the whole output, or with a leading '~' a part of it
  } steps[] = {
      // Reading before anything was stored creates no store.
      {"list", 0, "(top level)\n"},
      {R"(get 'Software\App' Colour)", 2, "~no key \"Software\\App\""},
      {R"(set 'Software\App' Colour blue)", 0, ""},
      {R"(set '\SOFTWARE\app\Sub\Deeper' 'Long name' 'a b')", 0, ""},
      {R"(set 'Software\App' Empty '')", 0, ""},
      {R"(get 'software\APP' colour)", 0, "blue\n"},
      {R"(get '\Software\App' Empty)", 0, "\n"},
      {R"(list 'software\app')", 0,
       "Software\\App\n  Sub\\\n  Colour  REG_SZ  blue\n  Empty  REG_SZ  \n"},
      {"list", 0, "(top level)\n  Software\\\n"},
      {R"(get 'Software\App' Nothing)", 2, "velloc: no value \"Nothing\" in \"Software\\App\"\n"},
      {R"(delete 'Software\App' colour)", 0, ""},
      {R"(delete 'Software\App' colour)", 2, "~no value"},
      {R"(delete 'software\app')", 0, ""},
      {R"(list 'Software\App\Sub')", 2, "~no key"},
      {R"(delete 'Software\App')", 2, "~no key"},
      // Mistakes: exit code 2 and a line that says what is wrong.
      {"", 2, "~registry needs a command"},
      {"frob", 2, "~unknown registry command frob"},
      {"get Key", 2, "~wrong number of arguments"},
      {"set Key Name", 2, "~wrong number of arguments"},
      {"list a b", 2, "~wrong number of arguments"},
      {"get Key ''", 2, "~a value name must not be empty"},
      {"set '' Name value", 2, "~a key path must not be empty"},
      {R"(set 'A\\B' Name value)", 2, "~the key path names no key"},
      {"list --verbose", 2, "~unknown option --verbose"},
      {"list --db", 2, "~--db needs a value"},
      {"--help", 0, "~velloc registry set KEY NAME VALUE"},
  };
  for (const auto& s : steps) {
    const TRun run = Registry(s.arguments);
    EXPECT_EQ(run.ExitCode, s.exitCode) << s.arguments << "\n" << run.Output;
    if (s.output.starts_with("~"))
      EXPECT_NE(run.Output.find(s.output.substr(1)), std::string::npos) << s.arguments << "\n"
                                                                        << run.Output;
    else
      EXPECT_EQ(run.Output, s.output) << s.arguments;
  }
  EXPECT_EQ(fs::status(FRoot / "velloc" / "registry.db").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RegistryCli, AnotherFile) {
  const fs::path other = FRoot / "other.db";
  const std::string db = " --db '" + other.string() + "'";
  EXPECT_EQ(Registry("list" + db).ExitCode, 2);  // a mistyped file is not made
  EXPECT_FALSE(fs::exists(other));
  EXPECT_EQ(Registry("set K N v" + db).ExitCode, 0);
  EXPECT_EQ(Registry("get K N" + db).Output, "v\n");
  EXPECT_EQ(Registry("get K N").ExitCode, 2);  // the user's own store is another
  EXPECT_FALSE(fs::exists(FRoot / "velloc"));

  std::ofstream(other, std::ios::trunc) << std::string(4096, 'x');
  for (const char* command : {"list", "get K N", "set K N w", "delete K"}) {
    const TRun run = Registry(command + db);
    EXPECT_EQ(run.ExitCode, 2) << command;
    EXPECT_NE(run.Output.find("is damaged or no registry store"), std::string::npos) << run.Output;
  }
  std::ifstream in(other);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            std::string(4096, 'x'));
}

}  // namespace
}  // namespace velloc::cli
