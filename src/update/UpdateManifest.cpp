#include "update/UpdateManifest.h"

#include <algorithm>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include "core/StrUtils.h"

namespace velloc::update {
namespace {

constexpr std::string_view kSignedHeader = "velloc update manifest 1\n";

// As the bridge parses pages' messages: iteratively, so that deep nesting cannot exhaust the
// stack, rejecting invalid UTF-8, and with numbers kept as the text they were written with.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseValidateEncodingFlag;

const char* Kind(const rapidjson::Value& value) {
  if (value.IsObject()) return "an object";
  if (value.IsArray()) return "an array";
  return "null or a boolean";
}

}  // namespace

std::string_view ThisPlatform() {
#if defined(_WIN32)
#define VELLOC_SYSTEM "windows"
#elif defined(__linux__)
#define VELLOC_SYSTEM "linux"
#else
#define VELLOC_SYSTEM "unknown"
#endif
#if defined(__x86_64__) || defined(_M_X64)
  return VELLOC_SYSTEM "-x86_64";
#elif defined(__aarch64__) || defined(_M_ARM64)
  return VELLOC_SYSTEM "-aarch64";
#else
  return VELLOC_SYSTEM "-unknown";
#endif
#undef VELLOC_SYSTEM
}

std::string TUpdateManifest::SignedText() const {
  std::string text(kSignedHeader);
  const auto field = [&text](std::string_view name, std::string_view value) {
    text.append(name).append("=").append(std::to_string(value.size())).append(":");
    text.append(value).append("\n");
  };
  field("app", App);
  field("version", Version);
  field("platform", Platform);
  field("url", Url);
  field("size", std::to_string(Size));
  field("sha256", HexText(Sha256));
  field("notes", Notes);
  return text;
}

bool TUpdateManifest::SignedBy(const TPublicKey& key) const {
  const std::string text = SignedText();
  return VerifySignature({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                         Signature, key);
}

void TUpdateManifest::SignWith(const TSecretKey& secret) {
  const std::string text = SignedText();
  Signature = Sign({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, secret);
}

std::string TUpdateManifest::ToJson() const {
  const auto quoted = [](std::string_view text) { return TStrUtils::StringToJsonString(text); };
  return "{\n  \"app\": " + quoted(App) + ",\n  \"version\": " + quoted(Version) +
         ",\n  \"platform\": " + quoted(Platform) + ",\n  \"url\": " + quoted(Url) +
         ",\n  \"size\": " + std::to_string(Size) + ",\n  \"sha256\": " + quoted(HexText(Sha256)) +
         ",\n  \"notes\": " + quoted(Notes) +
         ",\n  \"signature\": " + quoted(Base64Text(Signature)) + "\n}\n";
}

std::variant<TUpdateManifest, std::string> ParseManifest(std::string_view json) {
  if (json.size() > kMaxManifestBytes)
    return "it is larger than " + std::to_string(kMaxManifestBytes / 1024) + " KiB";
  rapidjson::Document doc;
  doc.Parse<kParseFlags>(json.data(), json.size());
  if (doc.HasParseError())
    return std::string("it is not JSON (") + rapidjson::GetParseError_En(doc.GetParseError()) + ")";
  if (!doc.IsObject()) return std::string("it is not a JSON object");
  TUpdateManifest manifest;
  std::string problem;
  const auto text = [&](const char* name, std::string& out, std::size_t limit) {
    if (!problem.empty()) return;
    const auto member = doc.FindMember(name);
    if (member == doc.MemberEnd()) {
      problem = std::string("\"") + name + "\" is missing";
    } else if (!member->value.IsString()) {
      problem = std::string("\"") + name + "\" is " + Kind(member->value);
    } else if (member->value.GetStringLength() > limit) {
      problem = std::string("\"") + name + "\" is longer than " + std::to_string(limit) + " bytes";
    } else {
      out.assign(member->value.GetString(), member->value.GetStringLength());
    }
  };
  std::string size, sha256, signature;
  text("app", manifest.App, 255);
  text("version", manifest.Version, 64);
  text("platform", manifest.Platform, 64);
  text("url", manifest.Url, kMaxUrlBytes);
  text("sha256", sha256, 64);
  text("notes", manifest.Notes, kMaxNotesBytes);
  text("signature", signature, 128);
  text("size", size, 10);
  if (!problem.empty()) return problem;
  // A number of bytes from 1 to 4 GiB, written as a number (or as the text of one).
  if (size.empty() || size.size() > 10 ||
      size.find_first_not_of("0123456789") != std::string::npos || std::stoull(size) == 0 ||
      std::stoull(size) > kMaxUpdateBytes)
    return std::string("\"size\" is not a number of bytes from 1 to 4 GiB");
  manifest.Size = std::stoull(size);
  if (!TAppVersion::Parse(manifest.Version))
    return "\"version\" is not a version: \"" + manifest.Version + "\"";
  const auto digest = FromHex(sha256);
  if (!digest || digest->size() != manifest.Sha256.size())
    return std::string("\"sha256\" is not 64 hexadecimal digits");
  std::copy(digest->begin(), digest->end(), manifest.Sha256.begin());
  const auto signatureBytes = FromBase64(signature);
  if (!signatureBytes || signatureBytes->size() != manifest.Signature.size())
    return std::string("\"signature\" is not the base64 text of 64 bytes");
  std::copy(signatureBytes->begin(), signatureBytes->end(), manifest.Signature.begin());
  return manifest;
}

TManifestVerdict CheckManifest(const TUpdateManifest& manifest,
                               const TManifestExpectation& expectation, std::string& why) {
  why.clear();
  if (!manifest.SignedBy(expectation.Key)) {
    why = "The manifest is not signed with this application's key";
    return TManifestVerdict::Unsigned;
  }
  if (manifest.App != expectation.App) {
    why = "The manifest is for another application (" + manifest.App + ")";
    return TManifestVerdict::OtherApp;
  }
  if (manifest.Platform != expectation.Platform) {
    why = "The manifest is for " + manifest.Platform + ", not " + expectation.Platform;
    return TManifestVerdict::OtherPlatform;
  }
  const std::optional<TAppVersion> offered = TAppVersion::Parse(manifest.Version);
  if (!offered || *offered <= expectation.Running) {
    why = "Version " + manifest.Version + " is not newer than the running " +
          expectation.Running.Text();
    return TManifestVerdict::NotNewer;
  }
  return TManifestVerdict::Newer;
}

bool IsUpdateUrl(std::string_view url) {
  const auto startsWith = [&url](std::string_view prefix) {
    return url.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), url.begin(), [](char a, char b) {
             return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
  };
  if (url.size() > kMaxUrlBytes) return false;
  if (url.find_first_of(" \t\r\n") != std::string_view::npos) return false;
  if (startsWith("https://")) return url.size() > 8 && url[8] != '/';
  if (!startsWith("http://")) return false;
  // The host: up to the first "/", "?" or "#"; no user information, which could hide the host.
  const std::string_view rest = url.substr(7);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return false;
  std::string_view host = authority;
  if (host.starts_with("[")) {
    host = host.substr(0, host.find(']') == std::string_view::npos ? 0 : host.find(']') + 1);
    return host == "[::1]";
  }
  host = host.substr(0, host.find(':'));
  if (host == "localhost") return true;
  // 127.0.0.0/8: four numbers, the first 127.
  if (!host.starts_with("127.")) return false;
  int parts = 0;
  for (std::size_t start = 0; start <= host.size();) {
    const std::size_t end = std::min(host.find('.', start), host.size());
    const std::string_view part = host.substr(start, end - start);
    if (part.empty() || part.size() > 3 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(std::string(part)) > 255)
      return false;
    ++parts;
    start = end + 1;
  }
  return parts == 4;
}

}  // namespace velloc::update
