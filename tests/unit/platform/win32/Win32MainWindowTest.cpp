// The Win32 main window against the real window manager of the system (Wine's under Xvfb in
// CI): styles, rectangles and states are read back through Win32 calls.
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32RoundedCorners.h"

namespace velloc::platform::win32 {
namespace {

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT MonitorRect(HWND window, bool workArea) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return workArea ? monitor.rcWork : monitor.rcMonitor;
}

LONG_PTR Style(HWND window) {
  return GetWindowLongPtrW(window, GWL_STYLE);
}
LONG_PTR ExStyle(HWND window) {
  return GetWindowLongPtrW(window, GWL_EXSTYLE);
}

class RecordingEvents final : public IMainWindowEvents {
 public:
  bool FormCloseQuery() override {
    ++Queries;
    return AllowClose;
  }
  void FormClose() override { ++Closes; }
  bool AllowClose = false;
  int Queries = 0;
  int Closes = 0;
};

class Win32MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Window = std::make_unique<TWin32MainWindow>();
    Window->SetQuitOnClose(false);
    Window->SetEvents(&Events);
    Handle = Window->Handle();
    ASSERT_NE(Handle, nullptr);
  }
  void TearDown() override {
    Window.reset();
    PumpMessages();
  }
  void Shown() {
    Window->Show();
    PumpMessages();
  }

  RecordingEvents Events;
  std::unique_ptr<TWin32MainWindow> Window;
  HWND Handle = nullptr;
};

struct BorderCase {
  TBorderStyle Border;
  bool Caption, ThickFrame, MinimizeBox, MaximizeBox, ToolWindow, DialogFrame;
};

constexpr BorderCase kBorders[] = {
    {TBorderStyle::None, false, false, true, false, false, false},
    {TBorderStyle::Single, true, false, true, true, false, false},
    {TBorderStyle::Sizeable, true, true, true, true, false, false},
    {TBorderStyle::Dialog, true, false, false, false, false, true},
    {TBorderStyle::ToolWindow, true, false, false, false, true, false},
    {TBorderStyle::SizeToolWindow, true, true, false, false, true, false},
};

TEST_F(Win32MainWindowTest, EachBorderHasItsWindowStylesAndKeepsTheOuterRectangle) {
  Window->SetBounds({120, 100, 640, 480});
  Window->SetInitialPlacement(false);
  Shown();
  Window->SetBounds({120, 100, 640, 480});
  Window->SetTopmost(true);
  for (const BorderCase& c : kBorders) {
    SCOPED_TRACE(static_cast<int>(c.Border));
    Window->SetBorderStyle(c.Border);
    PumpMessages();
    EXPECT_EQ(Window->BorderStyle(), c.Border);
    const LONG_PTR style = Style(Handle), exStyle = ExStyle(Handle);
    EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, c.Caption);
    EXPECT_EQ((style & WS_THICKFRAME) != 0, c.ThickFrame);
    EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, c.MinimizeBox);
    EXPECT_EQ((style & WS_MAXIMIZEBOX) != 0, c.MaximizeBox);
    EXPECT_EQ((exStyle & WS_EX_TOOLWINDOW) != 0, c.ToolWindow);
    EXPECT_EQ((exStyle & WS_EX_DLGMODALFRAME) != 0, c.DialogFrame);
    // Only the frame changes: the window, its place, its stacking and its outer size stay.
    EXPECT_TRUE(IsWindowVisible(Handle));
    EXPECT_TRUE(Window->Topmost());
    const RECT rect = WindowRect(Handle);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 120);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);
  }
}

TEST_F(Win32MainWindowTest, BoundsAreTheOuterRectangleBeforeAndAfterShowing) {
  Window->SetBounds({40, 30, 700, 500});
  EXPECT_EQ(Window->Bounds().Left, 30);
  EXPECT_EQ(Window->Bounds().Top, 40);
  Window->SetInitialPlacement(false);
  Shown();
  Window->SetBounds({60, 70, 500, 400});
  const TRect bounds = Window->Bounds();
  EXPECT_EQ(bounds.Left, 70);
  EXPECT_EQ(bounds.Top, 60);
  EXPECT_EQ(bounds.Width, 500);
  EXPECT_EQ(bounds.Height, 400);
  // Sizes from a page stay within what a window can have.
  Window->SetBounds({0, 0, 1 << 30, -5});
  EXPECT_LE(Window->Bounds().Width, 16384);
  EXPECT_GE(Window->Bounds().Height, 1);
}

