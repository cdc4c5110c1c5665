// Desktop notifications on Win32. Where the system has toast notifications (Windows 10 and 11) a
// notification is a toast of the application's own AppUserModelID, "Velloc." followed by the
// application's ID, registered for the user below HKCU\Software\Classes\AppUserModelId with the
// application's name on first use (an unpackaged application needs no shortcut then). A toast is
// tagged by its name, so a second one of the same name replaces the first; a click on a toast is
// reported on the user-interface thread while the application runs.
//
// Where toasts are missing (older systems, Wine), a notification is a balloon of the tray icon
// (TWin32TrayIcon), whose click is reported the same way; without a notification area either,
// nothing shows and the answer is false.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <windows.h>

#include "platform/Notifications.h"

namespace velloc::platform::win32 {

class TWin32TrayIcon;
class TToastNotifier;

class TWin32Notifications final : public INotifications {
 public:
  // `balloons`: where notifications go without toasts; may be null.
  TWin32Notifications(std::string appId, std::string appName, TWin32TrayIcon* balloons);
  ~TWin32Notifications() override;
  TWin32Notifications(const TWin32Notifications&) = delete;
  TWin32Notifications& operator=(const TWin32Notifications&) = delete;

  void Present(const TNotification& notification, std::function<void(bool shown)> done) override;
  void SetOnClick(std::function<void(const std::string& name)> onClick) override {
    FOnClick = std::move(onClick);
  }

  // The AppUserModelID of an application ID.
  static std::wstring AppUserModelId(const std::string& appId);
  // Which way the last notification went, for tests: "toast", "balloon" or "none".
  const char* LastPath() const { return FLastPath; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool ShowToast(const TNotification& notification);
  void Clicked(const std::string& name);

  std::string FAppId;
  std::string FAppName;
  TWin32TrayIcon* FBalloons;
  HWND FWindow = nullptr;  // where clicks from the system's threads arrive
  std::unique_ptr<TToastNotifier> FToasts;
  bool FToastsTried = false;
  WPARAM FSerial = 0;                    // numbers the toasts shown
  std::map<WPARAM, std::string> FNames;  // the names of the toasts whose clicks count
  const char* FLastPath = "none";
  std::function<void(const std::string&)> FOnClick;
};

// The toast's XML: the title as heading, the body as text, both escaped.
std::wstring ToastXml(const std::string& title, const std::string& body);
// The tag of a notification name: short enough for every Windows 10, the same for the same name.
std::wstring ToastTag(const std::string& name);

}  // namespace velloc::platform::win32
