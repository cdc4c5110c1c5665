// The dialogs, files, folders and base64 functions, run through the bridge as a page calls them,
// on a scratch folder of the real file system.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"
#include "bridge/BrowserExternalModule.h"
#include "config/ProjectIni.h"
#include "core/StrUtils.h"
#include "platform/fake/Fakes.h"
#include "platform/linux/PosixFileSystem.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;

class TFakeBrowserForm : public IBridgeBrowserForm {
 public:
  std::string AppDir;
  platform::IWebView* Browser() const override { return nullptr; }
  void SetStartPageURL(const std::string&) override {}
  void InitializeBrowser() override {}
  std::string AppDirPath() const override { return AppDir; }
};

// What a call came back with: no reply at all, or success or failure with a JSON result.
struct TReply {
  bool Replied = false;
  bool Success = false;
  std::string Result;  // the result as JSON text
};

std::string Json(std::string_view text) {
  return TStrUtils::StringToJsonString(text);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Names in a folder that a replacement left behind.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".vlx-") != std::string::npos) names.push_back(name);
  }
  return names;
}

class FileFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-files-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
    FApp = FRoot / "app";
    fs::create_directory(FApp);
    FForm.AppDir = FApp.string() + "/";
    FModule.SetBrowserForm(&FForm);
    FModule.SetSystem(&FSystem);
    FModule.SetFileDialogs(&FDialogs);
    FModule.SetFileSystem(&FFiles);
    FModule.SetOnFault([this](TBridgeFault fault, std::string_view) { FFaults.push_back(fault); });
  }
  void TearDown() override { fs::remove_all(FRoot); }

  TReply Call(int id, std::string_view data) {
    std::vector<std::string> replies;
    const std::string message = "{\"id\": " + std::to_string(id) +
                                ", \"uuid\": \"u1\", \"data\": " + std::string(data) + "}";
    FModule.BrowserWebMessageReceived({message, "vlx:///index.html", [&](std::string_view reply) {
                                         replies.emplace_back(reply);
                                       }});
    EXPECT_LE(replies.size(), 1u);
    if (replies.empty()) return {};
    rapidjson::Document reply;
    reply.Parse(replies[0].data(), replies[0].size());
    EXPECT_FALSE(reply.HasParseError()) << replies[0];
    if (reply.HasParseError()) return {};
    const std::string prefix = "{\"uuid\": \"u1\", \"success\": ";
    EXPECT_TRUE(replies[0].starts_with(prefix)) << replies[0];
    const bool success = reply["success"].GetBool();
    const std::size_t start =
        prefix.size() + (success ? 4 : 5) + std::string(", \"result\": ").size();
    return {true, success, replies[0].substr(start, replies[0].size() - start - 1)};
  }

  // A call that must succeed; its result as JSON text.
  std::string Ok(int id, std::string_view data) {
    const TReply reply = Call(id, data);
    EXPECT_TRUE(reply.Replied && reply.Success) << id << " " << data << " -> " << reply.Result;
    return reply.Result;
  }

  // The paths of a listFiles result.
  std::vector<std::string> List(const std::string& dirPath, std::string_view mask,
                                std::string_view allDirs) {
    const std::string result =
        Ok(40004, "{\"dirPath\": " + Json(dirPath) + ", \"fileMask\": " + Json(mask) +
                      ", \"allDirs\": " + std::string(allDirs) + "}");
    rapidjson::Document array;
    array.Parse(result.data(), result.size());
    EXPECT_TRUE(!array.HasParseError() && array.IsArray()) << result;
    std::vector<std::string> paths;
    if (array.HasParseError() || !array.IsArray()) return paths;
    for (const auto& item : array.GetArray())
      paths.emplace_back(item.GetString(), item.GetStringLength());
    return paths;
  }

  fs::path FRoot, FApp;
  TFakeBrowserForm FForm;
  platform::fake::TFakeSystem FSystem;
  platform::fake::TFakeFileDialogs FDialogs;
  platform::TPosixFileSystem FFiles;
  TBrowserExternalModule FModule;
  std::vector<TBridgeFault> FFaults;
};

