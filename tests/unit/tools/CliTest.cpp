// The packer as users run it: the real `velloc` binary on folders made by the tests, with a copy
// of /bin/true standing in for the runtime. Packages are cross-checked with Info-ZIP's unzip.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "archive/PackagePassword.h"
#include "archive/ZipWriter.h"
#include "core/Version.h"
#include "package/DevelopmentPackage.h"
#include "package/ExeUtils.h"
#include "tools/velloc/Cli.h"
#include "update/UpdateManifest.h"

namespace velloc::cli {

// The program supplies its folder (main.cpp); the tests always name the runtime.
std::filesystem::path ProgramFolder() {
  return std::filesystem::current_path();
}

namespace {

namespace fs = std::filesystem;

struct TRun {
  int ExitCode = -1;
  std::string Output;  // standard output and error
};

TRun RunCommand(const std::string& command) {
  TRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  std::array<char, 4096> buffer{};
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.Output.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Q(const fs::path& p) {
  return "'" + p.string() + "'";
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = fs::temp_directory_path() /
            ("velloc-cli-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FRoot);
    fs::create_directories(FRoot / "out");
    fs::copy_file("/bin/true", FRoot / "runtime");
    WriteFile(FRoot / "module.so", "module bytes");
    WriteFile(FRoot / "app/vlx.ini",
              "[App]\nID=CliTest\nName=Cli Test\nDirName=web\nPassword=secret-value\n");
    WriteFile(FRoot / "app/web/index.html", "<!doctype html>\n" + std::string(40, ' ') +
                                                "<h1>hello</h1>\n" + std::string(40, ' '));
    WriteFile(FRoot / "app/web/css/site.css", "body{}");
    WriteFile(FRoot / "app/web/img/logo.png",
              std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, 'x'));
  }
  void TearDown() override { fs::remove_all(FRoot); }

  TRun Pack(const std::string& extra = "") {
    return RunCommand(std::string(VELLOC_CLI_PATH) + " pack " + Q(FRoot / "app") +
                      " --quiet --runtime " + Q(FRoot / "runtime") + " --module " +
                      Q(FRoot / "module.so") + " " + extra);
  }

  fs::path FRoot;
};

TEST_F(CliTest, PackedAppPassesUnzipAndExtractsToTheSameFiles) {
  const fs::path exe = FRoot / "out/cli-test";
  const TRun pack = Pack("-o " + Q(exe));
  ASSERT_EQ(pack.ExitCode, 0) << pack.Output;
  EXPECT_TRUE((fs::status(exe).permissions() & fs::perms::owner_exec) != fs::perms::none);

  // Info-ZIP reads the package both as attached (it warns about the bytes in front) and alone.
  const TRun attached = RunCommand("unzip -t -P " + Q(archive::PackagePassword()) + " " + Q(exe));
  EXPECT_NE(attached.Output.find("No errors detected"), std::string::npos) << attached.Output;
  package::TExeUtils(exe).ExtractZipFromExe(FRoot / "package.zip");
  const TRun alone =
      RunCommand("unzip -t -P " + Q(archive::PackagePassword()) + " " + Q(FRoot / "package.zip"));
  EXPECT_EQ(alone.ExitCode, 0) << alone.Output;

  const TRun info = RunCommand(std::string(VELLOC_CLI_PATH) + " info " + Q(exe));
  ASSERT_EQ(info.ExitCode, 0) << info.Output;
  EXPECT_NE(info.Output.find("Name = Cli Test"), std::string::npos) << info.Output;
  EXPECT_EQ(info.Output.find("secret-value"), std::string::npos)
      << "the password's value must not show";
  EXPECT_NE(info.Output.find("stored  web/img/logo.png"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("deflate web/index.html"), std::string::npos) << info.Output;

  const TRun extract =
      RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(exe) + " " + Q(FRoot / "x"));
  ASSERT_EQ(extract.ExitCode, 0) << extract.Output;
  for (const char* file : {"vlx.ini", "web/index.html", "web/css/site.css", "web/img/logo.png"}) {
    EXPECT_EQ(ReadFile(FRoot / "x" / file), ReadFile(FRoot / "app" / file)) << file;
  }
  EXPECT_EQ(ReadFile(FRoot / "x/VellocWebKitLinux64.so"), "module bytes");
}

TEST_F(CliTest, PackFailuresExitTwoAndLeaveNoOutput) {
  struct Case {
    const char* Name;
    std::function<void(const fs::path& root)> Break;
    const char* Options;
    const char* Message;
  };
  std::vector<Case> cases = {
      {"no vlx.ini", [](const fs::path& r) { fs::remove(r / "app/vlx.ini"); }, "", "vlx.ini"},
      {"vlx.ini unreadable",
       [](const fs::path& r) {
         fs::remove(r / "app/vlx.ini");
         fs::create_directory(r / "app/vlx.ini");
       },
       "", "cannot read"},
      {"Name missing",
       [](const fs::path& r) { WriteFile(r / "app/vlx.ini", "[App]\nID=x\nDirName=web\n"); }, "",
       "Name"},
      {"DirName folder missing", [](const fs::path& r) { fs::remove_all(r / "app/web"); }, "",
       "does not exist"},
      {"runtime already packed",
       [](const fs::path& r) {
         std::ofstream(r / "runtime", std::ios::app | std::ios::binary) << "PK";
       },
       "", "already carries a package"},
      {"runtime not an executable",
       [](const fs::path& r) { WriteFile(r / "runtime", "#!/bin/sh\n"); }, "", "not a runtime"},
      {"output folder missing", [](const fs::path&) {}, "-o /nonexistent-velloc/app",
       "no such folder"},
      {"output is a folder", [](const fs::path&) {}, "-o OUTDIR", "is a folder"},
      {"vlx.ini over 1 MiB",
       [](const fs::path& r) {
         WriteFile(r / "app/vlx.ini",
                   "[App]\nID=x\nName=x\nDirName=web\n" + std::string(1024 * 1024, ';'));
       },
       "", "at most 1 MiB"},
      {"a URL scheme of the web",
       [](const fs::path& r) {
         WriteFile(r / "app/vlx.ini",
                   "[App]\nID=x\nName=x\nDirName=web\n[Desktop]\nSchemes=https\n");
       },
       "", "section [Desktop]: the URL scheme \"https\" belongs to the web"},
      // What the installers need is checked before the executable is written.
      {"--msi for a Linux executable", [](const fs::path&) {}, "--msi",
       "--msi is for Windows executables"},
      {"--rpm of a module that is no ELF file", [](const fs::path&) {}, "--rpm",
       "module.so\": not an ELF image"},
      {"--rpm into a folder rpmbuild cannot carry",
       [](const fs::path& r) { fs::create_directories(r / "out/100%"); },
       "-o OUTDIR/100%/app --rpm", "rpmbuild cannot build in"},
  };
  // The ID names the runtime's data folder and lock: one plain folder name only.
  for (const char* id : {"../../../../outside", "a/b", "..", "bell\x07id"}) {
    cases.push_back({id,
                     [id](const fs::path& r) {
                       WriteFile(r / "app/vlx.ini",
                                 std::string("[App]\nID=") + id + "\nName=x\nDirName=web\n");
                     },
                     "", "cannot name a folder"});
  }
  for (const Case& c : cases) {
    SetUp();
    c.Break(FRoot);
    std::string options = c.Options;
    if (options == "-o OUTDIR") options = "-o " + Q(FRoot / "out");
    if (options.starts_with("-o OUTDIR/")) options = "-o " + Q(FRoot / "out") + options.substr(9);
    if (!options.starts_with("-o")) options += " -o " + Q(FRoot / "out/app");
    const TRun run = Pack(options);
    EXPECT_EQ(run.ExitCode, 2) << c.Name << ": " << run.Output;
    EXPECT_NE(run.Output.find(c.Message), std::string::npos) << c.Name << ": " << run.Output;
    for (const fs::directory_entry& left : fs::recursive_directory_iterator(FRoot / "out"))
      EXPECT_TRUE(left.is_directory()) << c.Name << ": " << left.path() << " was left behind";
    TearDown();
  }
}

// Mistakes in vlx.ini that the runtime would pass over in silence: each is named with its file
// and line, and the package is packed all the same, its vlx.ini as written.
TEST_F(CliTest, PackWarnsOfWhatTheRuntimeWouldIgnore) {
  const std::string base = "[App]\nID=CliTest\nName=Cli Test\nDirName=web\n";
  struct Case {
    const char* Name;
    std::string Ini;
    std::vector<std::string> Warnings;  // each expected in the output, in order
  } cases[] = {
      {"a sound file", base + "Width=1024\nallowdebug=1\n", {}},
      {"a misspelt key",
       base + "Widht=900\n",
       {"vlx.ini:5: unknown key Widht in [App] is ignored; did you mean Width?"}},
      {"a word for a number",
       base + "Width=wide\n",
       {"vlx.ini:5: \"Width=wide\": the value is not a whole number; Width reads as 800 (its "
        "default)"}},
      {"a line without =",
       base + "Fullscreen\n",
       {"vlx.ini:5: \"Fullscreen\" has no \"=\" and sets nothing"}},
      {"a word for a boolean",
       base + "AllowDebug=yes\n",
       {"vlx.ini:5: \"AllowDebug=yes\": the value is not 1 (on) or 0 (off); AllowDebug reads as "
        "false (its default)"}},
      {"a missing start page",
       base + "IndexHtml=start.html?x=1\n",
       {"the start page \"start.html\" (IndexHtml) is not in the web folder"}},
      {"all at once",
       base + "Widht=900\nWidth=wide\nFullscreen\nAllowDebug=yes\n",
       {"vlx.ini:5: unknown key Widht", "vlx.ini:6: \"Width=wide\"", "vlx.ini:7: \"Fullscreen\"",
        "vlx.ini:8: \"AllowDebug=yes\""}},
  };
  for (const Case& c : cases) {
    WriteFile(FRoot / "app/vlx.ini", c.Ini);
    const TRun run = Pack("-o " + Q(FRoot / "out/app"));
    EXPECT_EQ(run.ExitCode, 0) << c.Name << ": " << run.Output;
    std::size_t at = 0;
    for (const std::string& warning : c.Warnings) {
      at = run.Output.find(warning, at);
      EXPECT_NE(at, std::string::npos) << c.Name << ": " << warning << "\n" << run.Output;
    }
    if (c.Warnings.empty()) {
      EXPECT_EQ(run.Output, "") << c.Name;
    }
    // The runtime reads the file as it always has: it is packed as written.
    ASSERT_EQ(RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(FRoot / "out/app") + " " +
                         Q(FRoot / c.Name))
                  .ExitCode,
              0);
    EXPECT_EQ(ReadFile(FRoot / c.Name / "vlx.ini"), c.Ini) << c.Name;
  }
  // A misspelt section takes ID, Name and DirName with it: the error says so, after the warning.
  WriteFile(FRoot / "app/vlx.ini", "[Ap]\nID=x\nName=x\nDirName=web\n");
  const TRun run = Pack("-o " + Q(FRoot / "out/ap"));
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("vlx.ini:1: unknown section [Ap]: its keys are ignored; did you mean "
                            "[App]?\nvelloc: "),
            std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find("has no section [App]"), std::string::npos) << run.Output;
}

