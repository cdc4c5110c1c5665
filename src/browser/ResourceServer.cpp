#include "browser/ResourceServer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <system_error>

#include "core/Crt.h"
#include "core/StrUtils.h"
#include "core/Text.h"

namespace velloc::browser {
namespace {

std::string RemoveFilePrefixes(std::string_view uri) {
  std::string s(uri);
  text::ReplaceAll(s, "file:///", "");
  return s;
}

// Entries at least this large are read in parts when the package has checkpoints for them;
// smaller ones cost little to extract whole.
constexpr std::uint32_t kStreamedEntrySize = 1024 * 1024;

// A package entry read through its checkpoints as the web view asks.
class TEntryBody final : public platform::IResponseBody {
 public:
  explicit TEntryBody(std::unique_ptr<archive::TEntryReader> reader) : FReader(std::move(reader)) {}
  std::uint64_t Size() const override { return FReader->Size(); }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    const std::lock_guard lock(FLock);
    return FReader->Read(offset, out) == archive::ExtractResult::Ok;
  }

 private:
  std::mutex FLock;
  std::unique_ptr<archive::TEntryReader> FReader;
};

// A part of another body.
class TPartBody final : public platform::IResponseBody {
 public:
  TPartBody(std::unique_ptr<platform::IResponseBody> whole, std::uint64_t first, std::uint64_t size)
      : FWhole(std::move(whole)), FFirst(first), FSize(size) {}
  std::uint64_t Size() const override { return FSize; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    return FWhole->Read(FFirst + offset, out);
  }

 private:
  std::unique_ptr<platform::IResponseBody> FWhole;
  std::uint64_t FFirst;
  std::uint64_t FSize;
};

// The kernel's own file systems: a page there would be another process's memory or
// environment, or a way to a file by a path that names no folder the user chose
// (/proc/self/cwd/...). Judged on the path as asked and on the file it leads to.
bool IsKernelPath(const std::filesystem::path& path) {
#if defined(_WIN32)
  (void)path;
  return false;
#else
  const auto below = [](const std::filesystem::path& p) {
    auto part = p.begin();
    if (part == p.end() || *part != "/") return false;
    ++part;
    return part != p.end() && (*part == "proc" || *part == "sys");
  };
  if (below(path.lexically_normal())) return true;
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  return ec || below(real);
#endif
}

bool IsReadableFile(const std::string& utf8) {
  // Wide on Windows: the executable's folder may be C:\Users\José\.
  const std::filesystem::path path = crt::Utf8Path(utf8);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  if (IsKernelPath(path)) return false;
  return std::ifstream(path, std::ios::binary).is_open();
}

}  // namespace

std::string RequestPath(std::string_view uri) {
  std::string path = RemoveFilePrefixes(uri);
  if (const auto query = path.find('?'); query != std::string::npos) path.resize(query);
  text::ReplaceAll(path, "%20", " ");
  return path;
}

TFileLookup LocateFileRequest(std::string_view uri, const archive::TZipArchive* exeZip,
                              const std::string& appDirName, const std::string& appDirPath) {
  TFileLookup found;
  if (!text::AsciiStartsWithIgnoreCase(uri, "file:///")) return found;
  const std::string path = RequestPath(uri);

  if (!appDirName.empty() && exeZip) {
    if (const int index = exeZip->FindFile(appDirName + "/" + path); index >= 0) {
      found.Location = TFileLocation::Package;
      found.Entry = index;
      return found;
    }
  }

#if defined(_WIN32)
  std::string relative = path;
  for (char& c : relative)
    c = c == '/' ? '\\' : c;
#else
  const std::string& relative = path;
#endif
  if (std::string beside = appDirPath + relative; IsReadableFile(beside)) {
    found.Location = TFileLocation::BesideExecutable;
    found.Path = std::move(beside);
    return found;
  }

  // An absolute path: the whole URI without its "file:///", query and "%20" left as they are.
  // On Linux the path keeps the "/" that the prefix took away.
#if defined(_WIN32)
  std::string absolute = RemoveFilePrefixes(uri);
#else
  std::string absolute = "/" + RemoveFilePrefixes(uri);
#endif
  if (IsReadableFile(absolute)) {
    found.Location = TFileLocation::AbsolutePath;
    found.Path = std::move(absolute);
  }
  return found;
}

