// The common item dialogs on screen (where a display exists; Wine makes no window without
// one): the title and the name given, confirming and cancelling, for files and folders; shown
// only once the caller has returned; and a close that arrives while one is open.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "bridge/BrowserExternalModule.h"
#include "platform/win32/Win32FileDialogs.h"

namespace velloc::platform {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The visible window of this thread, if any: a dialog on screen.
HWND VisibleThreadWindow() {
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM result) -> BOOL {
        if (!::IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// What a person at the screen does once the dialog is up: presses a button, or (with no
// button) has the test's `OnShown` run, as a close that arrives meanwhile would.
struct TDrive {
  WPARAM Command = IDOK;
  std::function<void()> OnShown;
  std::wstring Title;
  bool Done = false;
};

TDrive* GDrive = nullptr;

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
  TDrive& drive = *GDrive;
  if (drive.Done) return;
  HWND found = VisibleThreadWindow();
  if (!found) return;
  wchar_t title[256] = {};
  ::GetWindowTextW(found, title, 256);
  drive.Title = title;
  drive.Done = true;
  if (drive.OnShown) {
    drive.OnShown();
  } else {
    ::PostMessageW(found, WM_COMMAND, drive.Command, 0);
  }
}

bool HaveDisplay() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
  if (probe) ::DestroyWindow(probe);
  return probe != nullptr;
}

// Runs the thread's messages until `finished` or 30 s.
template <typename TFinished>
bool PumpUntil(TFinished finished) {
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (!finished()) {
    if (::GetTickCount64() > deadline) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return true;
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

  // Starts the person at the screen; stopped when the returned guard goes.
  class TDriving {
   public:
    TDriving() : FTimer(::SetTimer(nullptr, 0, 200, DriveDialog)) {}
    ~TDriving() {
      ::KillTimer(nullptr, FTimer);
      GDrive = nullptr;
    }
    TDriving(const TDriving&) = delete;
    TDriving& operator=(const TDriving&) = delete;

   private:
    UINT_PTR FTimer;
  };
  std::unique_ptr<TDriving> StartDriving(WPARAM command, std::function<void()> onShown = nullptr) {
    FDrive = TDrive();
    FDrive.Command = command;
    FDrive.OnShown = std::move(onShown);
    GDrive = &FDrive;
    return std::make_unique<TDriving>();
  }

  // Asks through `show` (which hands it the answer's callback), with a person pressing the
  // given button once the dialog is up; the answer.
  template <typename TShow>
  std::optional<std::string> Drive(WPARAM command, TShow show) {
    const auto driving = StartDriving(command);
    bool answered = false;
    std::optional<std::string> chosen;
    show([&](std::optional<std::string> choice) {
      answered = true;
      chosen = std::move(choice);
    });
    EXPECT_TRUE(PumpUntil([&] { return answered; }));
    return chosen;
  }

  fs::path FRoot;
  TDrive FDrive;
  TWin32FileDialogs FDialogs;
};

TEST_F(Win32FileDialogs, OpenSaveAndFolderConfirmedAndCancelled) {
  const std::string existing = Utf8(FRoot / "chosen.txt");
  const std::vector<TFileType> types = {{"Text", "*.txt"}, {"All", "*.*"}};

  EXPECT_EQ(
      Drive(IDOK, [&](auto done) { FDialogs.OpenFile(existing, "Pick a text", types, done); }),
      existing);
  EXPECT_EQ(FDrive.Title, L"Pick a text");
  EXPECT_EQ(
      Drive(IDCANCEL, [&](auto done) { FDialogs.OpenFile(existing, "Open file", types, done); }),
      std::nullopt);
  EXPECT_TRUE(FDrive.Done);

  // A new name without an extension is taken as typed. (With file types given, Wine's dialog
  // appends the chosen type's extension, which Windows does only with a default extension.)
  const std::string fresh = Utf8(FRoot / "fresh");
  EXPECT_EQ(Drive(IDOK, [&](auto done) { FDialogs.SaveFile(fresh, "Save it", {}, true, done); }),
            fresh);
  EXPECT_EQ(FDrive.Title, L"Save it");
  EXPECT_EQ(
      Drive(IDCANCEL, [&](auto done) { FDialogs.SaveFile(fresh, "Save file", {}, false, done); }),
      std::nullopt);

  EXPECT_EQ(Drive(IDCANCEL, [&](auto done) { FDialogs.SelectFolder("Choose a folder", done); }),
            std::nullopt);
  EXPECT_EQ(FDrive.Title, L"Choose a folder");

  // Asked now, modally, by a caller outside a web view's event (a download's save question).
  const auto driving = StartDriving(IDOK);
  EXPECT_EQ(FDialogs.SaveFile(fresh, "Save now", {}, false), fresh);
  EXPECT_EQ(FDrive.Title, L"Save now");
}

// A bridge handler asks for a dialog inside the web view's message event: the dialog comes up
// only after the handler has returned, and the page that asked closes the application while it
// is open (the bridge goes, as the main window's close destroys it). The dialog ends with the
// bridge, no answer reaches the page, and nothing the answer needed is used after it went.
TEST_F(Win32FileDialogs, ShownAfterTheHandlerAndEndedByAClose) {
  auto module = std::make_unique<bridge::TBrowserExternalModule>();
  module->SetFileDialogs(&FDialogs);
  std::vector<std::string> replies;
  bool handlerReturned = false;
  // Once the dialog is up, the close: the main window destroys the bridge.
  const auto driving = StartDriving(0, [&] {
    EXPECT_TRUE(handlerReturned) << "the dialog came up inside the handler";
    module.reset();
  });
  module->BrowserWebMessageReceived(
      {R"({"id": 20001, "uuid": "u1", "data": {"title": "Closed under it"}})", "file:///index.html",
       [&](std::string_view reply) { replies.emplace_back(reply); }});
  handlerReturned = true;
  EXPECT_FALSE(FDrive.Done) << "shown before the handler returned";

  EXPECT_TRUE(PumpUntil([&] { return FDrive.Done && VisibleThreadWindow() == nullptr; }));
  EXPECT_EQ(FDrive.Title, L"Closed under it");
  EXPECT_EQ(module, nullptr);
  EXPECT_TRUE(replies.empty()) << replies.front();

  // The dialogs serve the next window's bridge as before.
  EXPECT_EQ(Drive(IDCANCEL, [&](auto done) { FDialogs.SelectFolder("Still there", done); }),
            std::nullopt);
  EXPECT_EQ(FDrive.Title, L"Still there");
}

// A dialog asked for and ended before it came up never shows.
TEST_F(Win32FileDialogs, EndedBeforeShown) {
  bool answered = false;
  FDialogs.OpenFile("", "Never shown", {}, [&](std::optional<std::string>) { answered = true; });
  FDialogs.CloseAll();
  const auto driving = StartDriving(IDCANCEL);  // answers one that shows after all
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageW(&message);
  EXPECT_FALSE(FDrive.Done) << "shown";
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace velloc::platform
