// Desktop notifications and the user's clicks on them.
#pragma once

#include <functional>
#include <string>

namespace velloc::platform {

struct TNotification {
  std::string Name;  // identifies it: a later one of the same name replaces it
  std::string Title;
  std::string AlertBody;
};

class INotifications {
 public:
  virtual ~INotifications() = default;
  // Shows the notification at once. `done` is called once on the UI thread: true when shown,
  // false when the system offers no notification service.
  virtual void Present(const TNotification& notification, std::function<void(bool shown)> done) = 0;
  // Called on the UI thread with the name of a notification the user activated; null stops it.
  virtual void SetOnClick(std::function<void(const std::string& name)> onClick) = 0;
};

}  // namespace velloc::platform
