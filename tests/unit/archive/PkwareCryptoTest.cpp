#include <algorithm>
#include <utility>

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

// Two streams decrypted side by side (how the entry reader decrypts an interval and the next)
// give the bytes and end states of decrypting each alone, whatever their lengths; a stream also
// resumes from the keys it reached.
TEST(PkwareCipher, TwoStreamsAtOnceAsEachAlone) {
  const Bytes plain = fixtures::SampleText(3000);
  Bytes encrypted = plain;
  PkwareCipher writer("pw");
  writer.Encrypt(encrypted.data(), encrypted.data(), 1000);
  const PkwareKeys middle = writer.Keys();
  writer.Encrypt(encrypted.data() + 1000, encrypted.data() + 1000, 2000);
  for (const auto& [first, second] :
       {std::pair<std::size_t, std::size_t>{1000, 2000}, {1000, 700}, {0, 2000}, {1000, 0}}) {
    PkwareCipher a("pw"), b(middle);
    Bytes out(3000);
    PkwareCipher::DecryptTwo(a, encrypted.data(), out.data(), first, b, encrypted.data() + 1000,
                             out.data() + 1000, second);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(first), plain.begin()));
    EXPECT_TRUE(std::equal(out.begin() + 1000, out.begin() + 1000 + static_cast<long>(second),
                           plain.begin() + 1000));
    PkwareCipher aloneA("pw"), aloneB(middle);
    Bytes scratch(3000);
    aloneA.Decrypt(encrypted.data(), scratch.data(), first);
    aloneB.Decrypt(encrypted.data() + 1000, scratch.data(), second);
    EXPECT_EQ(a.Keys(), aloneA.Keys()) << first << " " << second;
    EXPECT_EQ(b.Keys(), aloneB.Keys()) << first << " " << second;
  }
}

}  // namespace
}  // namespace velloc::archive