TEST_F(FileFunctions, MissingArguments) {
  fs::create_directory(FApp / "d");
  const struct {
    int id;
    std::string_view data, failure;
  } cases[] = {
      {30001, "{}", "Missing filePath"},
      {30001, R"({"filePath": null})", "Missing filePath"},
      {30001, R"({"filePath": ""})", "Missing filePath"},
      {30002, "{}", "Missing filePath"},
      {30003, R"({"contents": "x"})", "Missing filePath"},
      {30004, R"({"targetFile": "t"})", "Missing sourceFile"},
      {30004, R"({"sourceFile": "s"})", "Missing targetFile"},
      {40001, "{}", "Missing dirPath"},
      {40002, "{}", "Missing dirPath"},
      {40003, "{}", "Missing dirPath"},
      {40004, R"({"fileMask": "*", "allDirs": true})", "Missing dirPath"},
      {40004, R"({"dirPath": "d", "allDirs": true})", "Missing fileMask"},
      {40004, R"({"dirPath": "d", "fileMask": "*"})", "Missing allDirs"},
      {40004, R"({"dirPath": "d", "fileMask": "*", "allDirs": ""})", "Missing allDirs"},
      {40004, R"({"dirPath": "nowhere", "fileMask": "*", "allDirs": true})",
       "The specified folder does not exist."},
      {40004, R"({"dirPath": "nowhere", "fileMask": "a/b", "allDirs": true})",
       "The specified folder does not exist."},
      {90001, R"({"contents": "QUJD"})", "Missing filePath"},
  };
  for (const auto& c : cases) {
    const TReply reply = Call(c.id, c.data);
    EXPECT_TRUE(reply.Replied && !reply.Success) << c.id << " " << c.data;
    EXPECT_EQ(reply.Result, Json(c.failure)) << c.id << " " << c.data;
  }
  EXPECT_TRUE(FFaults.empty());
  EXPECT_EQ(fs::directory_iterator(FApp / "d"), fs::directory_iterator());
}

// A NUL would cut the path short at the system call, so `nul\0tail.txt` would act on `nul`:
// every function that takes a path refuses it with its failure answer and touches nothing.
TEST_F(FileFunctions, PathsWithANulAreRefused) {
  WriteFile(FApp / "nul", "keep");
  fs::create_directory(FApp / "d");
  const struct {
    int id;
    std::string_view data, failure;
  } cases[] = {
      {30001, R"({"filePath": "nul\u0000tail"})", "Invalid filePath"},
      {30002, R"({"filePath": "nul\u0000tail"})", "Invalid filePath"},
      {30003, R"({"filePath": "nul\u0000tail.txt", "contents": "x"})", "Invalid filePath"},
      {30004, R"({"sourceFile": "index.html\u0000x", "targetFile": "t"})", "Invalid sourceFile"},
      {30004, R"({"sourceFile": "index.html", "targetFile": "nul\u0000t"})", "Invalid targetFile"},
      {40001, R"({"dirPath": "d\u0000x"})", "Invalid dirPath"},
      {40002, R"({"dirPath": "d/new\u0000x"})", "Invalid dirPath"},
      {40003, R"({"dirPath": "d\u0000x"})", "Invalid dirPath"},
      {40004, R"({"dirPath": "d\u0000x", "fileMask": "*", "allDirs": true})", "Invalid dirPath"},
      {90001, R"({"filePath": "nul\u0000tail", "contents": "QUJD"})", "Invalid filePath"},
      {20001, R"({"fileName": "a\u0000b"})", "Invalid fileName"},
      {20002, R"({"fileName": "a\u0000b"})", "Invalid fileName"},
  };
  for (const auto& c : cases) {
    const TReply reply = Call(c.id, c.data);
    EXPECT_TRUE(reply.Replied && !reply.Success) << c.id << " " << c.data;
    EXPECT_EQ(reply.Result, Json(c.failure)) << c.id << " " << c.data;
  }
  EXPECT_EQ(ReadFile(FApp / "nul"), "keep");
  EXPECT_TRUE(fs::is_directory(FApp / "d"));
  EXPECT_TRUE(fs::is_empty(FApp / "d"));
  EXPECT_TRUE(FDialogs.Calls.empty());
  EXPECT_TRUE(FFaults.empty());
}

