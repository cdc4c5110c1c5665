// Parses arbitrary bytes as an update manifest and checks what parses against a fixed key, as the
// runtime does before anything is downloaded; and reads them as a version.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "update/UpdateManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velloc::update;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = ParseManifest(text);
  if (const auto* manifest = std::get_if<TUpdateManifest>(&parsed)) {
    std::string why;
    (void)CheckManifest(*manifest, {"app", "linux-x86_64", *TAppVersion::Parse("1.0"), {}}, why);
    (void)IsUpdateUrl(manifest->Url);
  }
  if (const auto version = TAppVersion::Parse(text.substr(0, 80)))
    (void)(*version <=> *TAppVersion::Parse("1.0.0-rc.1"));
  return 0;
}
