// The menu bar and the tray icon against Wine's window manager and notification area: the items
// read back with GetMenuItemInfoW, commands raising the click with the item's own ID, a rebuild
// waiting for an open menu, the bar owner-drawn in a built-in style; the icon added, removed and
// added again when the taskbar comes back, clicks counted as a person makes them.
#include <cstring>
#include <memory>
#include <objbase.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/BuiltinStyles.h"
#include "platform/win32/Win32MainMenuBar.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32MenuImages.h"
#include "platform/win32/Win32Styles.h"
#include "platform/win32/Win32TrayIcon.h"

// After windows.h, which the headers above bring.
#include <shellapi.h>

namespace velloc::platform::win32 {
namespace {

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A 2 by 2 BMP of one colour, for an item's picture.
std::vector<std::uint8_t> Picture() {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = 2;
  info.biHeight = 2;
  info.biPlanes = 1;
  info.biBitCount = 32;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + 16;
  std::vector<std::uint8_t> data(file.bfSize, 0xFF);
  std::memcpy(data.data(), &file, sizeof file);
  std::memcpy(data.data() + sizeof file, &info, sizeof info);
  return data;
}

TMenuEntry Item(std::int32_t id, const std::string& text, int accessKey = 0) {
  TMenuEntry entry;
  entry.Id = id;
  entry.Text = text;
  entry.AccessKey = accessKey;
  entry.Clickable = true;
  return entry;
}

struct TItem {
  std::wstring Text;
  UINT Type = 0, State = 0, Command = 0;
  HMENU Submenu = nullptr;
  int BitmapSide = 0;
};

TItem ReadItem(HMENU menu, UINT index) {
  wchar_t text[256] = {};
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP;
  info.dwTypeData = text;
  info.cch = 255;
  GetMenuItemInfoW(menu, index, TRUE, &info);
  BITMAP bitmap{};
  const bool hasBitmap = info.hbmpItem && GetObjectW(info.hbmpItem, sizeof bitmap, &bitmap);
  return {text,     info.fType,    info.fState,
          info.wID, info.hSubMenu, hasBitmap ? static_cast<int>(bitmap.bmWidth) : 0};
}

class Win32MainMenuBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Window = std::make_unique<TWin32MainWindow>();
    Window->SetQuitOnClose(false);
    Bar = std::make_unique<TWin32MainMenuBar>(Window->Handle());
    Bar->SetOnItemClick([this](std::int32_t id) { Clicks.push_back(id); });
  }
  void TearDown() override {
    Bar.reset();
    Window.reset();
    CoUninitialize();
  }
  std::vector<TMenuEntry> Entries() {
    TMenuEntry file = Item(1, "File");
    file.Clickable = false;
    file.Submenu = true;
    file.Children.push_back(Item(11, "Open"));
    file.Children.back().Image = TWin32MenuImageDecoder().DecodeMenuImage(Picture());
    TMenuEntry separator;
    separator.Separator = true;
    file.Children.push_back(separator);
    file.Children.push_back(Item(-5, "A&B", 2));
    TMenuEntry off = Item(2, "Off");
    off.Enabled = false;
    return {file, off, Item(1, "Same ID")};
  }
  std::unique_ptr<TWin32MainWindow> Window;
  std::unique_ptr<TWin32MainMenuBar> Bar;
  std::vector<std::int32_t> Clicks;
};

TEST_F(Win32MainMenuBarTest, TheCoresEntriesAsWin32Items) {
  Bar->SetEntries(Entries());
  EXPECT_EQ(GetMenu(Window->Handle()), nullptr) << "shown only once attached";
  Bar->Attach();
  HMENU bar = GetMenu(Window->Handle());
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  const TItem file = ReadItem(bar, 0);
  EXPECT_EQ(file.Text, L"&File");
  ASSERT_NE(file.Submenu, nullptr);
  ASSERT_EQ(GetMenuItemCount(file.Submenu), 3);
  const TItem open = ReadItem(file.Submenu, 0);
  EXPECT_EQ(open.Text, L"&Open");
  EXPECT_EQ(open.BitmapSide, MenuImageSize(GetDpiForWindow(Window->Handle())));
  EXPECT_TRUE(ReadItem(file.Submenu, 1).Type & MFT_SEPARATOR);
  // A literal ampersand doubled, the access key marked.
  EXPECT_EQ(ReadItem(file.Submenu, 2).Text, L"A&&&B");
  EXPECT_TRUE(ReadItem(bar, 1).State & MFS_DISABLED);
  EXPECT_FALSE(ReadItem(bar, 0).Type & MFT_OWNERDRAW);

  // A click reports the item's own ID, also a negative one or one that another item shares.
  const auto command = [](HMENU menu, UINT index) { return ReadItem(menu, index).Command; };
  for (const auto& [menu, index] : std::vector<std::pair<HMENU, UINT>>{
           {file.Submenu, 0}, {file.Submenu, 2}, {bar, 2}, {bar, 0}})
    SendMessageW(Window->Handle(), WM_COMMAND, MAKEWPARAM(command(menu, index), 0), 0);
  // The submenu's own item has no click.
  EXPECT_EQ(Clicks, (std::vector<std::int32_t>{11, -5, 1}));
}

