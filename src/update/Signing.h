// The cryptography of signed updates, with libsodium: Ed25519 signatures, SHA-256 digests and the
// base64 and hexadecimal texts that carry them in manifests, key files and vlx.ini.
//
// The runtime only verifies and hashes, which needs neither randomness nor sodium_init(); only
// making keys (the packer) does, and calls it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <sodium/crypto_hash_sha256.h>

namespace velloc::update {

using TPublicKey = std::array<std::uint8_t, 32>;
using TSecretKey = std::array<std::uint8_t, 64>;  // libsodium's: the seed, then the public key
using TSignature = std::array<std::uint8_t, 64>;
using TDigest = std::array<std::uint8_t, 32>;

// SHA-256 of bytes that arrive in pieces.
class TSha256 {
 public:
  TSha256();
  void Update(std::span<const std::uint8_t> bytes);
  TDigest Final();

 private:
  crypto_hash_sha256_state FState;
};

TDigest Sha256(std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal, and back (either letter case; no value for any other text).
std::string HexText(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text);

// Standard base64 with padding, and back (no value for any other text, blanks included).
std::string Base64Text(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text);

// A public key from its base64 text (vlx.ini's PublicKey); no value unless it is 32 bytes.
std::optional<TPublicKey> PublicKeyFromText(std::string_view text);

bool VerifySignature(std::span<const std::uint8_t> message, const TSignature& signature,
                     const TPublicKey& key);

// The packer's side.
struct TKeyPair {
  TPublicKey Public{};
  TSecretKey Secret{};
};
// A new pair from the system's random source; throws std::runtime_error when libsodium cannot
// start.
TKeyPair NewKeyPair();
// The pair of a secret key (libsodium's 64 bytes); no value when its public half does not match.
std::optional<TKeyPair> KeyPairFromSecret(std::span<const std::uint8_t> secret);
TSignature Sign(std::span<const std::uint8_t> message, const TSecretKey& secret);

}  // namespace velloc::update
