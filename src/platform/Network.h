// The machine's network adapters as their hardware addresses.
#pragma once

#include <cstdint>
#include <vector>

namespace velloc::platform {

enum class TLinkKind { Ethernet, Wireless, Other };

struct TNetworkAdapter {
  TLinkKind Kind = TLinkKind::Other;
  std::vector<std::uint8_t> Address;  // the hardware address as the system reports it
};

class INetwork {
 public:
  virtual ~INetwork() = default;
  // Every adapter in the order the system lists them.
  virtual std::vector<TNetworkAdapter> Adapters() const = 0;
};

}  // namespace velloc::platform
