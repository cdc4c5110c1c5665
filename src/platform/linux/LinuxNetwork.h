// INetwork on Linux: the packet-level addresses getifaddrs lists; an adapter is wireless when
// sysfs says so.
#pragma once

#include "platform/Network.h"

namespace velloc::platform {

class TLinuxNetwork final : public INetwork {
 public:
  std::vector<TNetworkAdapter> Adapters() const override;
};

}  // namespace velloc::platform