// The output never replaces what the pack reads, never lands where the next pack would take it
// in, and replaces another file only when it is an executable velloc packed, or with --force.
TEST_F(CliTest, PackRefusesOutputsThatWouldDestroyOrGrow) {
  ASSERT_EQ(Pack("-o " + Q(FRoot / "out/packed")).ExitCode, 0);
  WriteFile(FRoot / "out/notes.txt", "the author's notes");
  WriteFile(FRoot / "out/empty", "");
  struct Case {
    std::string Output;
    const char* Options;
    int ExitCode;
    const char* Message;  // expected in the output when the pack is refused
  } cases[] = {
      {"app/vlx.ini", "", 2, "would overwrite the configuration"},
      {"app/vlx.ini", "--force", 2, "would overwrite the configuration"},
      {"module.so", "", 2, "would overwrite the web view module"},
      {"app/web/app.bin", "", 2, "is inside the web folder"},
      {"app/web/img/../app.bin", "--force", 2, "is inside the web folder"},
      {"out/notes.txt", "", 2, "exists and is not an executable packed by velloc; pass --force"},
      {"out/notes.txt", "--force", 0, ""},
      {"out/packed", "", 0, ""},  // an earlier pack is replaced, as `velloc run` does
      {"out/empty", "", 0, ""},
      {"app/beside-the-web-folder", "", 0, ""},
  };
  for (const Case& c : cases) {
    const fs::path output = FRoot / c.Output;
    const bool existed = fs::exists(output);
    const std::string before = existed ? ReadFile(output) : "";
    const TRun run = Pack("-o " + Q(output) + " " + c.Options);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Output << " " << c.Options << ": " << run.Output;
    if (c.ExitCode == 0) {
      EXPECT_GT(package::TExeUtils::AttachedLength(output), 0u) << c.Output;
      continue;
    }
    EXPECT_NE(run.Output.find(c.Message), std::string::npos) << c.Output << ": " << run.Output;
    EXPECT_EQ(fs::exists(output), existed) << c.Output;
    if (existed) {
      EXPECT_EQ(ReadFile(output), before) << c.Output << " was changed";
    }
  }
}

