// The file and folder functions on Windows: drive-letter, UNC-style and relative paths, read-only
// files, replacing an existing file in one step, and names beyond ASCII, against the Win32 file
// system (run under Wine).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "bridge/AtomicFile.h"
#include "bridge/BrowserExternalModule.h"
#include "common/ScratchDir.h"
#include "core/StrUtils.h"
#include "platform/fake/Fakes.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;
using platform::win32::Narrow;
using platform::win32::Widen;

class TFakeBrowserForm : public IBridgeBrowserForm {
 public:
  std::string AppDir;
  platform::IWebView* Browser() const override { return nullptr; }
  void SetStartPageURL(const std::string&) override {}
  void InitializeBrowser() override {}
  std::string AppDirPath() const override { return AppDir; }
};

struct TReply {
  bool Replied = false;
  bool Success = false;
  std::string Result;  // JSON text
};

std::string Json(std::string_view text) {
  return TStrUtils::StringToJsonString(text);
}

// Reads and writes through the wide Win32 calls, independently of the code under test.
std::string ReadFile(const std::string& path) {
  std::ifstream in(fs::path(Widen(path)), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(fs::path(Widen(path)), std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetReadOnly(const std::string& path, bool readOnly) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  ::SetFileAttributesW(wide.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                              : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

class Win32FileFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = Narrow(FScratch.Path().wstring());
    FApp = FRoot + "\\app\\";
    ASSERT_TRUE(::CreateDirectoryW(Widen(FApp).c_str(), nullptr));
    FForm.AppDir = FApp;
    FModule.SetBrowserForm(&FForm);
    FModule.SetSystem(&FSystem);
    FModule.SetFileSystem(&FFiles);
  }
  void TearDown() override {
    // Read-only files would keep the scratch folder from going.
    FFiles.RemoveTree(FRoot);
  }

  TReply Call(int id, std::string_view data) {
    std::vector<std::string> replies;
    const std::string message = "{\"id\": " + std::to_string(id) +
                                ", \"uuid\": \"u1\", \"data\": " + std::string(data) + "}";
    FModule.BrowserWebMessageReceived({message, "vlx:///index.html", [&](std::string_view reply) {
                                         replies.emplace_back(reply);
                                       }});
    if (replies.empty()) return {};
    rapidjson::Document reply;
    reply.Parse(replies[0].data(), replies[0].size());
    EXPECT_FALSE(reply.HasParseError()) << replies[0];
    if (reply.HasParseError()) return {};
    const bool success = reply["success"].GetBool();
    const std::string prefix = "{\"uuid\": \"u1\", \"success\": ";
    const std::size_t start =
        prefix.size() + (success ? 4 : 5) + std::string(", \"result\": ").size();
    return {true, success, replies[0].substr(start, replies[0].size() - start - 1)};
  }

  std::string Ok(int id, std::string_view data) {
    const TReply reply = Call(id, data);
    EXPECT_TRUE(reply.Replied && reply.Success) << id << " " << data << " -> " << reply.Result;
    return reply.Result;
  }

  std::string PathCall(int id, std::string_view name, const std::string& path) {
    return Ok(id, "{\"" + std::string(name) + "\": " + Json(path) + "}");
  }

  std::vector<std::string> List(const std::string& dirPath, std::string_view mask, bool allDirs) {
    const std::string result =
        Ok(40004, "{\"dirPath\": " + Json(dirPath) + ", \"fileMask\": " + Json(mask) +
                      ", \"allDirs\": " + (allDirs ? "true" : "false") + "}");
    rapidjson::Document array;
    array.Parse(result.data(), result.size());
    std::vector<std::string> paths;
    if (array.HasParseError() || !array.IsArray()) {
      ADD_FAILURE() << result;
      return paths;
    }
    for (const auto& item : array.GetArray())
      paths.emplace_back(item.GetString(), item.GetStringLength());
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  velloc::testing::ScratchDir FScratch{"velloc-win32-files"};
  std::string FRoot, FApp;
  TFakeBrowserForm FForm;
  platform::fake::TFakeSystem FSystem;
  platform::win32::TWin32FileSystem FFiles;
  TBrowserExternalModule FModule;
};

// Absolute drive-letter paths, "\\?\" paths (the UNC form of the rule) and paths relative to
// the executable's folder with either separator all reach the same files.
TEST_F(Win32FileFunctions, PathFormsReachTheSameFile) {
  const std::string file = FApp + "data\\x.txt";
  EXPECT_EQ(Ok(30003, "{\"filePath\": \"data/x.txt\", \"contents\": \"one\"}"), "true");
  EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBFone\r\n");
  const struct {
    std::string path;
    const char* exists;
  } cases[] = {
      {file, "true"},
      {"data\\x.txt", "true"},
      {"data/x.txt", "true"},
      {"\\data\\x.txt", "true"},  // a leading separator stays inside the folder
      {"\\\\?\\" + file, "true"},
      {FApp + "data/x.txt", "true"},
      {FApp + "data", "false"},  // a folder is no file
      {"data\\missing.txt", "false"},
      {"Z:\\velloc-missing\\x.txt", "false"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PathCall(30001, "filePath", c.path), c.exists) << c.path;
  EXPECT_EQ(PathCall(40001, "dirPath", FApp + "data"), "true");
  EXPECT_EQ(PathCall(40001, "dirPath", "data"), "true");
  EXPECT_EQ(PathCall(40001, "dirPath", file), "false");

  // Writing through the "\\?\" form replaces the same file.
  EXPECT_EQ(Ok(30003, "{\"filePath\": " + Json("\\\\?\\" + file) + ", \"contents\": \"two\"}"),
            "true");
  EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBFtwo\r\n");
}

TEST_F(Win32FileFunctions, ReadOnlyFilesAreNeitherDeletedNorReplaced) {
  const std::string file = FApp + "locked.txt";
  WriteFile(file, "kept");
  SetReadOnly(file, true);
  EXPECT_TRUE(FFiles.IsReadOnlyFile(file));
  EXPECT_EQ(PathCall(30002, "filePath", file), "false");
  const TReply write = Call(30003, "{\"filePath\": " + Json(file) + ", \"contents\": \"x\"}");
  EXPECT_TRUE(write.Replied);
  EXPECT_FALSE(write.Success);
  EXPECT_NE(write.Result.find("locked.txt"), std::string::npos) << write.Result;
  EXPECT_EQ(ReadFile(file), "kept");

  SetReadOnly(file, false);
  EXPECT_FALSE(FFiles.IsReadOnlyFile(file));
  EXPECT_EQ(PathCall(30002, "filePath", file), "true");
  EXPECT_FALSE(Exists(file));
  EXPECT_EQ(PathCall(30002, "filePath", file), "false");  // already gone
  EXPECT_EQ(PathCall(30002, "filePath", FApp), "false");  // a folder is not deleted
  EXPECT_FALSE(FFiles.IsReadOnlyFile(FApp));              // nor is it a read-only file
}

// The old file stays whole until the new contents are complete, an abandoned replacement leaves
// nothing behind, and a killed writer's temporary file goes with the next write.
TEST_F(Win32FileFunctions, ReplacingAnExistingFile) {
  const std::string file = FApp + "f.txt";
  WriteFile(file, "old");
  WriteFile(FApp + ".f.txt.vlx-Stale123", "left by a killed writer");
  {
    TAtomicFile replacement(FFiles, file);
    replacement.Write(std::string_view("new contents"));
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_TRUE(Exists(replacement.TempPath()));
    EXPECT_EQ(replacement.TempPath().rfind(FApp, 0), 0u) << replacement.TempPath();
    EXPECT_FALSE(Exists(FApp + ".f.txt.vlx-Stale123"));
    // A second writer meanwhile leaves the live one's file alone.
    ReplaceFileContents(FFiles, file, std::string_view("second"));
    EXPECT_TRUE(Exists(replacement.TempPath()));
    replacement.Commit();
  }
  EXPECT_EQ(ReadFile(file), "new contents");
  {
    TAtomicFile abandoned(FFiles, file);
    abandoned.Write(std::string_view("never"));
  }
  EXPECT_EQ(ReadFile(file), "new contents");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FScratch.Path() / "app"))
    names.push_back(Narrow(entry.path().filename().wstring()));
  EXPECT_EQ(names, std::vector<std::string>{"f.txt"});
}

TEST_F(Win32FileFunctions, CreateErrorsNameTheFile) {
  WriteFile(FApp + "plain.txt", "x");
  for (const std::string& path :
       {FApp + "no\\f.txt", FApp, FApp + "sub\\", FRoot + "\\app", FApp + "plain.txt\\x"}) {
    try {
      TAtomicFile file(FFiles, path);
      ADD_FAILURE() << path;
    } catch (const EFileError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("Cannot create file \"" + path + "\". ", 0), 0u) << message;
      EXPECT_GT(message.size(), path.size() + 23) << "the reason is missing: " << message;
    }
  }
}

TEST_F(Win32FileFunctions, FoldersAreCreatedListedAndRemoved) {
  EXPECT_EQ(PathCall(40002, "dirPath", "a"), "true");
  EXPECT_EQ(PathCall(40002, "dirPath", "a"), "true");         // already there
  EXPECT_EQ(PathCall(40002, "dirPath", "x\\y\\z"), "false");  // one level only
  EXPECT_EQ(Ok(30003, "{\"filePath\": \"a/b/deep.txt\", \"contents\": \"\"}"), "true");
  WriteFile(FApp + "a\\top.TXT", "");
  WriteFile(FApp + "a\\other.js", "");
  WriteFile(FApp + "a\\b\\locked.txt", "");
  SetReadOnly(FApp + "a\\b\\locked.txt", true);

  EXPECT_EQ(List(FApp + "a", "*.txt", false), std::vector<std::string>{FApp + "a\\top.TXT"});
  EXPECT_EQ(List("a\\", "*.txt", true),
            (std::vector<std::string>{FApp + "a\\b\\deep.txt", FApp + "a\\b\\locked.txt",
                                      FApp + "a\\top.TXT"}));
  EXPECT_EQ(
      Call(40004, "{\"dirPath\": \"missing\", \"fileMask\": \"*\", \"allDirs\": true}").Result,
      "\"The specified folder does not exist.\"");

  // The tree goes whole, read-only file included; a second time there is nothing to remove.
  EXPECT_EQ(PathCall(40003, "dirPath", FApp + "a\\"), "true");
  EXPECT_FALSE(Exists(FApp + "a"));
  EXPECT_EQ(PathCall(40003, "dirPath", "a"), "false");
}

TEST_F(Win32FileFunctions, NamesBeyondAscii) {
  const std::string name = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80.txt";  // café € 😀
  EXPECT_EQ(Ok(30003, "{\"filePath\": " + Json("d\xC3\xA9j\xC3\xA0\\" + name) +
                          ", \"contents\": \"\xC3\xA9t\xC3\xA9\"}"),
            "true");
  const std::string full = FApp + "d\xC3\xA9j\xC3\xA0\\" + name;
  EXPECT_TRUE(fs::exists(FScratch.Path() / L"app" / L"d\u00E9j\u00E0" /
                         L"caf\u00E9 \u20AC \U0001F600.txt"));
  EXPECT_EQ(ReadFile(full), "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\r\n");
  EXPECT_EQ(PathCall(30001, "filePath", full), "true");
  EXPECT_EQ(List(FApp, "*", true), std::vector<std::string>{full});
}

}  // namespace
}  // namespace velloc::bridge
