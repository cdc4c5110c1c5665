// INetwork on Windows: the adapters that GetAdaptersInfo reports, in its order.
#pragma once

#include <vector>

#include "platform/Network.h"

struct _IP_ADAPTER_INFO;

namespace velloc::platform {

class TWin32Network final : public INetwork {
 public:
  std::vector<TNetworkAdapter> Adapters() const override;

  // The adapters of a list as GetAdaptersInfo fills it: Ethernet (type 6) and IEEE 802.11
  // (type 71) by their kinds, anything else as other.
  static std::vector<TNetworkAdapter> FromAdapterInfo(const _IP_ADAPTER_INFO* list);
};

}  // namespace velloc::platform
