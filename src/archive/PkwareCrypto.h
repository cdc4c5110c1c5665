// Traditional PKWARE encryption (APPNOTE section 6.1): three 32-bit keys driven by a CRC-32
// table step and a linear congruential step. Weak by today's standards; it is what the package
// format and every unzip tool understand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velloc::archive {

// Every encrypted entry starts with this many encrypted header bytes before its data.
inline constexpr std::size_t kPkwareHeaderSize = 12;

// The cipher's whole state: decryption can start anywhere in an entry from the keys that
// encryption had reached there.
struct PkwareKeys {
  std::uint32_t Key0 = 0;
  std::uint32_t Key1 = 0;
  std::uint32_t Key2 = 0;
  friend bool operator==(const PkwareKeys&, const PkwareKeys&) = default;
};

class PkwareCipher {
 public:
  // Keys initialised and then updated with the password's bytes.
  explicit PkwareCipher(std::string_view password);
  // Resumes a stream at a state taken with Keys().
  explicit PkwareCipher(const PkwareKeys& keys)
      : FKey0(keys.Key0), FKey1(keys.Key1), FKey2(keys.Key2) {}

  PkwareKeys Keys() const { return {FKey0, FKey1, FKey2}; }

  // In-place and separate buffers both work (`out` may equal `in`, but must not overlap
  // otherwise). The key state advances, so consecutive calls continue one stream.
  void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size);
  void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size);
  void Decrypt(std::span<std::uint8_t> data) { Decrypt(data.data(), data.data(), data.size()); }
  void Encrypt(std::span<std::uint8_t> data) { Encrypt(data.data(), data.data(), data.size()); }

  // Decrypts two independent streams at once (two intervals of an entry, each from its own
  // key state): each byte waits for the one before it in its own stream only, so the processor
  // runs both chains side by side in little more time than one.
  static void DecryptTwo(PkwareCipher& first, const std::uint8_t* firstIn, std::uint8_t* firstOut,
                         std::size_t firstSize, PkwareCipher& second, const std::uint8_t* secondIn,
                         std::uint8_t* secondOut, std::size_t secondSize);

  // Decrypts an entry's 12-byte header and returns its last byte, the check byte.
  std::uint8_t DecryptHeader(std::span<const std::uint8_t, kPkwareHeaderSize> header);

 private:
  void Update(std::uint8_t plain);

  std::uint32_t FKey0 = 0x12345678u;
  std::uint32_t FKey1 = 0x23456789u;
  std::uint32_t FKey2 = 0x34567890u;
};

}  // namespace velloc::archive
