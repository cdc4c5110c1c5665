#include "archive/PkwareCrypto.h"

#include <array>

namespace velloc::archive {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k)
      c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
constexpr std::uint32_t kMultiplier = 134775813u;

inline std::uint32_t CrcStep(std::uint32_t crc, std::uint32_t byte) {
  return kCrcTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}

inline std::uint8_t StreamByte(std::uint32_t key2) {
  const std::uint32_t t = (key2 | 2u) & 0xFFFFu;
  return static_cast<std::uint8_t>((t * (t ^ 1u)) >> 8);
}

}  // namespace

PkwareCipher::PkwareCipher(std::string_view password) {
  for (const char c : password)
    Update(static_cast<std::uint8_t>(c));
}

void PkwareCipher::Update(std::uint8_t plain) {
  FKey0 = CrcStep(FKey0, plain);
  FKey1 = (FKey1 + (FKey0 & 0xFFu)) * kMultiplier + 1u;
  FKey2 = CrcStep(FKey2, FKey1 >> 24);
}

// The key state is a serial chain through every byte, so the loop keeps the keys in registers
// and leaves the rest to the CPU; the chain (multiply, two table loads) bounds the speed.
void PkwareCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  std::uint32_t k0 = FKey0, k1 = FKey1, k2 = FKey2;
  for (std::size_t i = 0; i < size; ++i) {
    const auto plain = static_cast<std::uint8_t>(in[i] ^ StreamByte(k2));
    out[i] = plain;
    k0 = CrcStep(k0, plain);
    k1 = (k1 + (k0 & 0xFFu)) * kMultiplier + 1u;
    k2 = CrcStep(k2, k1 >> 24);
  }
  FKey0 = k0;
  FKey1 = k1;
  FKey2 = k2;
}

void PkwareCipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  std::uint32_t k0 = FKey0, k1 = FKey1, k2 = FKey2;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t plain = in[i];
    out[i] = static_cast<std::uint8_t>(plain ^ StreamByte(k2));
    k0 = CrcStep(k0, plain);
    k1 = (k1 + (k0 & 0xFFu)) * kMultiplier + 1u;
    k2 = CrcStep(k2, k1 >> 24);
  }
  FKey0 = k0;
  FKey1 = k1;
  FKey2 = k2;
}

std::uint8_t PkwareCipher::DecryptHeader(std::span<const std::uint8_t, kPkwareHeaderSize> header) {
  std::array<std::uint8_t, kPkwareHeaderSize> plain{};
  Decrypt(header.data(), plain.data(), plain.size());
  return plain.back();
}

}  // namespace velloc::archive
