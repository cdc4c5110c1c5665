// Fake of the notification service: keeps what is on screen by name, as a real service does, and
// lets a test click a notification.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Notifications.h"

namespace velloc::platform::fake {

class TFakeNotifications : public INotifications {
 public:
  bool Supported = true;
  std::vector<TNotification> Presented;        // every notification shown, in order
  std::map<std::string, TNotification> Shown;  // what is on screen, by name
  std::function<void(const std::string& name)> OnClick;

  void Present(const TNotification& notification, std::function<void(bool shown)> done) override {
    if (Supported) {
      Presented.push_back(notification);
      Shown[notification.Name] = notification;
    }
    done(Supported);
  }
  void SetOnClick(std::function<void(const std::string& name)> onClick) override {
    OnClick = std::move(onClick);
  }
  void Click(const std::string& name) {
    if (OnClick) OnClick(name);
  }
};

}  // namespace velloc::platform::fake