TEST_F(FileFunctions, UnusableArgumentsGetNoReply) {
  fs::create_directory(FApp / "d");
  const struct {
    int id;
    std::string_view data;
  } cases[] = {
      {30001, R"({"filePath": []})"},
      {30004, R"({"sourceFile": "s", "targetFile": {}})"},
      {40002, R"({"dirPath": {"a": 1}})"},
      {40004, R"({"dirPath": "d", "fileMask": "a/b", "allDirs": true})"},
      {40004, R"({"dirPath": "d", "fileMask": "   ", "allDirs": true})"},
      {40004, R"({"dirPath": "d", "fileMask": "[ab", "allDirs": true})"},
      {20002, R"({"overwritePrompt": "maybe"})"},
  };
  for (const auto& c : cases) {
    FFaults.clear();
    EXPECT_FALSE(Call(c.id, c.data).Replied) << c.id << " " << c.data;
    EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError}) << c.data;
  }
  EXPECT_TRUE(FDialogs.Calls.empty());
}

TEST_F(FileFunctions, ExistenceFollowsThePathRule) {
  fs::create_directories(FApp / "data");
  WriteFile(FApp / "data" / "x.txt", "x");
  fs::create_symlink(FApp / "data" / "x.txt", FApp / "link.txt");
  fs::create_symlink(FApp / "data", FApp / "dirlink");
  fs::create_symlink(FApp / "missing", FApp / "dangling");
  const std::string absolute = (FApp / "data" / "x.txt").string();
  const struct {
    std::string path;
    bool file, folder;
  } cases[] = {
      {"data/x.txt", true, false},  {"data\\x.txt", true, false}, {absolute, true, false},
      {"data", false, true},        {"data/", false, true},       {"link.txt", true, false},
      {"dirlink", false, true},     {"dangling", false, false},   {"data/none", false, false},
      {FApp.string(), false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Ok(30001, "{\"filePath\": " + Json(c.path) + "}"), c.file ? "true" : "false")
        << c.path;
    EXPECT_EQ(Ok(40001, "{\"dirPath\": " + Json(c.path) + "}"), c.folder ? "true" : "false")
        << c.path;
  }
}

TEST_F(FileFunctions, DeleteFile) {
  WriteFile(FApp / "a.txt", "a");
  fs::create_directory(FApp / "folder");
  EXPECT_EQ(Ok(30002, R"({"filePath": "a.txt"})"), "true");
  EXPECT_FALSE(fs::exists(FApp / "a.txt"));
  EXPECT_EQ(Ok(30002, R"({"filePath": "a.txt"})"), "false");
  EXPECT_EQ(Ok(30002, R"({"filePath": "folder"})"), "false");
  EXPECT_TRUE(fs::is_directory(FApp / "folder"));
}

TEST_F(FileFunctions, CreateDirMakesOneFolder) {
  WriteFile(FApp / "file", "");
  EXPECT_EQ(Ok(40002, R"({"dirPath": "new"})"), "true");
  EXPECT_TRUE(fs::is_directory(FApp / "new"));
  EXPECT_EQ(Ok(40002, R"({"dirPath": "new"})"), "true");
  EXPECT_EQ(Ok(40002, R"({"dirPath": "new\\inner"})"), "true");
  EXPECT_TRUE(fs::is_directory(FApp / "new" / "inner"));
  EXPECT_EQ(Ok(40002, R"({"dirPath": "one/two"})"), "false");
  EXPECT_FALSE(fs::exists(FApp / "one"));
  EXPECT_EQ(Ok(40002, R"({"dirPath": "file"})"), "false");
}

TEST_F(FileFunctions, DeleteDirRemovesTreesAndFiles) {
  fs::create_directories(FApp / "tree" / "a" / "b");
  WriteFile(FApp / "tree" / "a" / "b" / "f", "f");
  WriteFile(FApp / "tree" / ".hidden", "h");
  fs::create_directories(FRoot / "outside");
  WriteFile(FRoot / "outside" / "keep", "k");
  fs::create_symlink(FRoot / "outside", FApp / "tree" / "a" / "out");
  fs::create_symlink(FRoot / "outside", FApp / "outlink");
  WriteFile(FApp / "plain", "p");

  EXPECT_EQ(Ok(40003, R"({"dirPath": "tree"})"), "true");
  EXPECT_FALSE(fs::exists(FApp / "tree"));
  EXPECT_EQ(Ok(40003, R"({"dirPath": "plain"})"), "true");
  EXPECT_FALSE(fs::exists(FApp / "plain"));
  EXPECT_EQ(Ok(40003, R"({"dirPath": "outlink/"})"), "true");
  EXPECT_FALSE(fs::exists(fs::symlink_status(FApp / "outlink")));
  EXPECT_EQ(ReadFile(FRoot / "outside" / "keep"), "k");  // links are removed, not followed
  EXPECT_EQ(Ok(40003, R"({"dirPath": "tree"})"), "false");
}