std::optional<platform::TWebResourceResponse> ServeFileRequest(std::string_view uri,
                                                               const archive::TZipArchive* exeZip,
                                                               const std::string& appDirName,
                                                               const std::string& appDirPath) {
  if (!text::AsciiStartsWithIgnoreCase(uri, "file:///")) return std::nullopt;
  const std::string path = RequestPath(uri);
  platform::TWebResourceResponse response;
  response.MimeType = TStrUtils::ResponseMimeType(path);

  // One snapshot of the package for the lookup and the reading, even if a development package
  // is replaced meanwhile.
  const std::shared_ptr<const archive::TZipArchive> package =
      exeZip && !appDirName.empty() ? exeZip->Snapshot() : nullptr;
  TFileLookup found = LocateFileRequest(uri, package.get(), appDirName, appDirPath);
  switch (found.Location) {
    case TFileLocation::None:
      return std::nullopt;
    case TFileLocation::Package:
      break;
    case TFileLocation::BesideExecutable:
    case TFileLocation::AbsolutePath:
      // Files on disk are streamed by the web view: they can be of any size.
      response.FilePath = std::move(found.Path);
      return response;
  }
  const int index = found.Entry;
  if (package->Entry(index).UncompressedSize >= kStreamedEntrySize &&
      package->HasCheckpoints(index)) {
    response.Stream = std::make_unique<TEntryBody>(package->OpenEntry(index));
    response.AcceptsRanges = true;
    return response;
  }
  // A found entry is answered even when it cannot be extracted: with nothing.
  response.Body = std::make_unique<std::vector<std::uint8_t>>();
  response.AcceptsRanges = package->Extract(index, *response.Body) == archive::ExtractResult::Ok;
  return response;
}

namespace {

bool ParseNumber(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

TByteRange ParseByteRange(std::string_view header, std::uint64_t size) {
  header = text::TrimControl(header);
  const std::size_t equals = header.find('=');
  if (size == 0 || equals == std::string_view::npos ||
      !text::AsciiEqualsIgnoreCase(text::TrimControl(header.substr(0, equals)), "bytes")) {
    return {};
  }
  const std::string_view spec = text::TrimControl(header.substr(equals + 1));
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return {};
  const std::string_view first = text::TrimControl(spec.substr(0, dash));
  const std::string_view last = text::TrimControl(spec.substr(dash + 1));
  std::uint64_t from = 0, to = 0;
  if (first.empty()) {
    // The last N bytes.
    if (!ParseNumber(last, to)) return {};
    if (to == 0) return {TByteRange::Unsatisfiable};
    return {TByteRange::Part, size - std::min(to, size), size - 1};
  }
  if (!ParseNumber(first, from)) return {};
  if (last.empty()) {
    to = size - 1;
  } else if (!ParseNumber(last, to) || to < from) {
    return {};
  }
  if (from >= size) return {TByteRange::Unsatisfiable};
  return {TByteRange::Part, from, std::min(to, size - 1), last.empty()};
}

void ApplyRange(platform::TWebResourceResponse& response, std::string_view rangeHeader,
                std::uint64_t openEndedLimit) {
  if (!response.AcceptsRanges || rangeHeader.empty() || response.StatusCode != 200) return;
  if (!response.Body && !response.Stream) return;
  const std::uint64_t size = response.Body ? response.Body->size() : response.Stream->Size();
  TByteRange range = ParseByteRange(rangeHeader, size);
  if (range.OpenEnded && openEndedLimit > 0 && range.Last - range.First >= openEndedLimit) {
    range.Last = range.First + openEndedLimit - 1;
  }
  const std::string total = std::to_string(size);
  switch (range.Kind) {
    case TByteRange::Whole:
      return;
    case TByteRange::Unsatisfiable:
      response.StatusCode = 416;
      response.ContentRange = "bytes */" + total;
      response.Stream.reset();
      response.Body = std::make_unique<std::vector<std::uint8_t>>();
      return;
    case TByteRange::Part:
      break;
  }
  const std::uint64_t length = range.Last - range.First + 1;
  response.StatusCode = 206;
  response.ContentRange =
      "bytes " + std::to_string(range.First) + "-" + std::to_string(range.Last) + "/" + total;
  if (response.Body) {
    const auto first = response.Body->begin() + static_cast<std::ptrdiff_t>(range.First);
    response.Body = std::make_unique<std::vector<std::uint8_t>>(
        first, first + static_cast<std::ptrdiff_t>(length));
  } else {
    response.Stream = std::make_unique<TPartBody>(std::move(response.Stream), range.First, length);
  }
}

std::string_view StatusText(int statusCode) {
  switch (statusCode) {
    case 206:
      return "Partial Content";
    case 416:
      return "Range Not Satisfiable";
    default:
      return "OK";
  }
}

}  // namespace velloc::browser
