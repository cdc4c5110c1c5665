#include "package/DevelopmentPackage.h"

#include <charconv>

#include "core/Text.h"

namespace velloc::package {
namespace {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// 127.0.0.0/8 in dotted decimal, four parts of at most three digits below 256.
bool IsLoopbackIpv4(std::string_view host) {
  int parts = 0;
  while (!host.empty()) {
    const std::string_view part = host.substr(0, host.find('.'));
    host.remove_prefix(std::min(host.size(), part.size() + 1));
    unsigned value = 256;
    if (!IsDigits(part) || part.size() > 3 ||
        std::from_chars(part.data(), part.data() + part.size(), value).ec != std::errc() ||
        value > 255 || (parts == 0 && value != 127)) {
      return false;
    }
    ++parts;
  }
  return parts == 4;
}

}  // namespace

std::string LoopbackOrigin(std::string_view url) {
  const std::string scheme = text::AsciiLower(url.substr(0, url.find(':')));
  if (scheme != "http" && scheme != "https") return {};
  std::string_view rest = url.substr(scheme.size() + 1);
  if (!rest.starts_with("//")) return {};
  rest.remove_prefix(2);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return {};
  std::string_view host = authority;
  std::string_view port;
  if (host.starts_with('[')) {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return {};
    port = host.substr(close + 1);
    host = host.substr(0, close + 1);
    if (!port.empty() && !port.starts_with(':')) return {};
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    port = host.substr(colon);
    host = host.substr(0, colon);
  }
  const std::string lowerHost = text::AsciiLower(host);
  if (lowerHost != "localhost" && lowerHost != "[::1]" && !IsLoopbackIpv4(lowerHost)) return {};
  if (!port.empty()) {
    port.remove_prefix(1);
    unsigned number = 0;
    if (!IsDigits(port) || port.size() > 5 ||
        std::from_chars(port.data(), port.data() + port.size(), number).ec != std::errc() ||
        number == 0 || number > 65535) {
      return {};
    }
    const unsigned defaultPort = scheme == "http" ? 80 : 443;
    port = number == defaultPort ? std::string_view() : port;
    // Leading zeros name the same port; the web view writes it without them.
    while (port.size() > 1 && port.front() == '0')
      port.remove_prefix(1);
  }
  std::string origin = scheme + "://" + lowerHost;
  if (!port.empty()) {
    origin += ':';
    origin += port;
  }
  return origin;
}

}  // namespace velloc::package
