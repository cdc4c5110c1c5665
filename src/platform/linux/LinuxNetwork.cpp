#include "platform/linux/LinuxNetwork.h"

#include <ifaddrs.h>
#include <string>

#include <linux/if_arp.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace velloc::platform {
namespace {

bool IsWireless(const char* name) {
  struct stat info {};
  return ::stat((std::string("/sys/class/net/") + name + "/wireless").c_str(), &info) == 0;
}

}  // namespace

std::vector<TNetworkAdapter> TLinuxNetwork::Adapters() const {
  std::vector<TNetworkAdapter> adapters;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return adapters;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    TNetworkAdapter adapter;
    if (link->sll_hatype == ARPHRD_ETHER) {
      adapter.Kind = IsWireless(entry->ifa_name) ? TLinkKind::Wireless : TLinkKind::Ethernet;
    }
    const std::size_t length =
        link->sll_halen < sizeof link->sll_addr ? link->sll_halen : sizeof link->sll_addr;
    adapter.Address.assign(link->sll_addr, link->sll_addr + length);
    adapters.push_back(std::move(adapter));
  }
  ::freeifaddrs(list);
  return adapters;
}

}  // namespace velloc::platform
