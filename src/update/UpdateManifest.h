// The manifest of an update: a small JSON file beside the new executable, written and signed by
// `velloc update-manifest`, read by the runtime before anything is downloaded.
//
//   {"app": "com.example.notes", "version": "2.0.0", "platform": "linux-x86_64",
//    "url": "https://example.com/notes-2.0.0", "size": 663552, "sha256": "<64 hex digits>",
//    "notes": "What is new", "signature": "<base64 of 64 bytes>"}
//
// The signature is Ed25519 over SignedText(): every field but itself, each with its length, so
// no two manifests share a signed text. The file is covered through its size and SHA-256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "update/AppVersion.h"
#include "update/Signing.h"

namespace velloc::update {

// The largest manifest read, and the largest release notes in one.
inline constexpr std::size_t kMaxManifestBytes = 64 * 1024;
inline constexpr std::size_t kMaxNotesBytes = 32 * 1024;
inline constexpr std::size_t kMaxUrlBytes = 2048;
// The largest executable an update may bring.
inline constexpr std::uint64_t kMaxUpdateBytes = std::uint64_t{4} << 30;

// This build's platform name: "linux-x86_64", "windows-x86_64" (and the others the compiler
// names).
std::string_view ThisPlatform();

struct TUpdateManifest {
  std::string App;  // the application's ID
  std::string Version;
  std::string Platform;
  std::string Url;
  std::uint64_t Size = 0;
  TDigest Sha256{};
  std::string Notes;
  TSignature Signature{};

  // What the signature covers.
  std::string SignedText() const;
  bool SignedBy(const TPublicKey& key) const;
  void SignWith(const TSecretKey& secret);
  // The manifest as JSON text, fields in the order above.
  std::string ToJson() const;
};

// Reads a manifest; the error says what is wrong with the text (not whose it is: that is the
// signature's, checked by the caller).
std::variant<TUpdateManifest, std::string> ParseManifest(std::string_view json);

// What an application expects of a manifest before it downloads anything.
struct TManifestExpectation {
  std::string App;
  std::string Platform;
  TAppVersion Running;
  TPublicKey Key{};
};

enum class TManifestVerdict {
  Newer,     // signed, for this application and platform, a newer version: may be installed
  NotNewer,  // signed and for this application and platform, but not newer than the running one
  Unsigned,  // not signed by the application's key
  OtherApp,  // signed, but for another application
  OtherPlatform,  // signed, but for another platform
};

// Checks in this order: signature, application, platform, version. Why, for every verdict but
// Newer, is a sentence for the page.
TManifestVerdict CheckManifest(const TUpdateManifest& manifest,
                               const TManifestExpectation& expectation, std::string& why);

// True for the addresses updates come from: HTTPS, or plain HTTP to this machine itself
// (127.0.0.0/8, [::1], localhost), which tests serve from.
bool IsUpdateUrl(std::string_view url);

}  // namespace velloc::update