TEST_F(Win32MainWindowTest, SizeLimitsHoldForEveryBorder) {
  Window->SetSizeConstraints({900, 700, 400, 300});
  Shown();
  for (const BorderCase& c : kBorders) {
    SCOPED_TRACE(static_cast<int>(c.Border));
    Window->SetBorderStyle(c.Border);
    // Through the interface.
    Window->SetBounds({10, 10, 200, 100});
    EXPECT_EQ(Window->Bounds().Width, 400);
    EXPECT_EQ(Window->Bounds().Height, 300);
    Window->SetBounds({10, 10, 2000, 1500});
    EXPECT_EQ(Window->Bounds().Width, 900);
    EXPECT_EQ(Window->Bounds().Height, 700);
    // As the user or another program would resize it.
    SetWindowPos(Handle, nullptr, 0, 0, 100, 1200, SWP_NOMOVE | SWP_NOZORDER);
    RECT rect = WindowRect(Handle);
    EXPECT_EQ(rect.right - rect.left, 400);
    EXPECT_EQ(rect.bottom - rect.top, 700);
    // What the system asks the window before a drag or a maximize.
    MINMAXINFO info{};
    SendMessageW(Handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 400);
    EXPECT_EQ(info.ptMinTrackSize.y, 300);
    EXPECT_EQ(info.ptMaxTrackSize.x, 900);
    EXPECT_EQ(info.ptMaxTrackSize.y, 700);
    EXPECT_LE(info.ptMaxSize.x, 900);
    EXPECT_LE(info.ptMaxSize.y, 700);
  }
}

TEST_F(Win32MainWindowTest, NewLimitsApplyToTheCurrentSizeAndZeroMeansNoLimit) {
  Window->SetBounds({50, 50, 800, 600});
  Shown();
  Window->SetSizeConstraints({500, 0, 0, 650});
  EXPECT_EQ(Window->Bounds().Width, 500);
  EXPECT_EQ(Window->Bounds().Height, 650);
  Window->SetSizeConstraints({});
  Window->SetBounds({50, 50, 1000, 200});
  EXPECT_EQ(Window->Bounds().Width, 1000);
  EXPECT_EQ(Window->Bounds().Height, 200);
}

TEST_F(Win32MainWindowTest, StatesFollowRequestsAndTheSystem) {
  Window->SetBounds({50, 50, 600, 400});
  Shown();
  EXPECT_EQ(Window->WindowState(), TWindowState::Normal);
  Window->SetWindowState(TWindowState::Maximized);
  PumpMessages();
  EXPECT_TRUE(IsZoomed(Handle));
  EXPECT_EQ(Window->WindowState(), TWindowState::Maximized);
  Window->SetWindowState(TWindowState::Minimized);
  PumpMessages();
  EXPECT_TRUE(IsIconic(Handle));
  EXPECT_EQ(Window->WindowState(), TWindowState::Minimized);
  // A minimized window reports the rectangle it returns to, not the icon's place.
  EXPECT_EQ(Window->Bounds().Width, 600);
  EXPECT_GT(Window->Bounds().Left, -1000);
  // Minimized from maximized, back to normal: neither state remains.
  Window->SetWindowState(TWindowState::Normal);
  PumpMessages();
  EXPECT_FALSE(IsIconic(Handle));
  EXPECT_FALSE(IsZoomed(Handle));
  EXPECT_EQ(Window->WindowState(), TWindowState::Normal);
  const RECT rect = WindowRect(Handle);
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 400);
  // The system changes the state: the window reports what it is.
  ShowWindow(Handle, SW_MAXIMIZE);
  PumpMessages();
  EXPECT_EQ(Window->WindowState(), TWindowState::Maximized);
}

TEST_F(Win32MainWindowTest, StateAskedForBeforeShowingAppliesWhenShown) {
  Window->SetWindowState(TWindowState::Maximized);
  EXPECT_FALSE(IsWindowVisible(Handle));
  EXPECT_EQ(Window->WindowState(), TWindowState::Maximized);
  Shown();
  EXPECT_TRUE(IsZoomed(Handle));
}

TEST_F(Win32MainWindowTest, FullScreenCoversTheMonitorAndReturnsToTheNormalWindow) {
  Shown();
  Window->SetBounds({80, 90, 640, 480});
  // Full screen: no border, maximized.
  Window->SetBorderStyle(TBorderStyle::None);
  Window->SetWindowState(TWindowState::Maximized);
  PumpMessages();
  const RECT monitor = MonitorRect(Handle, false);
  RECT rect = WindowRect(Handle);
  EXPECT_EQ(rect.left, monitor.left);
  EXPECT_EQ(rect.top, monitor.top);
  EXPECT_EQ(rect.right, monitor.right);
  EXPECT_EQ(rect.bottom, monitor.bottom);
  // And back.
  Window->SetBorderStyle(TBorderStyle::Sizeable);
  Window->SetWindowState(TWindowState::Normal);
  PumpMessages();
  rect = WindowRect(Handle);
  EXPECT_EQ(rect.left, 90);
  EXPECT_EQ(rect.top, 80);
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 480);
  EXPECT_NE(Style(Handle) & WS_THICKFRAME, 0);
}

TEST_F(Win32MainWindowTest, MaximizedWindowObeysTheMaximumSize) {
  Window->SetSizeConstraints({500, 400, 0, 0});
  Shown();
  Window->SetWindowState(TWindowState::Maximized);
  PumpMessages();
  const RECT rect = WindowRect(Handle);
  EXPECT_LE(rect.right - rect.left, 500);
  EXPECT_LE(rect.bottom - rect.top, 400);
}

