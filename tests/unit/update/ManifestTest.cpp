#include <gtest/gtest.h>

#include "update/Signing.h"
#include "update/UpdateManifest.h"

namespace velloc::update {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Hex(std::string_view text) {
  return *FromHex(text);
}

// RFC 8032's first two Ed25519 test vectors, and SHA-256 of "abc" (FIPS 180-2): the libsodium
// the build compiles itself computes what the standards say.
TEST(SigningTest, StandardVectors) {
  struct Vector {
    const char* Seed;
    const char* Public;
    const char* Message;
    const char* Signature;
  };
  const Vector vectors[] = {
      {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
       "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
       "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701"
       "cf9b46bd25bf5f0595bbe24655141438e7a100b"},
      {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
       "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
       "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d"
       "0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
  };
  for (const Vector& v : vectors) {
    std::vector<std::uint8_t> secret = Hex(v.Seed);
    const std::vector<std::uint8_t> pub = Hex(v.Public);
    secret.insert(secret.end(), pub.begin(), pub.end());
    const auto pair = KeyPairFromSecret(secret);
    ASSERT_TRUE(pair);
    EXPECT_EQ(HexText(pair->Public), v.Public);
    const TSignature signature = Sign(Hex(v.Message), pair->Secret);
    EXPECT_EQ(HexText(signature), v.Signature);
    EXPECT_TRUE(VerifySignature(Hex(v.Message), signature, pair->Public));
    TSignature changed = signature;
    changed[10] ^= 1;
    EXPECT_FALSE(VerifySignature(Hex(v.Message), changed, pair->Public));
  }
  EXPECT_EQ(HexText(Sha256(Bytes("abc"))),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  TSha256 pieces;
  pieces.Update(Bytes("a"));
  pieces.Update(Bytes("bc"));
  EXPECT_EQ(pieces.Final(), Sha256(Bytes("abc")));
}

TEST(SigningTest, KeyTexts) {
  const TKeyPair pair = NewKeyPair();
  const std::string text = Base64Text(pair.Public);
  EXPECT_EQ(text.size(), 44u);
  EXPECT_EQ(PublicKeyFromText(text), pair.Public);
  EXPECT_FALSE(PublicKeyFromText(text.substr(0, 40)));  // too short
  EXPECT_FALSE(PublicKeyFromText(" " + text));          // no blanks
  EXPECT_FALSE(PublicKeyFromText(Base64Text(pair.Secret)));
  // A secret key whose public half is not its own.
  TSecretKey damaged = pair.Secret;
  damaged[63] ^= 1;
  EXPECT_FALSE(KeyPairFromSecret(damaged));
  EXPECT_FALSE(FromHex("abc"));
  EXPECT_FALSE(FromHex("zz"));
}

class ManifestTest : public ::testing::Test {
 protected:
  ManifestTest() {
    Manifest.App = "com.example.notes";
    Manifest.Version = "2.0.0";
    Manifest.Platform = "linux-x86_64";
    Manifest.Url = "https://example.com/notes-2.0.0";
    Manifest.Size = 3;
    Manifest.Sha256 = Sha256(Bytes("new"));
    Manifest.Notes = "Line one\nLine \"two\" \u00e9";
    Manifest.SignWith(Key.Secret);
  }
  TManifestExpectation Expect(const char* running = "1.0.0") const {
    return {"com.example.notes", "linux-x86_64", *TAppVersion::Parse(running), Key.Public};
  }

  TKeyPair Key = NewKeyPair();
  TUpdateManifest Manifest;
};

TEST_F(ManifestTest, RoundTripThroughJson) {
  const auto parsed = ParseManifest(Manifest.ToJson());
  ASSERT_TRUE(std::holds_alternative<TUpdateManifest>(parsed)) << std::get<std::string>(parsed);
  const TUpdateManifest& back = std::get<TUpdateManifest>(parsed);
  EXPECT_EQ(back.SignedText(), Manifest.SignedText());
  EXPECT_EQ(back.Signature, Manifest.Signature);
  std::string why;
  EXPECT_EQ(CheckManifest(back, Expect(), why), TManifestVerdict::Newer) << why;
}

// Every signed field is covered: changing any one breaks the signature.
TEST_F(ManifestTest, EveryFieldIsSigned) {
  const std::vector<std::function<void(TUpdateManifest&)>> changes = {
      [](TUpdateManifest& m) { m.App = "com.example.other"; },
      [](TUpdateManifest& m) { m.Version = "2.0.1"; },
      [](TUpdateManifest& m) { m.Platform = "windows-x86_64"; },
      [](TUpdateManifest& m) { m.Url = "https://example.com/evil"; },
      [](TUpdateManifest& m) { m.Size = 4; },
      [](TUpdateManifest& m) { m.Sha256[0] ^= 1; },
      [](TUpdateManifest& m) { m.Notes += "!"; },
      // Text moved from one field to the next keeps every byte but not the lengths.
      [](TUpdateManifest& m) {
        m.App += "2";
        m.Version = ".0.0";
      },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    TUpdateManifest changed = Manifest;
    changes[i](changed);
    std::string why;
    EXPECT_EQ(CheckManifest(changed, Expect(), why), TManifestVerdict::Unsigned) << "change " << i;
    EXPECT_EQ(why, "The manifest is not signed with this application's key");
  }
}

TEST_F(ManifestTest, Verdicts) {
  struct Case {
    std::function<void(TUpdateManifest&)> Change;
    const char* Running;
    TManifestVerdict Verdict;
    const char* Why;
  };
  const TKeyPair other = NewKeyPair();
  const Case cases[] = {
      {{}, "1.9.9", TManifestVerdict::Newer, ""},
      {{}, "2.0.0-rc.1", TManifestVerdict::Newer, ""},
      {{}, "2.0", TManifestVerdict::NotNewer, "Version 2.0.0 is not newer than the running 2.0"},
      {{},
       "3.0.0",
       TManifestVerdict::NotNewer,
       "Version 2.0.0 is not newer than the running 3.0.0"},
      {[&](TUpdateManifest& m) { m.SignWith(other.Secret); }, "1.0.0", TManifestVerdict::Unsigned,
       "The manifest is not signed with this application's key"},
      {[&](TUpdateManifest& m) {
         m.App = "com.example.other";
         m.SignWith(Key.Secret);
       },
       "1.0.0", TManifestVerdict::OtherApp,
       "The manifest is for another application (com.example.other)"},
      {[&](TUpdateManifest& m) {
         m.Platform = "windows-x86_64";
         m.SignWith(Key.Secret);
       },
       "1.0.0", TManifestVerdict::OtherPlatform,
       "The manifest is for windows-x86_64, not linux-x86_64"},
  };
  for (const Case& c : cases) {
    TUpdateManifest manifest = Manifest;
    if (c.Change) c.Change(manifest);
    std::string why;
    EXPECT_EQ(CheckManifest(manifest, Expect(c.Running), why), c.Verdict) << c.Why;
    EXPECT_EQ(why, c.Why);
  }
}

TEST_F(ManifestTest, TextsThatAreNotManifests) {
  const std::string signature = "\"" + Base64Text(Manifest.Signature) + "\"";
  const std::string sha = "\"" + HexText(Manifest.Sha256) + "\"";
  const auto with = [&](const std::string& size, const std::string& version,
                        const std::string& digest, const std::string& sig) {
    return "{\"app\": \"a\", \"version\": " + version +
           ", \"platform\": \"p\", \"url\": \"https://x/\", \"size\": " + size +
           ", \"sha256\": " + digest + ", \"notes\": \"\", \"signature\": " + sig + "}";
  };
  const std::pair<std::string, std::string> cases[] = {
      {"", "it is not JSON (The document is empty.)"},
      {"[]", "it is not a JSON object"},
      {"{\"version\": \"1\"}", "\"app\" is missing"},
      {with("3", "[2]", sha, signature), "\"version\" is an array"},
      {with("3", "\"two\"", sha, signature), "\"version\" is not a version: \"two\""},
      {with("-3", "\"2\"", sha, signature), "\"size\" is not a number of bytes from 1 to 4 GiB"},
      {with("{}", "\"2\"", sha, signature), "\"size\" is an object"},
      {with("0", "\"2\"", sha, signature), "\"size\" is not a number of bytes from 1 to 4 GiB"},
      {with("\"three\"", "\"2\"", sha, signature),
       "\"size\" is not a number of bytes from 1 to 4 GiB"},
      {with("3.5", "\"2\"", sha, signature), "\"size\" is not a number of bytes from 1 to 4 GiB"},
      {with("5000000000", "\"2\"", sha, signature),
       "\"size\" is not a number of bytes from 1 to 4 GiB"},
      {with("3", "\"2\"", "\"abc\"", signature), "\"sha256\" is not 64 hexadecimal digits"},
      {with("3", "\"2\"", sha, "\"AAAA\""), "\"signature\" is not the base64 text of 64 bytes"},
      {std::string("{\"app\": \"\xff\"}"), "it is not JSON (Invalid encoding in string.)"},
      {std::string(kMaxManifestBytes + 1, ' '), "it is larger than 64 KiB"},
  };
  for (const auto& [text, problem] : cases) {
    const auto parsed = ParseManifest(text);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text.substr(0, 80);
    EXPECT_EQ(std::get<std::string>(parsed), problem) << text.substr(0, 80);
  }
}

TEST(UpdateUrlTest, HttpsOrThisMachine) {
  const std::pair<const char*, bool> cases[] = {
      {"https://example.com/app.json", true},
      {"HTTPS://example.com/app.json", true},
      {"http://127.0.0.1:8000/m.json", true},
      {"http://127.1.2.3/m.json", true},
      {"http://localhost:8080/m.json", true},
      {"http://[::1]:8080/m.json", true},
      {"http://example.com/m.json", false},
      {"http://127.0.0.1.example.com/m.json", false},
      {"http://127.0.0.1@example.com/m.json", false},
      {"http://localhost.example.com/m.json", false},
      {"http://128.0.0.1/m.json", false},
      {"http://127.0.0.256/m.json", false},
      {"http://[::2]/m.json", false},
      {"ftp://example.com/m.json", false},
      {"file:///etc/passwd", false},
      {"https:///path", false},
      {"https://example.com/a b", false},
      {"", false},
  };
  for (const auto& [url, allowed] : cases)
    EXPECT_EQ(IsUpdateUrl(url), allowed) << url;
}

}  // namespace
}  // namespace velloc::update
