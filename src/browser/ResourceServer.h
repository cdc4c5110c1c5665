// Serving "file:///" requests of the web view: from the package first, then from beside the
// executable, then from the absolute path. Pages are never unpacked to disk. Large stored
// entries with checkpoints are read in parts as the web view asks; package entries answer
// single byte ranges.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/ZipArchive.h"
#include "platform/WebView.h"

namespace velloc::browser {

// The request path of a "file:///" URI: every "file:///" removed, the query cut off, "%20"
// turned into blanks; nothing else is decoded.
std::string RequestPath(std::string_view uri);

// Where the lookup finds a "file:///" URI.
enum class TFileLocation { None, Package, BesideExecutable, AbsolutePath };

struct TFileLookup {
  TFileLocation Location = TFileLocation::None;
  int Entry = -1;    // the package entry, for Package
  std::string Path;  // the file on disk, for the other two
};

// The lookup alone: the package (the application's folder, names compared without regard to
// ASCII case), then beside the executable, then the absolute path. Files on disk count only
// when they are regular and readable, and never below /proc or /sys: their "files" are the
// running processes' memory, environment and descriptors, not pages.
TFileLookup LocateFileRequest(std::string_view uri, const archive::TZipArchive* exeZip,
                              const std::string& appDirName, const std::string& appDirPath);

// The answer to one request, or no value when the URI is not a "file:///" URI or nothing
// matches (the web view then fails the load in its own way).
std::optional<platform::TWebResourceResponse> ServeFileRequest(std::string_view uri,
                                                               const archive::TZipArchive* exeZip,
                                                               const std::string& appDirName,
                                                               const std::string& appDirPath);

// What a Range header asks of a body of `size` bytes. Only one range of bytes is answered as a
// part ("bytes=F-L", "bytes=F-", "bytes=-N"); several ranges, another unit, a malformed header
// or an empty body get the whole body, as HTTP allows.
struct TByteRange {
  enum TKind { Whole, Part, Unsatisfiable } Kind = Whole;
  std::uint64_t First = 0;
  std::uint64_t Last = 0;  // inclusive
  bool OpenEnded = false;  // "bytes=F-": the rest, whatever it is
};
TByteRange ParseByteRange(std::string_view header, std::uint64_t size);

// What a capped answer to an open-ended range carries at most. A media player asks for the rest
// of the file ("bytes=0-", "bytes=N-" after a seek), reads what it needs and asks again; a web
// view that reads each answer to its end (WebView2) would otherwise read the rest of the file at
// every seek. A 206 with less than the rest is an answer HTTP allows, and players ask again.
inline constexpr std::uint64_t kOpenRangePart = std::uint64_t{4} << 20;

// Turns a response that accepts ranges into the answer to `rangeHeader`: 206 with the part and
// its Content-Range, 416 with "bytes */size" and no body, or the response unchanged. A streamed
// body stays streamed: only the part is ever read. An open-ended range gets at most
// `openEndedLimit` bytes (0: no limit).
void ApplyRange(platform::TWebResourceResponse& response, std::string_view rangeHeader,
                std::uint64_t openEndedLimit = UINT64_MAX);

// The reason phrase of the status codes the resource server answers with.
std::string_view StatusText(int statusCode);

}  // namespace velloc::browser
