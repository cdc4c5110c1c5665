#include "archive/PkwareCrypto.h"

#include <algorithm>
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

// Tables derived from the CRC table for the decryption loop (see Decrypt).
template <typename T, typename F>
constexpr std::array<T, 256> DeriveTable(F f) {
  std::array<T, 256> table{};
  for (std::size_t i = 0; i < 256; ++i)
    table[i] = static_cast<T>(f(kCrcTable[i]));
  return table;
}
constexpr auto kCrcLowByte = DeriveTable<std::uint8_t>([](std::uint32_t v) { return v & 0xFFu; });
constexpr auto kStreamOdd = DeriveTable<std::uint32_t>([](std::uint32_t v) { return v | 3u; });
constexpr auto kStreamEven =
    DeriveTable<std::uint32_t>([](std::uint32_t v) { return (v | 3u) ^ 1u; });

// An empty assembler statement that claims to change `value`: the compiler must compute it where
// it stands and cannot merge it into later expressions.
inline void OpaqueToCompiler([[maybe_unused]] std::uint32_t& value) {
#if defined(__GNUC__)
  asm("" : "+r"(value));
#endif
}

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

// Decryption feeds every plain byte back into the keys, so each byte waits for the previous one:
// stream byte -> key 0 -> key 1 -> key 2 -> next stream byte. The loop keeps that chain as short
// as the arithmetic allows and computes everything else beside it:
// - the stream byte needs only bits 2-15 of key 2 with bits 0 and 1 forced, and it equals bits
//   8-15 of s * (s - 1) with s = key2 | 3. Both factors come straight from two tables derived
//   from the CRC table (the "| 3" and "^ 1" folded in), since (T ^ x) | 3 == (T | 3) ^ (x & ~3);
// - key 1 needs only the low byte of the new key 0, read from a byte table;
// - (key1 + low) * C + 1 is split so that key1 * C + 1 is ready before `low` is.
// OpaqueToCompiler keeps the compiler from folding those early values back into the chain.
namespace {

// One decryption stream's state inside the loop.
struct TStream {
  std::uint32_t K0, K1, K2, S, S1;
  explicit TStream(const PkwareKeys& keys)
      : K0(keys.Key0), K1(keys.Key1), K2(keys.Key2), S(keys.Key2 | 3u), S1((keys.Key2 | 3u) ^ 1u) {}
  PkwareKeys Keys() const { return {K0, K1, K2}; }

  inline void Step(std::uint8_t in, std::uint8_t& out) {
    const std::uint32_t c = in;
    const std::uint32_t k0High = K0 >> 8;
    const std::uint32_t k2High = K2 >> 8;
    std::uint32_t mixed = (c ^ K0) << 8;
    std::uint32_t k0HighLow = k0High & 0xFFu;
    std::uint32_t k2Low = K2 & 0xFFu;
    std::uint32_t k1Base = K1 * kMultiplier + 1u;
    std::uint32_t k2HighMasked = k2High & ~3u;
    OpaqueToCompiler(mixed);
    OpaqueToCompiler(k0HighLow);
    OpaqueToCompiler(k2Low);
    OpaqueToCompiler(k1Base);
    OpaqueToCompiler(k2HighMasked);

    const std::uint32_t product = S * S1;  // stream byte in bits 8-15
    out = static_cast<std::uint8_t>((product >> 8) ^ c);
    const std::uint32_t k0Index = ((product ^ mixed) >> 8) & 0xFFu;  // (plain ^ k0) & 0xFF
    K0 = kCrcTable[k0Index] ^ k0High;
    K1 = k1Base + (kCrcLowByte[k0Index] ^ k0HighLow) * kMultiplier;
    const std::uint32_t k2Index = (K1 >> 24) ^ k2Low;
    K2 = kCrcTable[k2Index] ^ k2High;
    S = kStreamOdd[k2Index] ^ k2HighMasked;
    S1 = kStreamEven[k2Index] ^ k2HighMasked;
  }
};

}  // namespace

void PkwareCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  TStream stream(Keys());
  for (std::size_t i = 0; i < size; ++i)
    stream.Step(in[i], out[i]);
  const PkwareKeys keys = stream.Keys();
  FKey0 = keys.Key0;
  FKey1 = keys.Key1;
  FKey2 = keys.Key2;
}

void PkwareCipher::DecryptTwo(PkwareCipher& first, const std::uint8_t* firstIn,
                              std::uint8_t* firstOut, std::size_t firstSize, PkwareCipher& second,
                              const std::uint8_t* secondIn, std::uint8_t* secondOut,
                              std::size_t secondSize) {
  TStream a(first.Keys()), b(second.Keys());
  const std::size_t both = std::min(firstSize, secondSize);
  for (std::size_t i = 0; i < both; ++i) {
    a.Step(firstIn[i], firstOut[i]);
    b.Step(secondIn[i], secondOut[i]);
  }
  for (std::size_t i = both; i < firstSize; ++i)
    a.Step(firstIn[i], firstOut[i]);
  for (std::size_t i = both; i < secondSize; ++i)
    b.Step(secondIn[i], secondOut[i]);
  first = PkwareCipher(a.Keys());
  second = PkwareCipher(b.Keys());
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