TEST_F(FileFunctions, WriteTextFileBytes) {
  const struct {
    std::string_view contents;
    std::string_view bytes;
  } cases[] = {
      {R"("a\nb")",
       "\xEF\xBB\xBF"
       "a\r\nb\r\n"},
      {R"("")", "\xEF\xBB\xBF"},
      {R"(null)", "\xEF\xBB\xBF"},
      {R"("one\r\ntwo\rthree\n")",
       "\xEF\xBB\xBF"
       "one\r\ntwo\r\nthree\r\n"},
      {R"("kept\u0000dropped")",
       "\xEF\xBB\xBF"
       "kept\r\n"},
      {R"("\u00e9\u20ac")",
       "\xEF\xBB\xBF"
       "é€\r\n"},
      {R"(42)",
       "\xEF\xBB\xBF"
       "42\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Ok(30003, "{\"filePath\": \"sub/dir/out.txt\", \"contents\": " +
                            std::string(c.contents) + "}"),
              "true");
    EXPECT_EQ(ReadFile(FApp / "sub" / "dir" / "out.txt"), c.bytes) << c.contents;
  }
  // No contents member at all: a file with the mark only.
  EXPECT_EQ(Ok(30003, R"({"filePath": "empty.txt"})"), "true");
  EXPECT_EQ(ReadFile(FApp / "empty.txt"), "\xEF\xBB\xBF");
  EXPECT_TRUE(Leftovers(FApp / "sub" / "dir").empty());
}

