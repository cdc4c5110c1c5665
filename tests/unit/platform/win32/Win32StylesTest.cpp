// The styles on Win32: the colours a style gives the system colours and the controls, the title
// bar attributes for the desktop window manager, and a switch that reaches every window of the
// thread (title bar at once, the style message posted to visible windows and sent to hidden ones).
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/BuiltinStyles.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

const TStyleDefinition& Style(std::string_view name) {
  for (const TStyleDefinition& style : bridge::BuiltinStyles())
    if (style.Name == name) return style;
  throw std::runtime_error("no style");
}

TEST(Win32Styles, ColoursOfTheActiveStyle) {
  const COLORREF systemFace = GetSysColor(COLOR_BTNFACE);
  {
    TWin32StyleEngine engine;
    EXPECT_EQ(ActiveStyle(), nullptr);
    ASSERT_TRUE(engine.LoadStyle(Style("Carbon")));
    engine.ActivateStyle(&Style("Carbon"));
    ASSERT_NE(ActiveStyle(), nullptr);
    const TStyleScheme& s = ActiveStyle()->Colors;
    EXPECT_EQ(s.Background, 0x1F1F1Fu);
    EXPECT_EQ(StyledSysColor(COLOR_BTNFACE), ColorRef(s.Background));
    EXPECT_EQ(StyledSysColor(COLOR_WINDOW), ColorRef(s.Surface));
    EXPECT_EQ(StyledSysColor(COLOR_WINDOWTEXT), ColorRef(s.Text));
    EXPECT_EQ(StyledSysColor(COLOR_HOTLIGHT), ColorRef(s.Selection));  // the busy form's default
    EXPECT_EQ(StyledSysColor(COLOR_SCROLLBAR), GetSysColor(COLOR_SCROLLBAR));  // not styled
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH edit = StyledControlColor(WM_CTLCOLOREDIT, dc);
    EXPECT_EQ(GetTextColor(dc), ColorRef(s.Text));
    EXPECT_EQ(GetBkColor(dc), ColorRef(s.Surface));
    LOGBRUSH brush{};
    ASSERT_TRUE(GetObjectW(edit, sizeof brush, &brush));
    EXPECT_EQ(brush.lbColor, ColorRef(s.Surface));
    StyledControlColor(WM_CTLCOLORDLG, dc);
    EXPECT_EQ(GetBkColor(dc), ColorRef(s.Background));
    DeleteDC(dc);
    // A style never loaded is not activated.
    engine.ActivateStyle(&Style("Luna"));
    EXPECT_EQ(ActiveStyle()->Colors.Background, 0x1F1F1Fu);
    engine.ActivateStyle(nullptr);
    EXPECT_EQ(ActiveStyle(), nullptr);
    EXPECT_EQ(StyledSysColor(COLOR_BTNFACE), systemFace);
    EXPECT_EQ(StyledControlColor(WM_CTLCOLOREDIT, nullptr), nullptr);
    engine.ActivateStyle(&Style("Carbon"));
  }
  // The engine gone, the system's look is back.
  EXPECT_EQ(ActiveStyle(), nullptr);
}

TEST(Win32Styles, TitleBarAttributes) {
  const auto values = [](const std::vector<TDwmAttribute>& attributes) {
    std::map<DWORD, std::uint32_t> out;
    for (const TDwmAttribute& a : attributes)
      out[a.Attribute] = a.Value;
    return out;
  };
  EXPECT_EQ(values(TitleBarAttributes(nullptr)),
            (std::map<DWORD, std::uint32_t>{{kDwmUseImmersiveDarkMode, 0},
                                            {kDwmBorderColor, kDwmColorDefault},
                                            {kDwmCaptionColor, kDwmColorDefault},
                                            {kDwmTextColor, kDwmColorDefault}}));
  const TStyleScheme dark = DeriveScheme(Style("Carbon").Palette);
  EXPECT_EQ(values(TitleBarAttributes(&dark)),
            (std::map<DWORD, std::uint32_t>{{kDwmUseImmersiveDarkMode, 1},
                                            {kDwmBorderColor, ColorRef(dark.Border)},
                                            {kDwmCaptionColor, ColorRef(dark.Bar)},
                                            {kDwmTextColor, ColorRef(dark.BarText)}}));
  const TStyleScheme light = DeriveScheme(Style("Sky").Palette);
  EXPECT_EQ(values(TitleBarAttributes(&light))[kDwmUseImmersiveDarkMode], 0u);
  // Dark mode goes first: it decides the caption buttons' colours.
  EXPECT_EQ(TitleBarAttributes(&dark).front().Attribute, kDwmUseImmersiveDarkMode);
}

// A window that counts the style messages it gets.
struct TCounted {
  int Messages = 0;
};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == StyleChangedMessage()) {
    ++reinterpret_cast<TCounted*>(GetWindowLongPtrW(window, GWLP_USERDATA))->Messages;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(Win32Styles, ASwitchReachesEveryWindowOfTheThread) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"VellocStyleTestWindow";
  RegisterClassW(&windowClass);
  HWND shown = CreateWindowExW(0, windowClass.lpszClassName, L"shown", WS_OVERLAPPEDWINDOW, 0, 0,
                               200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  HWND hidden = CreateWindowExW(0, windowClass.lpszClassName, L"hidden", WS_OVERLAPPEDWINDOW, 0, 0,
                                200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!shown || !hidden) GTEST_SKIP() << "no display";
  TCounted shownCount, hiddenCount;
  SetWindowLongPtrW(shown, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&shownCount));
  SetWindowLongPtrW(hidden, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&hiddenCount));
  ShowWindow(shown, SW_SHOWNOACTIVATE);

  std::map<HWND, std::map<DWORD, std::uint32_t>> calls;
  {
    TWin32StyleEngine engine([&](HWND window, DWORD attribute, const void* value, DWORD size) {
      EXPECT_EQ(size, 4u);
      calls[window][attribute] = *static_cast<const std::uint32_t*>(value);
      return S_OK;
    });
    ASSERT_TRUE(engine.LoadStyle(Style("Carbon")));
    engine.ActivateStyle(&Style("Carbon"));
    // The hidden window at once; the shown one once its messages are handled.
    EXPECT_EQ(hiddenCount.Messages, 1);
    EXPECT_EQ(shownCount.Messages, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    EXPECT_EQ(shownCount.Messages, 1);
    for (HWND window : {shown, hidden}) {
      EXPECT_EQ(calls[window][kDwmUseImmersiveDarkMode], 1u);
      EXPECT_EQ(calls[window][kDwmCaptionColor], ColorRef(ActiveStyle()->Colors.Bar));
    }
    // The same style again changes nothing.
    engine.ActivateStyle(&Style("Carbon"));
    EXPECT_EQ(hiddenCount.Messages, 1);
  }
  // Back to the system's look when the engine goes.
  EXPECT_EQ(calls[shown][kDwmCaptionColor], kDwmColorDefault);
  EXPECT_EQ(hiddenCount.Messages, 2);
  DestroyWindow(shown);
  DestroyWindow(hidden);
}

}  // namespace
}  // namespace velloc::platform::win32