// `velloc info` lists every key with the value the runtime reads, the defaults marked, and then
// what the file holds that Velloc never reads.
TEST_F(CliTest, InfoShowsEveryKeyAsTheRuntimeReadsIt) {
  WriteFile(FRoot / "app/vlx.ini",
            "[App]\nID=CliTest\nname=Cli Test\nDirName=web\nPassword=secret-value\nWidth=1024\n"
            "Height=tall\nAllowDebug=1\n[Desktop]\nSchemes=cli\n[Mine]\nColour=red\n");
  ASSERT_EQ(Pack("-o " + Q(FRoot / "out/app")).ExitCode, 0);
  const TRun info = RunCommand(std::string(VELLOC_CLI_PATH) + " info " + Q(FRoot / "out/app"));
  ASSERT_EQ(info.ExitCode, 0) << info.Output;
  for (const char* line :
       {"  [App]\n    ID = CliTest\n    Name = Cli Test\n    DirName = web\n",
        "    IndexHtml = index.html  (default)\n", "    Password = (set, not shown)\n",
        "    AllowDebug = true\n    AllowZoom = false  (default)\n",
        "    Width = 1024\n    Height = 600  (default)\n",
        "    InstallFormColor = 0xFF00001A  (default)\n", "    WebviewArguments = (default)\n",
        "  [Desktop]\n    Schemes = cli\n", "    Version = 1.0  (default)\n",
        "  Not read by Velloc:\n    [Mine] Colour = red\n"}) {
    EXPECT_NE(info.Output.find(line), std::string::npos) << line << "\n" << info.Output;
  }
  EXPECT_EQ(info.Output.find("secret-value"), std::string::npos);
}

// Only `velloc run` makes a development package, the one kind a runtime reloads and shows the
// console of; `velloc pack` never does, whatever the folder holds.
TEST_F(CliTest, OnlyRunMakesADevelopmentPackage) {
  WriteFile(FRoot / "app/web/vlx-development", "inspect\n");
  const auto entries = [&](const TPackOptions& options) {
    const fs::path exe = RunPack(options);
    const TRun info = RunCommand(std::string(VELLOC_CLI_PATH) + " info " + Q(exe));
    EXPECT_EQ(info.ExitCode, 0) << info.Output;
    return info.Output;
  };
  TPackOptions options;
  options.AppFolder = FRoot / "app";
  options.Output = FRoot / "out/packed";
  options.Runtime = FRoot / "runtime";
  options.Module = FRoot / "module.so";
  options.Quiet = true;
  const std::string packed = entries(options);
  EXPECT_EQ(packed.find(" vlx-development"), std::string::npos) << packed;
  options.Output = FRoot / "out/run";
  options.Development = true;
  options.Inspect = true;
  options.DevelopmentSecret = "0123abcd";
  const std::string run = entries(options);
  EXPECT_NE(run.find(" vlx-development"), std::string::npos) << run;
  // The entry carries the session's secret, without which a runtime ignores it.
  const TRun extracted = RunCommand(std::string(VELLOC_CLI_PATH) + " extract " +
                                    Q(FRoot / "out/run") + " " + Q(FRoot / "extracted"));
  ASSERT_EQ(extracted.ExitCode, 0) << extracted.Output;
  std::ifstream entry(FRoot / "extracted/vlx-development");
  const std::string text((std::istreambuf_iterator<char>(entry)), {});
  EXPECT_EQ(text, "inspect\nsecret 0123abcd\n");
  EXPECT_EQ(package::DevelopmentSecret(text), "0123abcd");
}

// velloc run fails as pack does on a folder it cannot pack, before anything runs.
TEST_F(CliTest, RunRefusesAFolderItCannotPack) {
  fs::remove(FRoot / "app/vlx.ini");
  const TRun run =
      RunCommand(std::string(VELLOC_CLI_PATH) + " run " + Q(FRoot / "app") + " --runtime " +
                 Q(FRoot / "runtime") + " --module " + Q(FRoot / "module.so"));
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("vlx.ini"), std::string::npos) << run.Output;
}

TEST_F(CliTest, ExtractRefusesNamesThatLeaveTheFolder) {
  archive::TZipWriter writer(FRoot / "evil.zip");
  writer.Password(archive::PackagePassword());
  const std::string bytes = "data";
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  for (const char* name :
       {"../escape.txt", "/absolute.txt", "a/../../up.txt", "kept/file.txt", "c:/drive.txt"}) {
    writer.AddFile(name, data, archive::ZipMethod::Stored);
  }
  writer.Finish();
  const fs::path exe = FRoot / "evil";
  fs::copy_file("/bin/true", exe);
  package::TExeUtils(exe).AppendZipToExe(FRoot / "evil.zip", exe);

  fs::create_directories(FRoot / "target/inner");
  const TRun run = RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(exe) + " " +
                              Q(FRoot / "target/inner"));
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_EQ(ReadFile(FRoot / "target/inner/kept/file.txt"), "data");
  EXPECT_FALSE(fs::exists(FRoot / "target/escape.txt"));
  EXPECT_FALSE(fs::exists(FRoot / "target/up.txt"));
  EXPECT_FALSE(fs::exists("/absolute.txt"));
}

