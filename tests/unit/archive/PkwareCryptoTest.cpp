#include <gtest/gtest.h>

#include "ZipFixtures.h"
#include "archive/PkwareCrypto.h"

namespace velloc::archive {
namespace {

using fixtures::Bytes;

// The cipher is a stream: pieces must continue where the previous call stopped, and decryption
// must undo encryption for every split.
TEST(PkwareCipher, RoundTripsAcrossAnySplit) {
  const Bytes plain = fixtures::SampleText(1000);
  Bytes encrypted = plain;
  PkwareCipher(" pass word ").Encrypt(encrypted);
  EXPECT_NE(encrypted, plain);
  for (const std::size_t split : {0u, 1u, 12u, 999u, 1000u}) {
    PkwareCipher cipher(" pass word ");
    Bytes out(plain.size());
    cipher.Decrypt(encrypted.data(), out.data(), split);
    cipher.Decrypt(encrypted.data() + split, out.data() + split, plain.size() - split);
    EXPECT_EQ(out, plain) << split;
  }
  Bytes wrong = encrypted;
  PkwareCipher("pass word").Decrypt(wrong);
  EXPECT_NE(wrong, plain);
}

}  // namespace
}  // namespace velloc::archive