TEST_F(FileFunctions, ReplacedFileKeepsItsModeAndLinks) {
  WriteFile(FApp / "data.txt", "old");
  fs::permissions(FApp / "data.txt",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(FApp / "data.txt", FApp / "link.txt");
  EXPECT_EQ(Ok(30003, R"({"filePath": "link.txt", "contents": "new"})"), "true");
  EXPECT_TRUE(fs::is_symlink(FApp / "link.txt"));
  EXPECT_EQ(ReadFile(FApp / "data.txt"),
            "\xEF\xBB\xBF"
            "new\r\n");
  EXPECT_EQ(fs::status(FApp / "data.txt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A failed write leaves the old file exactly as it was and answers with the error's text.
TEST_F(FileFunctions, ReadOnlyFilesAreNeitherDeletedNorReplaced) {
  WriteFile(FApp / "locked.txt", "kept");
  fs::permissions(FApp / "locked.txt",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(Ok(30002, R"({"filePath": "locked.txt"})"), "false");
  for (const int id : {30003, 90001}) {
    const TReply reply = Call(id, R"({"filePath": "locked.txt", "contents": "QUJD"})");
    EXPECT_TRUE(reply.Replied && !reply.Success) << id;
    EXPECT_NE(reply.Result.find("Permission denied"), std::string::npos) << reply.Result;
  }
  EXPECT_EQ(ReadFile(FApp / "locked.txt"), "kept");
  EXPECT_TRUE(Leftovers(FApp).empty());

  // Writable again, it is an ordinary file.
  fs::permissions(FApp / "locked.txt", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Ok(30002, R"({"filePath": "locked.txt"})"), "true");
}

TEST_F(FileFunctions, FailedWritesLeaveTheOldFile) {
  fs::create_directory(FApp / "target.txt");  // a folder where the file should go
  const TReply onFolder = Call(30003, R"({"filePath": "target.txt", "contents": "x"})");
  EXPECT_TRUE(onFolder.Replied && !onFolder.Success);
  EXPECT_NE(onFolder.Result.find("Is a directory"), std::string::npos) << onFolder.Result;
  EXPECT_TRUE(fs::is_directory(FApp / "target.txt"));
  const TReply decodeOnFolder = Call(90001, R"({"filePath": "target.txt", "contents": "QUJD"})");
  EXPECT_TRUE(decodeOnFolder.Replied && !decodeOnFolder.Success);

  // A conversion error of `contents` is part of the guarded steps: a failure reply.
  WriteFile(FApp / "old.txt", "old contents");
  const TReply badContents = Call(30003, R"({"filePath": "old.txt", "contents": [1]})");
  EXPECT_TRUE(badContents.Replied && !badContents.Success);
  EXPECT_EQ(ReadFile(FApp / "old.txt"), "old contents");

  // The disk refuses more bytes half-way (a file size limit stands in for a full disk).
  const std::string big(4096, 'A');
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const TReply text = Call(30003, "{\"filePath\": \"old.txt\", \"contents\": \"" + big + "\"}");
  const TReply decoded = Call(90001, "{\"filePath\": \"old.txt\", \"contents\": \"" + big + "\"}");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  for (const TReply& reply : {text, decoded}) {
    EXPECT_TRUE(reply.Replied && !reply.Success);
    EXPECT_NE(reply.Result.find("old.txt"), std::string::npos) << reply.Result;
  }
  EXPECT_EQ(ReadFile(FApp / "old.txt"), "old contents");
  EXPECT_TRUE(Leftovers(FApp).empty());
}

TEST_F(FileFunctions, DecodeToFile) {
  const struct {
    std::string_view contents;
    std::string_view bytes;
  } cases[] = {
      {R"("QUJD")", "ABC"}, {R"("QUI=")", "AB"}, {R"("QUJDRA")", "ABC"},
      {R"("")", ""},        {R"(null)", ""},
  };
  WriteFile(FApp / "old.bin", "previous contents");
  for (const auto& c : cases) {
    EXPECT_EQ(
        Ok(90001, "{\"filePath\": \"out/old.bin\", \"contents\": " + std::string(c.contents) + "}"),
        "true");
    EXPECT_EQ(ReadFile(FApp / "out" / "old.bin"), c.bytes) << c.contents;
  }
  EXPECT_EQ(Ok(90001, "{\"filePath\": " + Json((FRoot / "abs.bin").string()) +
                          ", \"contents\": \"AAECAw==\"}"),
            "true");
  EXPECT_EQ(ReadFile(FRoot / "abs.bin"), std::string("\x00\x01\x02\x03", 4));
}

class ExtractFile : public FileFunctions {
 protected:
  void SetUp() override {
    FileFunctions::SetUp();
    archive::TZipWriter writer;
    const std::string logo = "PNG bytes of the logo";
    const std::string text(5000, 'x');
    writer.AddFile("app/images/logo.png",
                   std::span(reinterpret_cast<const std::uint8_t*>(logo.data()), logo.size()),
                   archive::ZipMethod::Stored);
    writer.AddFile("app/readme.txt",
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                   archive::ZipMethod::Deflate);
    writer.AddFile("app/damaged.bin",
                   std::span(reinterpret_cast<const std::uint8_t*>(logo.data()), 9),
                   archive::ZipMethod::Stored);
    writer.Finish();
    FZip = writer.TakeBytes();
    // Damage the stored bytes of the last entry: its CRC-32 no longer matches.
    const std::string_view needle = "PNG bytes";
    const auto at = std::search(FZip.rbegin(), FZip.rend(), needle.rbegin(), needle.rend());
    ASSERT_NE(at, FZip.rend());
    *at ^= 0x20;
    FArchive.Stream(FZip);
    FIni.LoadFromText("[App]\nDirName=app\n");
    FModule.SetExeZip(&FArchive);
    FModule.SetProjectINI(&FIni);
  }

  std::string Args(std::string_view source, const fs::path& target) {
    return "{\"sourceFile\": " + Json(source) + ", \"targetFile\": " + Json(target.string()) + "}";
  }

  std::vector<std::uint8_t> FZip;
  archive::TZipArchive FArchive;
  config::TProjectIni FIni;
};

TEST_F(ExtractFile, EntryNameIsDirNameAndSourceWithoutSeparator) {
  EXPECT_EQ(Ok(30004, Args("/images/logo.png", FRoot / "logo.png")), "true");
  EXPECT_EQ(ReadFile(FRoot / "logo.png"), "PNG bytes of the logo");
  EXPECT_EQ(Ok(30004, Args("/README.TXT", FRoot / "logo.png")), "true");  // replaces it
  EXPECT_EQ(ReadFile(FRoot / "logo.png"), std::string(5000, 'x'));

  const TReply missing = Call(30004, Args("images/logo.png", FRoot / "logo.png"));  // appimages/...
  EXPECT_TRUE(missing.Replied && !missing.Success);
  EXPECT_EQ(missing.Result, Json("File not found"));
  EXPECT_EQ(ReadFile(FRoot / "logo.png"), std::string(5000, 'x'));
  EXPECT_TRUE(Leftovers(FRoot).empty());
}

TEST_F(ExtractFile, TargetIsRelativeToTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(FRoot);
  const TReply reply =
      Call(30004, R"({"sourceFile": "/images/logo.png", "targetFile": "here.png"})");
  fs::current_path(before);
  EXPECT_TRUE(reply.Replied && reply.Success);
  EXPECT_EQ(ReadFile(FRoot / "here.png"), "PNG bytes of the logo");
  EXPECT_FALSE(fs::exists(FApp / "here.png"));
}

TEST_F(ExtractFile, DamagedEntryLeavesTheTarget) {
  WriteFile(FRoot / "keep.bin", "keep");
  const TReply reply = Call(30004, Args("/damaged.bin", FRoot / "keep.bin"));
  EXPECT_TRUE(reply.Replied && !reply.Success);
  EXPECT_NE(reply.Result.find("CRC-32"), std::string::npos) << reply.Result;
  EXPECT_EQ(ReadFile(FRoot / "keep.bin"), "keep");
  EXPECT_TRUE(Leftovers(FRoot).empty());
}

TEST_F(ExtractFile, TargetThatCannotBeCreatedGetsNoReply) {
  EXPECT_FALSE(Call(30004, Args("/images/logo.png", FRoot / "no" / "such" / "x.png")).Replied);
  EXPECT_EQ(FFaults, std::vector<TBridgeFault>{TBridgeFault::HandlerError});
  EXPECT_FALSE(fs::exists(FRoot / "no"));
  // Not found is answered before the target is looked at.
  EXPECT_EQ(Call(30004, Args("/none", FRoot / "no" / "x.png")).Result, Json("File not found"));
}

TEST_F(FileFunctions, ListFilesRecursesInPlace) {
  const fs::path top = FApp / "top";
  for (const char* folder : {"top/sub/deeper", "top/sub2", "top/empty", "top/.hiddendir"})
    fs::create_directories(FApp / folder);
  for (const char* file :
       {"top/a.txt", "top/B.TXT", "top/c.log", "top/.hidden.txt", "top/sub/d.txt",
        "top/sub/deeper/e.txt", "top/sub/deeper/f.log", "top/sub2/g.txt", "top/.hiddendir/h.txt"})
    WriteFile(FApp / file, "x");

  // The expected order: the folder's entries as the system gives them, each subfolder's files
  // at its place.
  std::vector<std::string> expected;
  const auto walk = [&](const auto& self, const fs::path& folder) -> void {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_directory()) {
        self(self, entry.path());
      } else if (entry.path().extension() == ".txt" || entry.path().extension() == ".TXT") {
        expected.push_back(entry.path().string());
      }
    }
  };
  walk(walk, top);
  ASSERT_EQ(expected.size(), 7u);

  for (const std::string_view allDirs : {"true", "\"true\"", "\"TRUE\"", "\"True\""})
    EXPECT_EQ(List("top", "*.txt", allDirs), expected) << allDirs;

  std::set<std::string> flat;
  for (const std::string_view allDirs : {"false", "\"false\"", "\"yes\"", "1"}) {
    const auto paths = List("top", "*.txt", allDirs);
    EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()),
              (std::set<std::string>{(top / "a.txt").string(), (top / "B.TXT").string(),
                                     (top / ".hidden.txt").string()}))
        << allDirs;
  }
  EXPECT_EQ(List("top/empty", "*.*", "true"), std::vector<std::string>{});
  EXPECT_EQ(List("top\\sub\\deeper", "?.log", "false"),
            std::vector<std::string>{(top / "sub" / "deeper" / "f.log").string()});
  EXPECT_EQ(List((top / "sub2").string() + "/", "*.*", "false"),
            std::vector<std::string>{(top / "sub2" / "g.txt").string()});
  EXPECT_EQ(List("top", "*.*", "true").size(), 9u);  // folders never appear
}

// The reply text: "[]", or each path as StringToJsonString writes it, joined by ", ".
TEST_F(FileFunctions, ListFilesReplyText) {
  fs::create_directory(FApp / "list");
  EXPECT_EQ(Ok(40004, R"({"dirPath": "list", "fileMask": "*.*", "allDirs": true})"), "[]");
  for (const char* name : {"one.txt", "two \"2\".txt", "tab\t.txt", "€.txt", "é.txt"})
    WriteFile(FApp / "list" / name, "");
  const std::string data = R"({"dirPath": "list", "fileMask": "*", "allDirs": true})";
  std::string expected = "[";
  for (const std::string& path : List("list", "*", "true"))
    expected += (expected.size() > 1 ? ", " : "") + Json(path);
  EXPECT_EQ(Ok(40004, data), expected + "]");
}

TEST_F(FileFunctions, ListFilesOddNamesStayValidJson) {
  const fs::path folder = FApp / "odd";
  fs::create_directory(folder);
  const std::vector<std::string> names = {
      "quote\"name.txt", "tab\tname.txt", "line\nbreak.txt", "back\\slash.txt", "ctl\x01.txt",
      "euro€.txt",       "é.txt"};
  for (const std::string& name : names)
    WriteFile(folder / name, "x");
  const auto paths = List("odd", "*.txt", "false");
  std::set<std::string> expected;
  for (const std::string& name : names)
    expected.insert((folder / name).string());
  EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), expected);
}

