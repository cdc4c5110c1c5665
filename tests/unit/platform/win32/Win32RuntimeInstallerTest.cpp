// The installer flow's platform under Wine: the elevated run waits for the program and answers
// its exit code, the shell's delete removes a whole tree, and the busy form is the borderless,
// rounded, shadowed square that refuses to close.
#include <filesystem>
#include <fstream>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32RuntimeInstaller.h"

namespace velloc::platform::win32 {
namespace {

namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& name) {
  const fs::path folder =
      fs::temp_directory_path() / (name + std::to_string(GetCurrentProcessId()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

TEST(Win32RuntimeInstaller, RunsElevatedWaitsAndAnswersTheExitCode) {
  TWin32RuntimeInstaller installer;
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::string cmd = (fs::path(system) / "cmd.exe").string();
  EXPECT_EQ(installer.RunElevatedAndWait(cmd, "/c exit 7"), 7);
  EXPECT_EQ(installer.RunElevatedAndWait(cmd, "/c exit 0"), 0);
  // No program to run: 0 at once, whatever it would have answered.
  const fs::path missing = FreshFolder("velloc-installer-missing") / "WebView2Installer.exe";
  EXPECT_EQ(installer.RunElevatedAndWait(missing.string(), "/silent /install"), 0);
}

TEST(Win32RuntimeInstaller, DeletesTreesAndFilesForGood) {
  TWin32RuntimeInstaller installer;
  const fs::path folder = FreshFolder("velloc-installer-delete");
  fs::create_directories(folder / "Win64" / "EBWebView");
  std::ofstream(folder / "Win64" / "WebView2LoaderWin64.dll") << "loader";
  std::ofstream(folder / "Win64" / "EBWebView" / "state") << "x";
  std::ofstream(folder / "WebView2Installer.exe") << "installer";

  EXPECT_TRUE(installer.DeleteFile((folder / "WebView2Installer.exe").string()));
  EXPECT_FALSE(fs::exists(folder / "WebView2Installer.exe"));
  EXPECT_FALSE(installer.DeleteFile((folder / "WebView2Installer.exe").string()));

  EXPECT_TRUE(installer.DeleteDirectory(folder.string()));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(installer.DeleteDirectory(folder.string()));
}

TEST(Win32RuntimeInstaller, BusyFormIsARoundedPopUpThatRefusesToClose) {
  if (GetSystemMetrics(SM_CXSCREEN) <= 0 || !GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) {
    GTEST_SKIP() << "no display";
  }
  TWin32RuntimeInstaller installer;
  installer.ShowBusyForm({static_cast<std::int32_t>(0xFF00001A), 1, 2});
  HWND form = installer.BusyForm();
  ASSERT_NE(form, nullptr);
  // The system adds clipping of siblings to every top-level window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(form, GWL_STYLE)) &
                ~static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS),
            static_cast<DWORD>(WS_POPUP));
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_NE(GetClassLongPtrW(form, GCL_STYLE) & CS_DROPSHADOW, 0u);
  RECT client{};
  GetClientRect(form, &client);
  EXPECT_EQ(client.right - client.left, 80);
  EXPECT_EQ(client.bottom - client.top, 80);
  RECT bounds{};
  GetWindowRect(form, &bounds);
  EXPECT_EQ(bounds.left, (GetSystemMetrics(SM_CXSCREEN) - 80) / 2);
  EXPECT_EQ(bounds.top, (GetSystemMetrics(SM_CYSCREEN) - 80) / 2);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(form, region), ERROR);
  DeleteObject(region);

  // Alt+F4 and the like: the close request is refused.
  SendMessageW(form, WM_CLOSE, 0, 0);
  SendMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(form));

  // The indicator animates while an installer runs: timer messages keep coming.
  MSG msg;
  int ticks = 0;
  const DWORD until = GetTickCount() + 2000;
  while (ticks < 3 && GetTickCount() < until) {
    if (PeekMessageW(&msg, form, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      ++ticks;
      DispatchMessageW(&msg);
    } else {
      Sleep(10);
    }
  }
  EXPECT_GE(ticks, 3);
}

}  // namespace
}  // namespace velloc::platform::win32
