// Parses arbitrary bytes as a configuration and reads every key the runtime knows, the listings
// that `velloc info` prints and the packer's checks.
#include <cstddef>
#include <cstdint>
#include <span>

#include "config/AppKeys.h"
#include "config/ConfigCheck.h"
#include "config/ProjectIni.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velloc::config;
  TProjectIni ini;
  ini.LoadFromBytes(std::span<const std::uint8_t>(data, size));
  for (const ConfigKey& key : kConfigKeys)
    (void)AppKeyValueText(ini, key);
  (void)CheckConfiguration(DecodeIniText(std::span<const std::uint8_t>(data, size)));
  (void)WebviewArgumentLine(ini);
  for (const auto& section : ini.ReadSections()) {
    for (const auto& key : ini.ReadSection(section)) {
      (void)ini.ReadInteger(section, key, 0);
      (void)ini.ReadBool(section, key, true);
    }
  }
  return 0;
}
