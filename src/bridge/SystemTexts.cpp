#include "bridge/SystemTexts.h"

#include <cstdint>
#include <cstdio>

#include "core/Text.h"

namespace velloc::bridge {

std::string SystemErrorText(std::string_view message) {
  std::size_t end = message.size();
  while (end > 0) {
    const auto c = static_cast<std::uint8_t>(message[end - 1]);
    if (c > 32 && c != 127 && c != '.') break;
    --end;
  }
  return std::string(message.substr(0, end));
}

bool IsBlankTitle(std::string_view title) {
  return text::TrimControl(title).empty();
}

std::optional<std::string> MacAddressEntry(const platform::TNetworkAdapter& adapter) {
  std::uint8_t bytes[6] = {};
  bool allZero = true;
  for (std::size_t i = 0; i < 6 && i < adapter.Address.size(); ++i) {
    bytes[i] = adapter.Address[i];
    allZero = allZero && bytes[i] == 0;
  }
  if (allZero) return std::nullopt;
  const char letter = adapter.Kind == platform::TLinkKind::Ethernet   ? 'E'
                      : adapter.Kind == platform::TLinkKind::Wireless ? 'W'
                                                                      : 'U';
  char entry[32];
  std::snprintf(entry, sizeof entry, "%c,%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", letter, bytes[0], bytes[1],
                bytes[2], bytes[3], bytes[4], bytes[5]);
  return std::string(entry);
}

std::string CommandOutputText(std::string_view bytes) {
  std::string kept;
  kept.reserve(bytes.size());
  for (const char c : bytes) {
    if (c != '\0') kept += c;
  }
  if (text::IsValidUtf8(kept)) return kept;
  return text::Windows1252ToUtf8(kept);
}

}  // namespace velloc::bridge