TEST_F(FileFunctions, ListFilesDoesNotEnterLinkedFolders) {
  const fs::path top = FApp / "top";
  fs::create_directories(top / "sub");
  WriteFile(top / "sub" / "a.txt", "a");
  WriteFile(FRoot / "elsewhere.txt", "e");
  fs::create_symlink(top, top / "sub" / "loop");  // a circle back to the top
  fs::create_symlink(FRoot, top / "outside");     // a way out of the tree
  fs::create_symlink(FRoot / "elsewhere.txt", top / "file-link.txt");
  fs::create_symlink(FRoot / "missing.txt", top / "dangling.txt");
  const auto paths = List("top", "*", "true");
  EXPECT_EQ(
      std::set<std::string>(paths.begin(), paths.end()),
      (std::set<std::string>{(top / "sub" / "a.txt").string(), (top / "file-link.txt").string()}));
}

TEST_F(FileFunctions, FolderGetters) {
  FSystem.Temp = "/var/tmp";
  FSystem.Documents = "/home/u/Documents/";
  FSystem.Desktop = "";
  FSystem.Roaming = "/home/u/.config";
  EXPECT_EQ(Ok(40005, "{}"), Json("/var/tmp/"));
  EXPECT_EQ(Ok(40006, "{}"), Json("/home/u/Documents/"));
  EXPECT_EQ(Ok(40007, "{}"), Json("/"));
  EXPECT_EQ(Ok(40008, "{}"), Json(FApp.string() + "/"));
  EXPECT_EQ(Ok(40009, "{}"), Json("/home/u/.config/"));
  // The executable's folder is where relative paths land.
  WriteFile(FApp / "here.txt", "");
  EXPECT_EQ(Ok(30001, "{\"filePath\": " + Json(FApp.string() + "/here.txt") + "}"), "true");
}

