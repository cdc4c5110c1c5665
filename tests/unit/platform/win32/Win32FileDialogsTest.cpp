// The common item dialogs on screen (where a display exists; Wine makes no window without
// one): the title and the name given, confirming and cancelling, for files and folders.
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32FileDialogs.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct TDrive {
  WPARAM Command = IDOK;
  std::wstring Title;
  bool Done = false;
};

TDrive* GDrive = nullptr;

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
  TDrive& drive = *GDrive;
  if (drive.Done) return;
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM result) -> BOOL {
        if (!::IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  if (!found) return;
  wchar_t title[256] = {};
  ::GetWindowTextW(found, title, 256);
  drive.Title = title;
  drive.Done = true;
  ::PostMessageW(found, WM_COMMAND, drive.Command, 0);
}

bool HaveDisplay() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
  if (probe) ::DestroyWindow(probe);
  return probe != nullptr;
}

class Win32FileDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no window without a display";
    FRoot = fs::temp_directory_path() /
            ("velloc-dialogs-test-" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(FRoot);
    std::ofstream(FRoot / "chosen.txt") << "x";
  }
  void TearDown() override {
    if (!FRoot.empty()) fs::remove_all(FRoot);
  }

  // Runs `show` with a person pressing the given button once the dialog is up.
  template <typename TShow>
  std::optional<std::string> Drive(WPARAM command, TShow show) {
    FDrive = TDrive();
    FDrive.Command = command;
    GDrive = &FDrive;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, DriveDialog);
    std::optional<std::string> chosen = show();
    ::KillTimer(nullptr, timer);
    GDrive = nullptr;
    return chosen;
  }

  fs::path FRoot;
  TDrive FDrive;
  TWin32FileDialogs FDialogs;
};

TEST_F(Win32FileDialogs, OpenSaveAndFolderConfirmedAndCancelled) {
  const std::string existing = Utf8(FRoot / "chosen.txt");
  const std::vector<TFileType> types = {{"Text", "*.txt"}, {"All", "*.*"}};

  EXPECT_EQ(Drive(IDOK, [&] { return FDialogs.OpenFile(existing, "Pick a text", types); }),
            existing);
  EXPECT_EQ(FDrive.Title, L"Pick a text");
  EXPECT_EQ(Drive(IDCANCEL, [&] { return FDialogs.OpenFile(existing, "Open file", types); }),
            std::nullopt);
  EXPECT_TRUE(FDrive.Done);

  // A new name without an extension is taken as typed. (With file types given, Wine's dialog
  // appends the chosen type's extension, which Windows does only with a default extension.)
  const std::string fresh = Utf8(FRoot / "fresh");
  EXPECT_EQ(Drive(IDOK, [&] { return FDialogs.SaveFile(fresh, "Save it", {}, true); }), fresh);
  EXPECT_EQ(FDrive.Title, L"Save it");
  EXPECT_EQ(Drive(IDCANCEL, [&] { return FDialogs.SaveFile(fresh, "Save file", {}, false); }),
            std::nullopt);

  EXPECT_EQ(Drive(IDCANCEL, [&] { return FDialogs.SelectFolder("Choose a folder"); }),
            std::nullopt);
  EXPECT_EQ(FDrive.Title, L"Choose a folder");
}

}  // namespace
}  // namespace velloc::platform
