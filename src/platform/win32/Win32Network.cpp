#include "platform/win32/Win32Network.h"

#include <algorithm>
#include <cstdint>

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

namespace velloc::platform {

std::vector<TNetworkAdapter> TWin32Network::FromAdapterInfo(const IP_ADAPTER_INFO* list) {
  std::vector<TNetworkAdapter> adapters;
  for (const IP_ADAPTER_INFO* info = list; info != nullptr; info = info->Next) {
    TNetworkAdapter adapter;
    adapter.Kind = info->Type == MIB_IF_TYPE_ETHERNET ? TLinkKind::Ethernet
                   : info->Type == IF_TYPE_IEEE80211  ? TLinkKind::Wireless
                                                      : TLinkKind::Other;
    const std::size_t length =
        std::min<std::size_t>(info->AddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
    adapter.Address.assign(info->Address, info->Address + length);
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

std::vector<TNetworkAdapter> TWin32Network::Adapters() const {
  // The size the system asks for, asked again while adapters come and go; a buffer sized by
  // the interface count alone is too small whenever an adapter has several addresses.
  ULONG size = 0;
  std::vector<std::uint8_t> buffer;
  ULONG result = ::GetAdaptersInfo(nullptr, &size);
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size, 0);
    result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (result != ERROR_SUCCESS || buffer.empty()) return {};
  return FromAdapterInfo(reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()));
}

}  // namespace velloc::platform