TEST_F(FileFunctions, Dialogs) {
  using Types = std::vector<std::pair<std::string, std::string>>;
  const auto types = [](const platform::fake::TFakeFileDialogs::TCall& call) {
    Types out;
    for (const auto& t : call.Types)
      out.emplace_back(t.DisplayName, t.Mask);
    return out;
  };

  FDialogs.Answer = "/home/u/pic.png";
  EXPECT_EQ(Ok(20001, "{}"), Json("/home/u/pic.png"));
  EXPECT_EQ(
      Ok(20001, R"({"fileName": "a.png", "title": "Pick", "fileTypes": "Images|*.png;*.jpg"})"),
      Json("/home/u/pic.png"));
  FDialogs.Answer.reset();
  EXPECT_EQ(Ok(20001, "{}"), Json(""));  // cancelled: an empty text, not a failure
  ASSERT_EQ(FDialogs.Calls.size(), 3u);
  EXPECT_EQ(FDialogs.Calls[0].Kind, "open");
  EXPECT_EQ(FDialogs.Calls[0].Title, "Open file");
  EXPECT_EQ(types(FDialogs.Calls[0]), Types{});
  EXPECT_EQ(FDialogs.Calls[1].FileName, "a.png");
  EXPECT_EQ(FDialogs.Calls[1].Title, "Pick");
  EXPECT_EQ(types(FDialogs.Calls[1]), (Types{{"Images", "*.png"}}));

  FDialogs.Calls.clear();
  FDialogs.Answer = "/home/u/out.txt";
  EXPECT_EQ(Ok(20002, R"({"fileTypes": "Text|*.txt;All|*.*", "overwritePrompt": true})"),
            Json("/home/u/out.txt"));
  EXPECT_EQ(Ok(20002, R"({"overwritePrompt": "1"})"), Json("/home/u/out.txt"));
  EXPECT_EQ(Ok(20002, "{}"), Json("/home/u/out.txt"));
  ASSERT_EQ(FDialogs.Calls.size(), 3u);
  EXPECT_EQ(FDialogs.Calls[0].Kind, "save");
  EXPECT_EQ(FDialogs.Calls[0].Title, "Save file");
  EXPECT_EQ(types(FDialogs.Calls[0]), (Types{{"Text", "*.txt"}, {"All", "*.*"}}));
  EXPECT_TRUE(FDialogs.Calls[0].OverwritePrompt);
  EXPECT_TRUE(FDialogs.Calls[1].OverwritePrompt);
  EXPECT_FALSE(FDialogs.Calls[2].OverwritePrompt);

  FDialogs.Calls.clear();
  FDialogs.Answer = "/home/u";
  EXPECT_EQ(Ok(20003, "{}"), Json("/home/u/"));
  FDialogs.Answer = "/";
  EXPECT_EQ(Ok(20003, R"({"title": "Where?"})"), Json("/"));
  FDialogs.Answer.reset();
  EXPECT_EQ(Ok(20003, "{}"), Json(""));
  ASSERT_EQ(FDialogs.Calls.size(), 3u);
  EXPECT_EQ(FDialogs.Calls[0].Kind, "folder");
  EXPECT_EQ(FDialogs.Calls[0].Title, "Save file");
  EXPECT_EQ(FDialogs.Calls[1].Title, "Where?");
}