// A packaged executable (a copy of /bin/true) carrying the given ZIP bytes.
fs::path MakeExe(const fs::path& root, const std::string& name,
                 const std::vector<std::uint8_t>& zip) {
  const fs::path zipPath = root / (name + ".zip");
  std::ofstream(zipPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  const fs::path exe = root / name;
  fs::copy_file("/bin/true", exe);
  package::TExeUtils(exe).AppendZipToExe(zipPath, exe);
  return exe;
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Entries that claim 0xFFFFFFFE bytes from a few packed bytes must not size a buffer: the
// extraction reports them and exits with code 2 instead of aborting.
TEST_F(CliTest, ExtractRefusesDeclaredSizesTheDataCannotHold) {
  archive::TZipWriter writer;
  writer.Password(archive::PackagePassword());
  const std::string text(2000, 'a');
  for (const char* name : {"one.txt", "two.txt", "three.txt"})
    writer.AddFile(name, AsBytes(text), archive::ZipMethod::Deflate);
  writer.AddFile("empty.txt", AsBytes(""), archive::ZipMethod::Stored);
  writer.AddFile("fine.txt", AsBytes("fine"), archive::ZipMethod::Stored);
  writer.Finish();
  std::vector<std::uint8_t> zip = writer.TakeBytes();
  // Every header of the three deflated entries claims 0xFFFFFFFE uncompressed bytes.
  for (std::size_t i = 0; i + 30 <= zip.size(); ++i) {
    const bool local = zip[i] == 'P' && zip[i + 1] == 'K' && zip[i + 2] == 3 && zip[i + 3] == 4;
    const bool central = zip[i] == 'P' && zip[i + 1] == 'K' && zip[i + 2] == 1 && zip[i + 3] == 2;
    const std::size_t method = i + (local ? 8 : 10);
    if ((local || central) && zip[method] == 8) PutLe32(zip, i + (local ? 22 : 24), 0xFFFFFFFEu);
  }
  const fs::path exe = MakeExe(FRoot, "crafted", zip);
  EXPECT_LT(fs::file_size(exe) - fs::file_size("/bin/true"), 1024u);

  const TRun run =
      RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(exe) + " " + Q(FRoot / "x"));
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("entry too large (declares 4294967294 bytes"), std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find("3 could not be extracted"), std::string::npos) << run.Output;
  EXPECT_EQ(ReadFile(FRoot / "x/fine.txt"), "fine");
  EXPECT_TRUE(fs::is_regular_file(FRoot / "x/empty.txt"));
}

// Names from a package reach the terminal escaped; the runtime's copy of a duplicate name is the
// one extracted; a target that is a file is named as the fault.
TEST_F(CliTest, InfoAndExtractOnHostileNames) {
  archive::TZipWriter writer;
  writer.Password(archive::PackagePassword());
  writer.AddFile("vlx.ini", AsBytes("[App]\nID=x\nName=a\x1b[31mred\nDirName=web\n"),
                 archive::ZipMethod::Deflate);
  writer.AddFile("web/\x1b]0;title\x07.txt", AsBytes("escape"), archive::ZipMethod::Stored);
  writer.AddFile("web/dup.txt", AsBytes("first"), archive::ZipMethod::Stored);
  writer.AddFile("web/dup.txt", AsBytes("second"), archive::ZipMethod::Deflate);
  writer.AddFile("web/DUP.TXT", AsBytes("third"), archive::ZipMethod::Stored);
  writer.Finish();
  const fs::path exe = MakeExe(FRoot, "hostile", writer.TakeBytes());

  const TRun info = RunCommand(std::string(VELLOC_CLI_PATH) + " info " + Q(exe));
  EXPECT_EQ(info.ExitCode, 0) << info.Output;
  EXPECT_EQ(info.Output.find('\x1b'), std::string::npos) << info.Output;
  EXPECT_EQ(info.Output.find('\x07'), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("web/\\x1B]0;title\\x07.txt"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("Name = a\\x1B[31mred"), std::string::npos) << info.Output;

  const TRun extract =
      RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(exe) + " " + Q(FRoot / "x"));
  EXPECT_EQ(extract.ExitCode, 0) << extract.Output;
  EXPECT_EQ(ReadFile(FRoot / "x/web/dup.txt"), "first");
  EXPECT_FALSE(fs::exists(FRoot / "x/web/DUP.TXT"));
  EXPECT_NE(extract.Output.find("skipping \"web/dup.txt\": an earlier entry has the same name"),
            std::string::npos)
      << extract.Output;
  EXPECT_EQ(extract.Output.find('\x1b'), std::string::npos) << extract.Output;

  WriteFile(FRoot / "plain-file", "x");
  const TRun intoFile = RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(exe) + " " +
                                   Q(FRoot / "plain-file"));
  EXPECT_EQ(intoFile.ExitCode, 2) << intoFile.Output;
  EXPECT_NE(intoFile.Output.find("exists and is not a folder"), std::string::npos)
      << intoFile.Output;
  EXPECT_EQ(ReadFile(FRoot / "plain-file"), "x");
}

TEST_F(CliTest, InfoRefusesAConfigurationOverOneMebibyte) {
  archive::TZipWriter writer;
  writer.Password(archive::PackagePassword());
  writer.AddFile("vlx.ini", AsBytes("[App]\nID=x\n" + std::string(1024 * 1024, ';')),
                 archive::ZipMethod::Deflate);
  writer.Finish();
  const TRun info = RunCommand(std::string(VELLOC_CLI_PATH) + " info " +
                               Q(MakeExe(FRoot, "big", writer.TakeBytes())));
  EXPECT_EQ(info.ExitCode, 2) << info.Output;
  EXPECT_NE(info.Output.find("a configuration may hold at most 1 MiB"), std::string::npos)
      << info.Output;
}

TEST(SafeEntryPath, Table) {
  const fs::path root = "/r";
  struct Case {
    const char* Name;
    const char* Expected;  // null: refused
  } cases[] = {
      {"a/b.txt", "/r/a/b.txt"}, {"./a", "/r/a"},        {"dir/", "/r/dir"},  {"..", nullptr},
      {"../x", nullptr},         {"a/../../x", nullptr}, {"/etc/x", nullptr}, {"a\\..\\x", nullptr},
      {"C:/x", nullptr},         {"", nullptr},          {".", nullptr},
  };
  for (const Case& c : cases) {
    const auto path = SafeEntryPath(root, c.Name);
    if (c.Expected) {
      ASSERT_TRUE(path) << c.Name;
      EXPECT_EQ(*path, fs::path(c.Expected)) << c.Name;
    } else {
      EXPECT_FALSE(path) << c.Name;
    }
  }
}

