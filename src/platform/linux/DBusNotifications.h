// INotifications on Linux: org.freedesktop.Notifications on the session bus. Each notification
// carries the "default" action, so activating it is reported as a click; the service's id is
// kept per name so that a later notification of that name replaces the one on screen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "platform/Notifications.h"

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;

namespace velloc::platform {

class TDBusNotifications final : public INotifications {
 public:
  // `appName` and `appIcon` (an icon name or path; empty for none) go with every notification.
  TDBusNotifications(std::string appName, std::string appIcon);
  ~TDBusNotifications() override;
  TDBusNotifications(const TDBusNotifications&) = delete;
  TDBusNotifications& operator=(const TDBusNotifications&) = delete;

  void Present(const TNotification& notification, std::function<void(bool shown)> done) override;
  void SetOnClick(std::function<void(const std::string& name)> onClick) override;

  // From the service (public for the C callbacks). `id` is 0 when nothing was shown.
  void Shown(const std::string& name, std::uint32_t id);
  void ActionInvoked(std::uint32_t id, const std::string& action);
  void Closed(std::uint32_t id);

 private:
  using TDone = std::function<void(bool shown)>;
  bool Connect();
  void Send(const TNotification& notification, TDone done);

  std::string FAppName, FAppIcon;
  GCancellable* FCancellable;
  GDBusConnection* FBus = nullptr;
  unsigned FActionSubscription = 0, FClosedSubscription = 0;
  std::map<std::string, std::uint32_t> FIds;    // the notification on screen, by name
  std::map<std::uint32_t, std::string> FNames;  // and back
  // Names whose Notify has not been answered yet, with the notifications of that name that wait
  // for it: they need the id it will answer to replace that one.
  std::map<std::string, std::deque<std::pair<TNotification, TDone>>> FWaiting;
  std::function<void(const std::string& name)> FOnClick;
};

}  // namespace velloc::platform
