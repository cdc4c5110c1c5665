// Notifications on Win32: the toast's XML and tag, the application's AppUserModelID, and which
// way a notification goes where the system has no toasts (Wine): a balloon of the tray icon
// whose click comes back with the notification's name, or, without a notification area, false.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/Win32Notifications.h"
#include "platform/win32/Win32TrayIcon.h"

// After windows.h, which the headers above bring.
#include <shellapi.h>

namespace velloc::platform::win32 {
namespace {

TEST(Win32Notifications, ToastTextAndTags) {
  EXPECT_EQ(ToastXml("A & B <c>", "\"q\" 'a'\x01\n"),
            L"<toast><visual><binding template=\"ToastGeneric\"><text>A &amp; B &lt;c&gt;</text>"
            L"<text>&quot;q&quot; &apos;a&apos;\n</text></binding></visual></toast>");
  EXPECT_EQ(ToastTag("n-1"), ToastTag("n-1"));
  EXPECT_NE(ToastTag("n-1"), ToastTag("n-2"));
  EXPECT_EQ(ToastTag(std::string(1000, 'x')).size(), 16u);
  EXPECT_EQ(TWin32Notifications::AppUserModelId("MyApp"), L"Velloc.MyApp");
  EXPECT_EQ(TWin32Notifications::AppUserModelId(std::string(300, 'a')).size(), 128u);
  EXPECT_EQ(TrayTipText("abc"), L"abc");
  // 127 UTF-16 units at most, never half of a pair.
  EXPECT_EQ(TrayTipText(std::string(200, 'a')).size(), 127u);
  std::string pairs;
  for (int i = 0; i < 70; ++i)
    pairs += "\xF0\x9F\x98\x80";  // U+1F600, two units each
  EXPECT_EQ(TrayTipText(pairs).size(), 126u);
}

TEST(Win32Notifications, WithoutToastsABalloonWhoseClickComesBack) {
  TWin32TrayIcon tray;
  if (!tray.Window()) GTEST_SKIP() << "no display";
  std::vector<std::string> clicked;
  TWin32Notifications notifications("VellocNotificationTest", "Notification test", &tray);
  notifications.SetOnClick([&](const std::string& name) { clicked.push_back(name); });
  std::vector<bool> answers;
  notifications.Present({"n\"1", "Title", "Body"}, [&](bool shown) { answers.push_back(shown); });
  ASSERT_EQ(answers.size(), 1u);
  const std::string path = notifications.LastPath();
  if (path == "toast") GTEST_SKIP() << "the system has toasts; see docs/ManualChecks.md";
  ASSERT_EQ(path, "balloon");
  EXPECT_TRUE(answers[0]);
  // What the shell sends when the user clicks the balloon (Wine's never does).
  PostMessageW(tray.Window(), kTrayCallbackMessage, 0,
               MAKELPARAM(NIN_BALLOONUSERCLICK, kBalloonIconId));
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&message);
  EXPECT_EQ(clicked, std::vector<std::string>{"n\"1"});
}

TEST(Win32Notifications, NowhereToShowItAnswersFalse) {
  TWin32Notifications notifications("VellocNotificationTest", "Notification test", nullptr);
  std::vector<bool> answers;
  notifications.Present({"n", "Title", "Body"}, [&](bool shown) { answers.push_back(shown); });
  if (std::string(notifications.LastPath()) == "toast") GTEST_SKIP() << "the system has toasts";
  EXPECT_EQ(answers, std::vector<bool>{false});
}

}  // namespace
}  // namespace velloc::platform::win32