TEST_F(CliTest, PackStoresTheApplicationIcon) {
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a picture";
  const std::string svg = "\xEF\xBB\xBF <?xml version=\"1.0\"?>\n<svg xmlns=\"x\"></svg>\n";
  const std::string builtIn = ReadFile(fs::path(VELLOC_TEST_DATA_DIR).parent_path().parent_path() /
                                       "src/tools/velloc/icon/velloc-icon.png");
  ASSERT_FALSE(builtIn.empty());
  const struct {
    const char* Name;
    std::string Icon;  // the --icon file's content; empty: no --icon
    std::string Stored;
  } cases[] = {{"PNG", png, png}, {"SVG", svg, svg}, {"default", "", builtIn}};
  for (const auto& c : cases) {
    SetUp();
    std::string options = "-o " + Q(FRoot / "out/app");
    if (!c.Icon.empty()) {
      WriteFile(FRoot / "icon", c.Icon);
      options += " --icon " + Q(FRoot / "icon");
    }
    const TRun pack = Pack(options);
    ASSERT_EQ(pack.ExitCode, 0) << c.Name << ": " << pack.Output;
    const TRun extract = RunCommand(std::string(VELLOC_CLI_PATH) + " extract " +
                                    Q(FRoot / "out/app") + " " + Q(FRoot / "x"));
    ASSERT_EQ(extract.ExitCode, 0) << c.Name << ": " << extract.Output;
    EXPECT_EQ(ReadFile(FRoot / "x/vlx-icon"), c.Stored) << c.Name;
    TearDown();
  }

  const struct {
    const char* Name;
    std::string Icon;
    const char* Message;
  } failures[] = {
      {"text", "just text", "neither PNG nor SVG"},
      {"HTML", "<html><body></body></html>", "neither PNG nor SVG"},
      {"empty", "", "neither PNG nor SVG"},
      {"too large", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5u << 20, 'x'),
       "larger than 4 MiB"},
  };
  for (const auto& f : failures) {
    SetUp();
    WriteFile(FRoot / "icon", f.Icon);
    const TRun run = Pack("-o " + Q(FRoot / "out/app") + " --icon " + Q(FRoot / "icon"));
    EXPECT_EQ(run.ExitCode, 2) << f.Name << ": " << run.Output;
    EXPECT_NE(run.Output.find(f.Message), std::string::npos) << f.Name << ": " << run.Output;
    EXPECT_TRUE(fs::is_empty(FRoot / "out")) << f.Name;
    TearDown();
  }
  SetUp();
  const TRun missing = Pack("-o " + Q(FRoot / "out/app") + " --icon " + Q(FRoot / "nowhere.png"));
  EXPECT_EQ(missing.ExitCode, 2) << missing.Output;
  EXPECT_NE(missing.Output.find("cannot read"), std::string::npos) << missing.Output;
}

TEST_F(CliTest, InitWritesAnApplicationThatPacks) {
  const fs::path app = FRoot / "new app";
  const std::string velloc = VELLOC_CLI_PATH;
  const TRun init = RunCommand(velloc + " init " + Q(app) + " --name 'Tom & <Jerry>'");
  ASSERT_EQ(init.ExitCode, 0) << init.Output;
  EXPECT_EQ(ReadFile(app / "vlx.ini"),
            "[App]\nID=new-app\nName=Tom & <Jerry>\nDirName=app\nIndexHtml=index.html\n");
  const std::string index = ReadFile(app / "app/index.html");
  EXPECT_NE(index.find("<title>Tom &amp; &lt;Jerry&gt;</title>"), std::string::npos) << index;
  EXPECT_NE(index.find("href=\"style.css\""), std::string::npos);
  EXPECT_NE(index.find("src=\"main.js\""), std::string::npos);
  EXPECT_NE(ReadFile(app / "app/main.js").find("'new-app-note.txt'"), std::string::npos);
  EXPECT_NE(ReadFile(app / "README.md").find("# Tom & <Jerry>"), std::string::npos);
  EXPECT_FALSE(ReadFile(app / "app/style.css").empty());
  EXPECT_FALSE(ReadFile(app / "jsconfig.json").empty());
  // The typings are the repository's own, not a copy that could drift.
  EXPECT_EQ(ReadFile(app / "vlx.d.ts"),
            ReadFile(fs::path(VELLOC_TEST_DATA_DIR).parent_path().parent_path() /
                     "src/bridge/js/vlx.d.ts"));
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    if (!entry.is_regular_file()) continue;
    const std::string text = ReadFile(entry.path());
    for (const char* placeholder : {"@NAME@", "@ID@"})
      EXPECT_EQ(text.find(placeholder), std::string::npos) << entry.path() << " " << placeholder;
  }

  // A second init changes nothing.
  WriteFile(app / "app/main.js", "mine");
  const TRun again = RunCommand(velloc + " init " + Q(app));
  EXPECT_EQ(again.ExitCode, 2) << again.Output;
  EXPECT_EQ(ReadFile(app / "app/main.js"), "mine");

  // The page goes into the package; the author's files beside vlx.ini do not.
  const TRun pack =
      RunCommand(velloc + " pack " + Q(app) + " --quiet --runtime " + Q(FRoot / "runtime") +
                 " --module " + Q(FRoot / "module.so") + " -o " + Q(FRoot / "out/new"));
  ASSERT_EQ(pack.ExitCode, 0) << pack.Output;
  const TRun info = RunCommand(velloc + " info " + Q(FRoot / "out/new"));
  for (const char* entry : {"app/index.html", "app/style.css", "app/main.js"})
    EXPECT_NE(info.Output.find(entry), std::string::npos) << entry << "\n" << info.Output;
  for (const char* entry : {"vlx.d.ts", "README.md", "jsconfig.json"})
    EXPECT_EQ(info.Output.find(entry), std::string::npos) << entry << "\n" << info.Output;
}

