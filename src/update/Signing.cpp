#include "update/Signing.h"

#include <algorithm>
#include <stdexcept>

#include <sodium/core.h>
#include <sodium/crypto_sign_ed25519.h>
#include <sodium/utils.h>

namespace velloc::update {
namespace {

constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

}  // namespace

TSha256::TSha256() {
  crypto_hash_sha256_init(&FState);
}

void TSha256::Update(std::span<const std::uint8_t> bytes) {
  crypto_hash_sha256_update(&FState, bytes.data(), bytes.size());
}

TDigest TSha256::Final() {
  TDigest digest{};
  crypto_hash_sha256_final(&FState, digest.data());
  return digest;
}

TDigest Sha256(std::span<const std::uint8_t> bytes) {
  TSha256 hash;
  hash.Update(bytes);
  return hash.Final();
}

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  const auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = value(text[i]), low = value(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string Base64Text(std::span<const std::uint8_t> bytes) {
  std::string text(sodium_base64_encoded_len(bytes.size(), kBase64), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), kBase64);
  text.resize(text.size() - 1);  // the terminating NUL
  return text;
}

std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text) {
  std::vector<std::uint8_t> bytes(text.size() / 4 * 3 + 3);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, kBase64) != 0 ||
      end != text.data() + text.size())
    return std::nullopt;
  bytes.resize(length);
  return bytes;
}

std::optional<TPublicKey> PublicKeyFromText(std::string_view text) {
  const auto bytes = FromBase64(text);
  if (!bytes || bytes->size() != TPublicKey{}.size()) return std::nullopt;
  TPublicKey key{};
  std::copy(bytes->begin(), bytes->end(), key.begin());
  return key;
}

bool VerifySignature(std::span<const std::uint8_t> message, const TSignature& signature,
                     const TPublicKey& key) {
  return crypto_sign_ed25519_verify_detached(signature.data(), message.data(), message.size(),
                                             key.data()) == 0;
}

TKeyPair NewKeyPair() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  TKeyPair pair;
  crypto_sign_ed25519_keypair(pair.Public.data(), pair.Secret.data());
  return pair;
}

std::optional<TKeyPair> KeyPairFromSecret(std::span<const std::uint8_t> secret) {
  if (secret.size() != TSecretKey{}.size()) return std::nullopt;
  TKeyPair pair;
  // The pair is made again from the seed, so a damaged key file is told apart from a good one.
  std::array<std::uint8_t, crypto_sign_ed25519_SEEDBYTES> seed{};
  std::copy_n(secret.begin(), seed.size(), seed.begin());
  crypto_sign_ed25519_seed_keypair(pair.Public.data(), pair.Secret.data(), seed.data());
  sodium_memzero(seed.data(), seed.size());
  if (!std::equal(pair.Secret.begin(), pair.Secret.end(), secret.begin())) return std::nullopt;
  return pair;
}

TSignature Sign(std::span<const std::uint8_t> message, const TSecretKey& secret) {
  TSignature signature{};
  crypto_sign_ed25519_detached(signature.data(), nullptr, message.data(), message.size(),
                               secret.data());
  return signature;
}

}  // namespace velloc::update
