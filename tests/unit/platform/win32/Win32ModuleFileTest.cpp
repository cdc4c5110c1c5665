// The loader library on disk: read back within a size limit, replaced whole through a file only
// this process can open, the leftovers of killed writers cleared, and a library that another
// instance has loaded replaced all the same (it moves aside).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32ModuleFile.h"

namespace velloc::platform::win32 {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Text(const std::optional<std::vector<std::uint8_t>>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

class Win32ModuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = fs::temp_directory_path() /
            (L"velloc-module-\u00e9-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(FRoot);
    fs::create_directories(FRoot);
  }
  void TearDown() override { fs::remove_all(FRoot); }
  std::string Path(const wchar_t* name) const { return Narrow((FRoot / name).wstring()); }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(FRoot))
      names.push_back(entry.path().filename().wstring());
    return names;
  }
  fs::path FRoot;
};

TEST_F(Win32ModuleFile, ReplaceReadAndLeftovers) {
  TWin32ModuleFile file;
  const std::string path = Path(L"Loader.dll");
  EXPECT_FALSE(file.Read(path, 100));
  ASSERT_TRUE(file.Replace(path, Bytes("first")));
  EXPECT_EQ(Text(file.Read(path, 100)), "first");

  std::ofstream(FRoot / L"Loader.dll") << "dam";                  // a damaged copy
  std::ofstream(FRoot / L".Loader.dll.part-abcd1234") << "half";  // a writer killed mid-way
  std::ofstream(FRoot / L".Loader.dll.old-abcd1234") << "old";    // moved aside, now unused
  std::ofstream(FRoot / L".Other.dll.part-abcd1234") << "not ours";
  ASSERT_TRUE(file.Replace(path, Bytes("module bytes")));
  EXPECT_EQ(Text(file.Read(path, 100)), "module bytes");
  // Longer than the package's entry: not read at all.
  EXPECT_FALSE(file.Read(path, 11));
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L".Other.dll.part-abcd1234", L"Loader.dll"}));
}

TEST_F(Win32ModuleFile, AWriterAtWorkKeepsItsFile) {
  // Another start writing the same library holds its file open without sharing.
  const fs::path busy = FRoot / L".Loader.dll.part-busy0001";
  HANDLE handle = CreateFileW(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  TWin32ModuleFile file;
  EXPECT_TRUE(file.Replace(Path(L"Loader.dll"), Bytes("mine")));
  EXPECT_TRUE(fs::exists(busy));
  CloseHandle(handle);
}

TEST_F(Win32ModuleFile, ALoadedLibraryIsReplacedAllTheSame) {
  const fs::path library = FRoot / L"Loader.dll";
  fs::copy_file(VELLOC_TEST_LIBRARY, library);
  HMODULE loaded = LoadLibraryW(library.c_str());
  ASSERT_NE(loaded, nullptr);
  TWin32ModuleFile file;
  ASSERT_TRUE(file.Replace(Narrow(library.wstring()), Bytes("newer")));
  EXPECT_EQ(Text(file.Read(Narrow(library.wstring()), 100)), "newer");
  FreeLibrary(loaded);
  // The copy moved aside goes at the next replacement, once nothing holds it.
  ASSERT_TRUE(file.Replace(Narrow(library.wstring()), Bytes("newest")));
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"Loader.dll"});
}

TEST_F(Win32ModuleFile, AMissingFolderIsAFailureThatLeavesNothing) {
  TWin32ModuleFile file;
  EXPECT_FALSE(file.Replace(Path(L"missing\\Loader.dll"), Bytes("x")));
  EXPECT_TRUE(Names().empty());
}

}  // namespace
}  // namespace velloc::platform::win32