// The Vite templates: a whole project with its placeholders filled, the plain template's style
// sheet, and .gitignore under its own name; an unknown template writes nothing.
TEST_F(CliTest, InitWritesTheViteTemplates) {
  const std::string velloc = VELLOC_CLI_PATH;
  ASSERT_EQ(RunCommand(velloc + " init " + Q(FRoot / "plain")).ExitCode, 0);
  const struct {
    const char* name;
    std::vector<const char*> files;
  } cases[] = {
      {"vite", {"index.html", "src/main.js", "src/greeting.js", "src/style.css"}},
      {"vite-react",
       {"index.html", "src/main.jsx", "src/App.jsx", "src/Greeting.jsx", "src/style.css"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path app = FRoot / (std::string("My.") + c.name);
    const TRun init =
        RunCommand(velloc + " init " + Q(app) + " --template " + c.name + " --name 'A & B'");
    ASSERT_EQ(init.ExitCode, 0) << init.Output;
    EXPECT_NE(init.Output.find("npm install"), std::string::npos) << init.Output;
    for (const char* file : c.files)
      EXPECT_TRUE(fs::is_regular_file(app / file)) << file;
    for (const char* file :
         {"package.json", "package-lock.json", "vite.config.js", "velloc.vite.js", "jsconfig.json",
          "README.md", ".gitignore", "vlx.d.ts", "vlx.ini"})
      EXPECT_TRUE(fs::is_regular_file(app / file)) << file;
    EXPECT_NE(ReadFile(app / "package.json").find("\"name\": \"my." + std::string(c.name) + "\""),
              std::string::npos);
    EXPECT_NE(ReadFile(app / "index.html").find("<title>A &amp; B</title>"), std::string::npos);
    EXPECT_EQ(ReadFile(app / "src/style.css"), ReadFile(FRoot / "plain/app/style.css"));
    for (const auto& entry : fs::recursive_directory_iterator(app)) {
      if (!entry.is_regular_file()) continue;
      const std::string text = ReadFile(entry.path());
      for (const char* placeholder : {"@NAME@", "@ID@", "@PACKAGE@"})
        EXPECT_EQ(text.find(placeholder), std::string::npos) << entry.path() << " " << placeholder;
    }
  }
  const TRun unknown = RunCommand(velloc + " init " + Q(FRoot / "none") + " --template vue");
  EXPECT_EQ(unknown.ExitCode, 2) << unknown.Output;
  EXPECT_NE(unknown.Output.find("plain, vite, vite-react"), std::string::npos) << unknown.Output;
  EXPECT_FALSE(fs::exists(FRoot / "none"));
}

TEST_F(CliTest, InitNamesTheApplicationAfterItsFolder) {
  const struct {
    const char* Argument;  // given to init, run in FRoot / "dot app"
    const char* Ini;
  } cases[] = {
      {".", "ID=dot-app\nName=dot app\n"},
      {"./", "ID=dot-app\nName=dot app\n"},
      {"sub/", "ID=sub\nName=sub\n"},
  };
  for (const auto& c : cases) {
    fs::remove_all(FRoot / "dot app");
    fs::create_directories(FRoot / "dot app");
    const TRun init =
        RunCommand("cd " + Q(FRoot / "dot app") + " && " + VELLOC_CLI_PATH + " init " + c.Argument);
    ASSERT_EQ(init.ExitCode, 0) << c.Argument << ": " << init.Output;
    const std::string ini = ReadFile(FRoot / "dot app" / c.Argument / "vlx.ini");
    EXPECT_NE(ini.find(c.Ini), std::string::npos) << c.Argument << ": " << ini;
  }
}

TEST_F(CliTest, HelpNamesEveryCommandAndOption) {
  const std::string velloc = VELLOC_CLI_PATH;
  const TRun top = RunCommand(velloc + " --help");
  ASSERT_EQ(top.ExitCode, 0) << top.Output;
  for (const char* command : {"init", "pack", "info", "extract", "keygen", "update-manifest"}) {
    const TRun help = RunCommand(velloc + " " + command + " --help");
    ASSERT_EQ(help.ExitCode, 0) << command << ": " << help.Output;
    EXPECT_EQ(help.Output.rfind(std::string("Usage: velloc ") + command, 0), 0) << help.Output;
    EXPECT_NE(top.Output.find(std::string("velloc ") + command + " "), std::string::npos)
        << command;
    // Every option a command explains is named in the overview too.
    for (std::size_t at = help.Output.find(" -"); at != std::string::npos;
         at = help.Output.find(" -", at + 1)) {
      const std::size_t end = help.Output.find_first_of(" ,\n", at + 1);
      const std::string option = help.Output.substr(at + 1, end - at - 1);
      EXPECT_NE(top.Output.find(option), std::string::npos) << command << " " << option;
    }
  }
  EXPECT_NE(RunCommand(velloc + " pack --help").Output.find("--debug"), std::string::npos);
}

// A key pair, and a manifest of a packed executable that an application trusting the key accepts;
// what the commands refuse.
TEST_F(CliTest, KeygenAndUpdateManifest) {
  const std::string velloc = VELLOC_CLI_PATH;
  const TRun keygen = RunCommand(velloc + " keygen -o " + Q(FRoot / "k"));
  ASSERT_EQ(keygen.ExitCode, 0) << keygen.Output;
  EXPECT_EQ(fs::status(FRoot / "k").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  std::string publicKey = ReadFile(FRoot / "k.pub");
  publicKey.pop_back();
  EXPECT_NE(keygen.Output.find("PublicKey=" + publicKey), std::string::npos) << keygen.Output;
  const TRun again = RunCommand(velloc + " keygen -o " + Q(FRoot / "k"));
  EXPECT_EQ(again.ExitCode, 2);
  EXPECT_NE(again.Output.find("a key is never overwritten"), std::string::npos) << again.Output;

  WriteFile(FRoot / "app/vlx.ini",
            "[App]\nID=CliTest\nName=Cli Test\nDirName=web\nVersion=2.1\n"
            "[Update]\nManifestURL=https://example.com/{platform}.json\n"
            "PublicKey=" +
                publicKey + "\n");
  const fs::path exe = FRoot / "out/app";
  ASSERT_EQ(Pack("-o " + Q(exe)).ExitCode, 0);
  const std::string manifestCommand =
      velloc + " update-manifest " + Q(exe) + " --key " + Q(FRoot / "k") + " --url ";
  const TRun made =
      RunCommand(manifestCommand + "https://example.com/app-2.1 --notes 'New: \"x\"'");
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  const auto parsed = update::ParseManifest(ReadFile(exe.string() + ".json"));
  ASSERT_TRUE(std::holds_alternative<update::TUpdateManifest>(parsed));
  const update::TUpdateManifest& manifest = std::get<update::TUpdateManifest>(parsed);
  const std::string bytes = ReadFile(exe);
  EXPECT_EQ(manifest.Size, bytes.size());
  EXPECT_EQ(manifest.Sha256,
            update::Sha256({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
  EXPECT_EQ(manifest.Notes, "New: \"x\"");
  EXPECT_EQ(manifest.Url, "https://example.com/app-2.1");
  std::string why;
  EXPECT_EQ(update::CheckManifest(manifest,
                                  {"CliTest", "linux-x86_64", *update::TAppVersion::Parse("2.0"),
                                   *update::PublicKeyFromText(publicKey)},
                                  why),
            update::TManifestVerdict::Newer)
      << why;

  WriteFile(FRoot / "bad.key", "velloc update signing key\nAAAA\n");
  const std::pair<std::string, std::string> refusals[] = {
      {manifestCommand + "http://example.com/app", "updates are downloaded over HTTPS only"},
      {velloc + " update-manifest " + Q(exe) + " --key " + Q(FRoot / "bad.key") +
           " --url https://example.com/a",
       "is not a secret key of velloc keygen"},
      {velloc + " update-manifest " + Q(FRoot / "runtime") + " --key " + Q(FRoot / "k") +
           " --url https://example.com/a",
       "is a bare runtime"},
  };
  for (const auto& [command, message] : refusals) {
    const TRun run = RunCommand(command);
    EXPECT_EQ(run.ExitCode, 2) << command;
    EXPECT_NE(run.Output.find(message), std::string::npos) << run.Output;
  }
  // Without a version there is nothing to compare: the packer then takes no [Update] either.
  WriteFile(FRoot / "app/vlx.ini", "[App]\nID=CliTest\nName=Cli Test\nDirName=web\n");
  ASSERT_EQ(Pack("-o " + Q(exe)).ExitCode, 0);
  const TRun noVersion = RunCommand(manifestCommand + "https://example.com/a");
  EXPECT_EQ(noVersion.ExitCode, 2);
  EXPECT_NE(noVersion.Output.find("names no version"), std::string::npos) << noVersion.Output;
  WriteFile(FRoot / "app/vlx.ini",
            "[App]\nID=CliTest\nName=Cli Test\nDirName=web\n"
            "[Update]\nPublicKey=" +
                publicKey + "\n");
  const TRun refused = Pack("-o " + Q(exe));
  EXPECT_EQ(refused.ExitCode, 2);
  EXPECT_NE(refused.Output.find("updates need the application's version"), std::string::npos)
      << refused.Output;
}

TEST_F(CliTest, PackDebugTakesTheUnstrippedModule) {
  // An optimised build keeps unstripped copies below the runtime's folder.
  fs::copy_file("/bin/true", FRoot / "velloc-runtime");
  const std::string moduleName = "velloc-webkit-" + std::string(kRuntimeVersion) + ".so";
  WriteFile(FRoot / moduleName, "stripped module");
  WriteFile(FRoot / "unstripped" / moduleName, "unstripped module");
  for (const auto& [option, module] :
       {std::pair{"", "stripped module"}, std::pair{"--debug", "unstripped module"}}) {
    fs::remove_all(FRoot / "x");
    const TRun pack = RunCommand(std::string(VELLOC_CLI_PATH) + " pack " + Q(FRoot / "app") +
                                 " --quiet --runtime " + Q(FRoot / "velloc-runtime") + " -o " +
                                 Q(FRoot / "out/app") + " " + option);
    ASSERT_EQ(pack.ExitCode, 0) << option << ": " << pack.Output;
    RunCommand(std::string(VELLOC_CLI_PATH) + " extract " + Q(FRoot / "out/app") + " " +
               Q(FRoot / "x"));
    EXPECT_EQ(ReadFile(FRoot / "x/VellocWebKitLinux64.so"), module) << option;
  }
}

// A Windows executable as far as the packer looks: MS-DOS header, "PE", one section that ends
// where the file does.
std::string MinimalPe() {
  std::string b(0x400, '\0');
  b[0] = 'M', b[1] = 'Z';
  b[0x3C] = '\x80';
  b[0x80] = 'P', b[0x81] = 'E';
  b[0x80 + 6] = 1;        // one section
  b[0x80 + 20] = '\xF0';  // a 240-byte optional header
  const std::size_t section = 0x80 + 24 + 240;
  b[section + 17] = 0x02;  // 0x200 bytes of raw data
  b[section + 21] = 0x02;  // from 0x200
  return b;
}

// --target windows takes the Windows runtime and the WebView2 loader beside it, from
// $VELLOC_WINDOWS_DIR first, and says where it looked when there is none.
TEST_F(CliTest, PackForWindowsTakesTheWindowsRuntimeAndItsLoader) {
  // A copy of velloc, so that no Windows build beside the real one is found.
  fs::create_directories(FRoot / "tool/bin");
  fs::copy_file(VELLOC_CLI_PATH, FRoot / "tool/bin/velloc");
  const std::string velloc = Q(FRoot / "tool/bin/velloc");
  const std::string pack = "VELLOC_WINDOWS_DIR=" + Q(FRoot / "win") + " " + velloc + " pack " +
                           Q(FRoot / "app") + " --target windows -o " + Q(FRoot / "out/app.exe");
  TRun run = RunCommand(pack);
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("no Windows runtime; looked for"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find((FRoot / "win/velloc-runtime.exe").string()), std::string::npos)
      << run.Output;

  WriteFile(FRoot / "win/velloc-runtime.exe", MinimalPe());
  run = RunCommand(pack);
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("WebView2LoaderWin64.dll"), std::string::npos) << run.Output;
  EXPECT_TRUE(fs::is_empty(FRoot / "out"));

  WriteFile(FRoot / "win/WebView2LoaderWin64.dll", "loader bytes");
  run = RunCommand(pack + " --installer " + Q(FRoot / "module.so"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFile(FRoot / "out/app.exe").substr(0, 0x400), MinimalPe());
  RunCommand(velloc + " extract " + Q(FRoot / "out/app.exe") + " " + Q(FRoot / "x"));
  EXPECT_EQ(ReadFile(FRoot / "x/WebView2LoaderWin64.dll"), "loader bytes");
  EXPECT_EQ(ReadFile(FRoot / "x/WebView2Installer.exe"), "module bytes");

  // The icon goes into the Windows executable's own icon resource: this one has none.
  run = RunCommand(pack + " --icon " + Q(FRoot / "app/web/img/logo.png"));
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("the executable has no resources"), std::string::npos) << run.Output;

  run = RunCommand(velloc + " pack " + Q(FRoot / "app") + " --target mac");
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("--target must be linux or windows"), std::string::npos) << run.Output;
}

// A Windows executable complete enough for a signer: a PE32+ optional header with its data
// directories, one code section.
std::string SignablePe() {
  std::string b(0x400, '\0');
  const auto put = [&b](std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
      b[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  b[0] = 'M', b[1] = 'Z';
  put(0x3C, 0x80, 4);
  b[0x80] = 'P', b[0x81] = 'E';
  const std::size_t coff = 0x84, optional = coff + 20, section = optional + 240;
  put(coff, 0x8664, 2);     // x86-64
  put(coff + 2, 1, 2);      // one section
  put(coff + 16, 240, 2);   // optional header size
  put(coff + 18, 0x22, 2);  // executable, large addresses
  put(optional, 0x20B, 2);  // PE32+
  put(optional + 16, 0x1000, 4);
  put(optional + 24, 0x140000000, 8);
  put(optional + 32, 0x1000, 4);  // section alignment
  put(optional + 36, 0x200, 4);   // file alignment
  put(optional + 40, 6, 2);
  put(optional + 48, 6, 2);
  put(optional + 56, 0x2000, 4);  // size of image
  put(optional + 60, 0x200, 4);   // size of headers
  put(optional + 68, 2, 2);       // GUI subsystem
  put(optional + 108, 16, 4);     // data directories
  b.replace(section, 5, ".text");
  put(section + 8, 0x1000, 4);
  put(section + 12, 0x1000, 4);
  put(section + 16, 0x200, 4);
  put(section + 20, 0x200, 4);
  put(section + 36, 0x60000020, 4);
  b[0x200] = '\xC3';
  return b;
}

// Signing after packing: the packed executable is padded to a multiple of 8 so that the signer
// adds nothing in front of its certificate table, the signature verifies, and info and extract
// read the package in front of the table. A signed runtime is packed without its signature.
TEST_F(CliTest, PackedWindowsExecutablesCanBeSigned) {
  if (RunCommand("command -v osslsigncode && command -v openssl").ExitCode != 0) {
    GTEST_SKIP() << "osslsigncode or openssl is not installed";
  }
  const std::string velloc = VELLOC_CLI_PATH;
  WriteFile(FRoot / "win/velloc-runtime.exe", SignablePe());
  WriteFile(FRoot / "win/WebView2LoaderWin64.dll", "loader bytes");
  // A throw-away certificate.
  ASSERT_EQ(RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Velloc test' "
                       "-keyout " +
                       Q(FRoot / "key.pem") + " -out " + Q(FRoot / "cert.pem"))
                .ExitCode,
            0);
  const auto sign = [&](const fs::path& in, const fs::path& out) {
    return RunCommand("osslsigncode sign -certs " + Q(FRoot / "cert.pem") + " -key " +
                      Q(FRoot / "key.pem") + " -in " + Q(in) + " -out " + Q(out));
  };
  const auto verify = [&](const fs::path& exe) {
    return RunCommand("osslsigncode verify -CAfile " + Q(FRoot / "cert.pem") + " -in " + Q(exe));
  };
  const auto pack = [&](const fs::path& runtime, const fs::path& out) {
    return RunCommand(velloc + " pack " + Q(FRoot / "app") + " --target windows --runtime " +
                      Q(runtime) + " --module " + Q(FRoot / "win/WebView2LoaderWin64.dll") +
                      " --quiet -o " + Q(out));
  };

  TRun run = pack(FRoot / "win/velloc-runtime.exe", FRoot / "out/app.exe");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const std::uintmax_t packedSize = fs::file_size(FRoot / "out/app.exe");
  EXPECT_EQ(packedSize % 8, 0u);
  run = sign(FRoot / "out/app.exe", FRoot / "out/signed.exe");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  run = verify(FRoot / "out/signed.exe");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  // The signer put its table right behind the package.
  const package::ExeImageInfo signedImage =
      package::TExeUtils::InspectImage(FRoot / "out/signed.exe");
  EXPECT_TRUE(signedImage.Signed());
  EXPECT_EQ(signedImage.PackageEnd, packedSize);

  run = RunCommand(velloc + " info " + Q(FRoot / "out/signed.exe"));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("Signature:  Authenticode certificate table"), std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find("ID = CliTest"), std::string::npos) << run.Output;
  run = RunCommand(velloc + " info " + Q(FRoot / "out/app.exe"));
  EXPECT_NE(run.Output.find("Signature:  none"), std::string::npos) << run.Output;
  run = RunCommand(velloc + " extract " + Q(FRoot / "out/signed.exe") + " " + Q(FRoot / "x"));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFile(FRoot / "x/web/css/site.css"), "body{}");
  EXPECT_EQ(ReadFile(FRoot / "x/WebView2LoaderWin64.dll"), "loader bytes");

  // A signed executable that carries a package is no runtime to pack onto.
  run = pack(FRoot / "out/signed.exe", FRoot / "out/again.exe");
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(run.Output.find("already carries a package"), std::string::npos) << run.Output;

  // A signed bare runtime: packed without its signature, then signed as any other.
  ASSERT_EQ(sign(FRoot / "win/velloc-runtime.exe", FRoot / "win/signed-runtime.exe").ExitCode, 0);
  run = RunCommand(velloc + " pack " + Q(FRoot / "app") + " --target windows --runtime " +
                   Q(FRoot / "win/signed-runtime.exe") + " --module " +
                   Q(FRoot / "win/WebView2LoaderWin64.dll") + " -o " + Q(FRoot / "out/fresh.exe"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("is signed; the packed executable is not"), std::string::npos)
      << run.Output;
  EXPECT_FALSE(package::TExeUtils::InspectImage(FRoot / "out/fresh.exe").Signed());
  EXPECT_EQ(ReadFile(FRoot / "out/fresh.exe").substr(0, 0x400).substr(0x200),
            SignablePe().substr(0x200));
  ASSERT_EQ(sign(FRoot / "out/fresh.exe", FRoot / "out/fresh-signed.exe").ExitCode, 0);
  run = verify(FRoot / "out/fresh-signed.exe");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  run = RunCommand(velloc + " extract " + Q(FRoot / "out/fresh-signed.exe") + " " + Q(FRoot / "y"));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFile(FRoot / "y/web/css/site.css"), "body{}");
}

}  // namespace
}  // namespace velloc::cli
