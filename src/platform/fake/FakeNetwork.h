// Fake of the network adapters: the list a test sets.
#pragma once

#include <vector>

#include "platform/Network.h"

namespace velloc::platform::fake {

class TFakeNetwork : public INetwork {
 public:
  std::vector<TNetworkAdapter> List;
  std::vector<TNetworkAdapter> Adapters() const override { return List; }
};

}  // namespace velloc::platform::fake