TEST_F(Win32MainWindowTest, CentredPlacementCentresOnTheWorkArea) {
  Window->SetBounds({0, 0, 400, 300});
  Window->SetInitialPlacement(true);
  Shown();
  const RECT work = MonitorRect(Handle, true);
  const RECT rect = WindowRect(Handle);
  EXPECT_EQ(rect.left, work.left + (work.right - work.left - 400) / 2);
  EXPECT_EQ(rect.top, work.top + (work.bottom - work.top - 300) / 2);
  EXPECT_EQ(rect.right - rect.left, 400);
}

TEST_F(Win32MainWindowTest, SystemPlacementKeepsTheSize) {
  Window->SetBounds({0, 0, 420, 330});
  Window->SetInitialPlacement(false);
  Shown();
  const RECT rect = WindowRect(Handle);
  EXPECT_EQ(rect.right - rect.left, 420);
  EXPECT_EQ(rect.bottom - rect.top, 330);
}

TEST_F(Win32MainWindowTest, TopmostAndVisibility) {
  EXPECT_FALSE(Window->Visible());
  Shown();
  EXPECT_TRUE(Window->Visible());
  Window->SetTopmost(true);
  EXPECT_TRUE(Window->Topmost());
  EXPECT_NE(ExStyle(Handle) & WS_EX_TOPMOST, 0);
  Window->SetTopmost(false);
  EXPECT_FALSE(Window->Topmost());
  Window->Hide();
  EXPECT_FALSE(Window->Visible());
  Window->BringToFront();
  EXPECT_TRUE(Window->Visible());
}

TEST_F(Win32MainWindowTest, CaptionTravelsAsUtf16) {
  const std::string caption = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";  // é, euro sign, emoji
  Window->SetCaption(caption);
  EXPECT_EQ(Window->Caption(), caption);
  wchar_t wide[16] = {};
  GetWindowTextW(Handle, wide, 16);
  EXPECT_EQ(std::wstring(wide), L"Caf\u00E9 \u20AC \U0001F600");
  Window->SetApplicationTitle("App");
  EXPECT_EQ(Window->ApplicationTitle(), "App");
}

TEST_F(Win32MainWindowTest, CloseRequestsAskTheCoreFirst) {
  Shown();
  // The user's close (title bar, Alt+F4) arrives as WM_CLOSE.
  SendMessageW(Handle, WM_CLOSE, 0, 0);
  EXPECT_EQ(Events.Queries, 1);
  EXPECT_EQ(Events.Closes, 0);
  EXPECT_TRUE(IsWindow(Handle));
  // A close from inside a handler runs once that handler has returned.
  Events.AllowClose = true;
  Window->Close();
  Window->Close();
  EXPECT_EQ(Events.Queries, 1);
  PumpMessages();
  EXPECT_EQ(Events.Queries, 2);
  EXPECT_EQ(Events.Closes, 1);
  EXPECT_FALSE(IsWindow(Handle));
  EXPECT_EQ(Window->Handle(), nullptr);
  EXPECT_FALSE(Window->Visible());
}

TEST_F(Win32MainWindowTest, ContentFillsTheClientArea) {
  HWND content = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, Handle,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(content, nullptr);
  Window->SetContent(content);
  Shown();
  Window->SetBounds({50, 50, 700, 520});
  RECT client{}, child{};
  GetClientRect(Handle, &client);
  GetClientRect(content, &child);
  EXPECT_EQ(child.right, client.right);
  EXPECT_EQ(child.bottom, client.bottom);
}

TEST(Win32RoundedCornersTest, PreferenceGoesOutWhenTheWindowExistsAndOnEachChange) {
  struct Call {
    DWORD Attribute;
    std::int32_t Value;
  };
  std::vector<Call> calls;
  TWin32RoundedCorners corners([&](HWND, DWORD attribute, const void* data, DWORD size) -> HRESULT {
    EXPECT_EQ(size, 4u);
    calls.push_back({attribute, *static_cast<const std::int32_t*>(data)});
    return E_INVALIDARG;  // as a system without the attribute answers
  });
  corners.SetRoundedCorners(forms::TRoundedCornerType::rcSmall);
  EXPECT_TRUE(calls.empty());  // no window yet
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  corners.Attach(window);
  corners.SetRoundedCorners(forms::TRoundedCornerType::rcDefault);  // the unit default: round
  corners.Detach();
  corners.SetRoundedCorners(forms::TRoundedCornerType::rcOff);  // waits for a window
  corners.Attach(window);
  DestroyWindow(window);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Attribute, 33u);
  EXPECT_EQ(calls[0].Value, 3);
  EXPECT_EQ(calls[1].Value, 2);
  EXPECT_EQ(calls[2].Value, 1);
}

TEST(Win32RoundedCornersTest, SystemWithoutTheAttributeIsIgnored) {
  // The real desktop window manager call; Wine and Windows 10 refuse it and nothing happens.
  TWin32MainWindow window;
  window.SetQuitOnClose(false);
  window.Corners().SetRoundedCorners(forms::TRoundedCornerType::rcOn);
  window.SetBorderStyle(TBorderStyle::None);
  EXPECT_NE(window.Handle(), nullptr);
}

}  // namespace
}  // namespace velloc::platform::win32
