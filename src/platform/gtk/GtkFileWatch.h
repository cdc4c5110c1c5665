// Calls back, on the GTK main loop, when a file is written or another file is renamed over it.
// Events that come close together are coalesced into one call.
#pragma once

#include <functional>
#include <string>

typedef struct _GFileMonitor GFileMonitor;

namespace velloc::platform::gtk {

class TGtkFileWatch {
 public:
  TGtkFileWatch(const std::string& path, std::function<void()> changed);
  TGtkFileWatch(const TGtkFileWatch&) = delete;
  TGtkFileWatch& operator=(const TGtkFileWatch&) = delete;
  ~TGtkFileWatch();

 private:
  static void OnChanged(GFileMonitor* monitor, void* file, void* other, int event, void* self);
  static int OnQuiet(void* self);

  std::function<void()> FChanged;
  GFileMonitor* FMonitor = nullptr;
  unsigned FTimer = 0;
};

}  // namespace velloc::platform::gtk