TEST_F(Win32MainMenuBarTest, ARebuildWaitsForTheOpenMenu) {
  Bar->Attach();
  Bar->SetEntries(Entries());
  SendMessageW(Window->Handle(), WM_ENTERMENULOOP, FALSE, 0);
  Bar->SetEntries({Item(7, "New")});
  EXPECT_EQ(GetMenuItemCount(GetMenu(Window->Handle())), 3);
  SendMessageW(Window->Handle(), WM_EXITMENULOOP, FALSE, 0);
  PumpMessages();
  ASSERT_EQ(GetMenuItemCount(GetMenu(Window->Handle())), 1);
  EXPECT_EQ(ReadItem(GetMenu(Window->Handle()), 0).Text, L"&New");
}

TEST_F(Win32MainMenuBarTest, ABuiltInStyleDrawsTheBar) {
  Bar->Attach();
  Bar->SetEntries(Entries());
  ShowWindow(Window->Handle(), SW_SHOWNOACTIVATE);
  TWin32StyleEngine engine([](HWND, DWORD, const void*, DWORD) { return S_OK; });
  const TStyleDefinition& carbon = bridge::BuiltinStyles()[5];
  ASSERT_EQ(carbon.Name, "Carbon");
  ASSERT_TRUE(engine.LoadStyle(carbon));
  engine.ActivateStyle(&carbon);
  PumpMessages();
  HMENU bar = GetMenu(Window->Handle());
  EXPECT_TRUE(ReadItem(bar, 0).Type & MFT_OWNERDRAW);
  // Its drop-downs keep the system's look.
  EXPECT_FALSE(ReadItem(ReadItem(bar, 0).Submenu, 0).Type & MFT_OWNERDRAW);
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND;
  ASSERT_TRUE(GetMenuInfo(bar, &info));
  LOGBRUSH brush{};
  ASSERT_TRUE(info.hbrBack && GetObjectW(info.hbrBack, sizeof brush, &brush));
  EXPECT_EQ(brush.lbColor, ColorRef(ActiveStyle()->Colors.Bar));
  engine.ActivateStyle(nullptr);
  PumpMessages();
  EXPECT_FALSE(ReadItem(GetMenu(Window->Handle()), 0).Type & MFT_OWNERDRAW);
}

// Whether the notification area holds the icon.
bool ShellHas(HWND owner, UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner;
  data.uID = id;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(Win32TrayIcon, ShownHiddenAndBackAfterTheTaskbarReturns) {
  TWin32TrayIcon tray;
  if (!tray.Window()) GTEST_SKIP() << "no display";
  int clicks = 0;
  tray.SetOnIconClick([&] { ++clicks; });
  tray.SetIcon({}, "Tray test");
  tray.Show();
  if (!tray.Visible()) GTEST_SKIP() << "no notification area";
  EXPECT_TRUE(ShellHas(tray.Window(), kTrayIconId));

  // What the notification area sends (version 4: the event in the low word): a click, then a
  // double click, which counts once.
  const auto send = [&](UINT event) {
    SendMessageW(tray.Window(), kTrayCallbackMessage, 0,
                 static_cast<LPARAM>(MAKELONG(event, kTrayIconId)));
  };
  for (const UINT event : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}})
    send(event);
  EXPECT_EQ(clicks, 1);
  for (const UINT event :
       {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}, UINT{WM_LBUTTONDBLCLK}, UINT{WM_LBUTTONUP}})
    send(event);
  EXPECT_EQ(clicks, 2);
  send(WM_LBUTTONUP);  // a release without a press on the icon
  EXPECT_EQ(clicks, 2);
  // A right click with an empty menu shows nothing and returns.
  send(WM_CONTEXTMENU);

  // Explorer restarted: the new one knows no icon until it is added again.
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = tray.Window();
  data.uID = kTrayIconId;
  Shell_NotifyIconW(NIM_DELETE, &data);
  SendMessageW(tray.Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(ShellHas(tray.Window(), kTrayIconId));
  EXPECT_TRUE(tray.Visible());

  tray.Hide();
  EXPECT_FALSE(tray.Visible());
  EXPECT_FALSE(ShellHas(tray.Window(), kTrayIconId));
  // Hidden, it stays hidden when the taskbar comes back.
  SendMessageW(tray.Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_FALSE(ShellHas(tray.Window(), kTrayIconId));
}

}  // namespace
}  // namespace velloc::platform::win32
