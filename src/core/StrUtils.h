// String utilities of the bridge and the resource serving: JSON string literals, splitting,
// and the MIME table.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velloc {

// One line of a MIME list: an extension with its dot, and a media type.
struct TMimeLine {
  std::string_view Extension;
  std::string_view Type;
};

// Extension-to-type lookup: the built-in list, overlaid by the system's registrations.
class TMimeTable {
 public:
  using TOverlay = std::vector<std::pair<std::string, std::string>>;

  // Loads the built-in lines (the first line of an extension wins), then applies the overlay
  // pairs in order: each replaces the type of its extension or adds it. Both are lower-cased.
  explicit TMimeTable(const TOverlay& overlay = {});

  // The type of the file name's extension, or "application/octet-stream".
  std::string Lookup(std::string_view fileName) const;

  std::size_t Size() const { return FTypes.size(); }

 private:
  std::unordered_map<std::string, std::string> FTypes;
};

// Reads a media-types file ("type ext1 ext2 ...", "#" starts a comment) into overlay pairs,
// extensions with their dot. Where the file lists an extension twice, its first line counts.
// A missing or unreadable file gives no pairs.
TMimeTable::TOverlay ReadMimeTypesFile(const std::filesystem::path& path);

// The overlay followed by the types a web view needs exactly (WebAssembly, JSON, module scripts,
// SVG, fonts, media), which so win over the system's registrations.
TMimeTable::TOverlay WithWebMimeTypes(TMimeTable::TOverlay overlay);

// Where the system keeps its registrations on a platform without a registry of them (Linux).
inline constexpr std::string_view kSystemMimeTypesPath = "/etc/mime.types";

class TStrUtils {
 public:
  // A JSON string literal, quotes included. The escaping works on UTF-16 code units:
  // '"', '\\' and '/' get a backslash; \b \t \n \f \r; other units below 0x20 and every unit from
  // 0x20AC up (each surrogate half alone) become \uXXXX in upper-case hex; the rest is copied.
  static std::string StringToJsonString(std::string_view utf8);

  // The pieces of the text between occurrences of the separator; always at least one piece.
  // An empty separator never matches, so the text comes back whole.
  static std::vector<std::string> ExplodeStrings(std::string_view separator, std::string_view text);

  // The extension of a path: from its last "." to the end, unless a "\" or ":" follows that
  // dot ("/" does not end it, so "img.dir/logo" gives ".dir/logo"). Empty when there is none.
  static std::string_view FileExtension(std::string_view path);

  // The MIME type of a file name from the process-wide table (built on first use from the
  // built-in list, the system's registrations and the web's own types, then kept).
  static std::string GetFileMIMEType(std::string_view fileName);

  // The type the resource server sends: scripts are always "text/javascript", whatever the
  // table says, so module scripts load; everything else as GetFileMIMEType.
  static std::string ResponseMimeType(std::string_view path);

  // The built-in list in its order; its first line for an extension is the one that counts.
  static std::span<const TMimeLine> BuiltInMimeLines();
};

}  // namespace velloc