// The dialog handlers return before the user answers. A page may close the application while
// its dialog is open: the dialog ends with the bridge, and an answer that comes all the same
// goes nowhere (under the sanitizers, a reply through a destroyed bridge would show).
TEST(FileDialogReplies, AnsweredLaterOrAfterTheBridgeHasGone) {
  platform::fake::TFakeFileDialogs dialogs;
  dialogs.Hold = true;
  std::vector<std::string> replies;
  auto module = std::make_unique<TBrowserExternalModule>();
  module->SetFileDialogs(&dialogs);
  for (const int id : {20001, 20003}) {
    module->BrowserWebMessageReceived(
        {"{\"id\": " + std::to_string(id) + ", \"uuid\": \"u" + std::to_string(id) +
             "\", \"data\": {}}",
         "vlx:///index.html", [&](std::string_view reply) { replies.emplace_back(reply); }});
  }
  EXPECT_TRUE(replies.empty()) << replies.front();
  ASSERT_EQ(dialogs.Open.size(), 2u);

  dialogs.Open[0]("/home/u/a.txt");
  EXPECT_EQ(replies, std::vector<std::string>{
                         R"({"uuid": "u20001", "success": true, "result": "\/home\/u\/a.txt"})"});

  const platform::TFileDialogDone late = dialogs.Open[1];
  module.reset();
  EXPECT_EQ(dialogs.CloseAllCalls, 1);
  EXPECT_TRUE(dialogs.Open.empty());
  late("/home/u");
  EXPECT_EQ(replies.size(), 1u);
}

}  // namespace
}  // namespace velloc::bridge
