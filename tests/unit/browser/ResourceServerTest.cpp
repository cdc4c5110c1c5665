// Byte ranges of package entries: what a Range header asks for, and the 206 and 416 answers for
// entries held in memory and for large entries read through their checkpoints.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"
#include "browser/ResourceServer.h"

namespace velloc::browser {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ByteRange, ParsesOneRangeOfBytes) {
  using K = TByteRange;
  const struct {
    const char* Header;
    std::uint64_t Size;
    TByteRange::TKind Kind;
    std::uint64_t First, Last;
  } cases[] = {
      {"bytes=0-0", 1000, K::Part, 0, 0},          // the first byte
      {"bytes=0-99", 1000, K::Part, 0, 99},        // the start
      {"bytes=500-599", 1000, K::Part, 500, 599},  // the middle
      {"bytes=900-", 1000, K::Part, 900, 999},     // to the end
      {"bytes=999-999", 1000, K::Part, 999, 999},  // the last byte
      {"bytes=-100", 1000, K::Part, 900, 999},     // the last 100
      {"bytes=-5000", 1000, K::Part, 0, 999},      // more than there is
      {"bytes=950-5000", 1000, K::Part, 950, 999},
      {" Bytes = 10 - 20 ", 1000, K::Part, 10, 20},
      {"bytes=1000-", 1000, K::Unsatisfiable, 0, 0},  // beyond the end
      {"bytes=5000-6000", 1000, K::Unsatisfiable, 0, 0},
      {"bytes=-0", 1000, K::Unsatisfiable, 0, 0},
      {"", 1000, K::Whole, 0, 0},
      {"bytes=0-1,5-6", 1000, K::Whole, 0, 0},  // several ranges: the whole body
      {"items=0-1", 1000, K::Whole, 0, 0},
      {"bytes=5-3", 1000, K::Whole, 0, 0},
      {"bytes=a-b", 1000, K::Whole, 0, 0},
      {"bytes=-", 1000, K::Whole, 0, 0},
      {"bytes=1", 1000, K::Whole, 0, 0},
      {"bytes=+1-2", 1000, K::Whole, 0, 0},
      {"bytes=18446744073709551616-", 1000, K::Whole, 0, 0},  // beyond 64 bits
      {"bytes=0-1", 0, K::Whole, 0, 0},                       // an empty body
  };
  for (const auto& c : cases) {
    const TByteRange range = ParseByteRange(c.Header, c.Size);
    EXPECT_EQ(range.Kind, c.Kind) << c.Header;
    if (c.Kind == K::Part) {
      EXPECT_EQ(range.First, c.First) << c.Header;
      EXPECT_EQ(range.Last, c.Last) << c.Header;
    }
  }
}

Bytes Noise(std::size_t size) {
  Bytes out(size);
  std::uint32_t x = 12345;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

std::string BodyOf(platform::TWebResourceResponse& response) {
  if (response.Body) return {response.Body->begin(), response.Body->end()};
  if (!response.Stream) return {};
  std::string bytes(static_cast<std::size_t>(response.Stream->Size()), '\0');
  // In pieces, as a web view reads.
  for (std::size_t at = 0; at < bytes.size(); at += 3840) {
    const std::size_t n = std::min<std::size_t>(3840, bytes.size() - at);
    EXPECT_TRUE(response.Stream->Read(at, {reinterpret_cast<std::uint8_t*>(bytes.data()) + at, n}));
  }
  return bytes;
}

class PackageRanges : public ::testing::Test {
 protected:
  void SetUp() override {
    archive::TZipWriter writer;
    writer.Password("pw");
    writer.Checkpoints(archive::kMinCheckpointInterval, 0);
    writer.AddFile("app/page.js", FScript, archive::ZipMethod::Deflate);
    writer.AddFile("app/clip.mp4", FClip, archive::ZipMethod::Stored);
    writer.Finish();
    FPackage = writer.TakeBytes();
    FZip.Password("pw");
    FZip.Stream(FPackage);
  }

  platform::TWebResourceResponse Serve(const std::string& uri, const std::string& range,
                                       std::uint64_t openEndedLimit = UINT64_MAX) {
    std::optional<platform::TWebResourceResponse> response =
        ServeFileRequest(uri, &FZip, "app", "/nonexistent/");
    EXPECT_TRUE(response) << uri;
    if (!response) return {};
    EXPECT_TRUE(response->AcceptsRanges) << uri;
    ApplyRange(*response, range, openEndedLimit);
    return std::move(*response);
  }

  const Bytes FScript = Bytes(30000, 'x');
  const Bytes FClip = Noise(1024 * 1024 + 5000);  // large enough to be streamed
  Bytes FPackage;
  archive::TZipArchive FZip;
};

TEST_F(PackageRanges, FirstMiddleLastAndOutOfRange) {
  for (const auto& [uri, content] :
       {std::pair{"file:///page.js", &FScript}, std::pair{"file:///clip.mp4", &FClip}}) {
    const std::string whole(content->begin(), content->end());
    const std::string size = std::to_string(whole.size());
    const std::uint64_t last = whole.size() - 1;
    const struct {
      std::string Range;
      int Status;
      std::string ContentRange;
      std::string Body;
    } cases[] = {
        {"", 200, "", whole},
        {"bytes=0-99", 206, "bytes 0-99/" + size, whole.substr(0, 100)},
        {"bytes=20000-29999", 206, "bytes 20000-29999/" + size, whole.substr(20000, 10000)},
        {"bytes=-10", 206,
         "bytes " + std::to_string(last - 9) + "-" + std::to_string(last) + "/" + size,
         whole.substr(whole.size() - 10)},
        {"bytes=" + size + "-", 416, "bytes */" + size, ""},
        {"bytes=0-1,4-5", 200, "", whole},
    };
    for (const auto& c : cases) {
      platform::TWebResourceResponse response = Serve(uri, c.Range);
      EXPECT_EQ(response.StatusCode, c.Status) << uri << " " << c.Range;
      EXPECT_EQ(response.ContentRange, c.ContentRange) << uri << " " << c.Range;
      EXPECT_TRUE(BodyOf(response) == c.Body) << uri << " " << c.Range;
    }
  }
  EXPECT_EQ(StatusText(206), "Partial Content");
  EXPECT_EQ(StatusText(416), "Range Not Satisfiable");
}

// A web view that reads every answer to its end caps open-ended ranges ("the rest"); the ranges
// a page names exactly are answered as asked.
TEST_F(PackageRanges, OpenEndedRangesAreCappedWhenTheCallerAsks) {
  for (const auto& [uri, content] :
       {std::pair{"file:///page.js", &FScript}, std::pair{"file:///clip.mp4", &FClip}}) {
    const std::string whole(content->begin(), content->end());
    const std::uint64_t size = whole.size();
    const std::string total = "/" + std::to_string(size);
    const std::string nearEnd = std::to_string(size - 300);
    const struct {
      std::string Range;
      std::uint64_t Limit;
      std::string ContentRange;
      std::uint64_t First, Length;
    } cases[] = {
        {"bytes=0-", 1000, "bytes 0-999" + total, 0, 1000},
        {"bytes=5000-", 1000, "bytes 5000-5999" + total, 5000, 1000},
        {"bytes=" + nearEnd + "-", 1000,
         "bytes " + nearEnd + "-" + std::to_string(size - 1) + total, size - 300, 300},
        {"bytes=0-", 0, "bytes 0-" + std::to_string(size - 1) + total, 0, size},  // no cap
        {"bytes=0-", UINT64_MAX, "bytes 0-" + std::to_string(size - 1) + total, 0, size},
        {"bytes=0-4999", 1000, "bytes 0-4999" + total, 0, 5000},  // named exactly
        {"bytes=-5000", 1000,
         "bytes " + std::to_string(size - 5000) + "-" + std::to_string(size - 1) + total,
         size - 5000, 5000},  // the end of the file, which players read for their index
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(uri) + " " + c.Range + " cap " + std::to_string(c.Limit));
      platform::TWebResourceResponse response = Serve(uri, c.Range, c.Limit);
      EXPECT_EQ(response.StatusCode, 206);
      EXPECT_EQ(response.ContentRange, c.ContentRange);
      EXPECT_TRUE(BodyOf(response) == whole.substr(c.First, c.Length));
    }
  }
}

TEST_F(PackageRanges, ALargeEntryIsReadOnlyWhereAsked) {
  // Streamed, not extracted: a part far from the start comes from its own interval, so damage
  // in the first interval (which a whole extraction would stumble on) does not touch it.
  platform::TWebResourceResponse whole = Serve("file:///clip.mp4", "");
  ASSERT_TRUE(whole.Stream) << "a large entry with checkpoints is read in parts";
  EXPECT_FALSE(whole.Body);

  const int index = FZip.FindFile("app/clip.mp4");
  archive::TZipEntry entry = FZip.Entry(index);
  // Local header, name, encryption header, then the data.
  const std::size_t start = entry.LocalHeaderOffset + 30 + entry.Name.size() + 12;
  FPackage[start + 100] ^= 0x55;
  platform::TWebResourceResponse part = Serve("file:///clip.mp4", "bytes=1000000-1000099");
  ASSERT_EQ(part.StatusCode, 206);
  ASSERT_TRUE(part.Stream);
  EXPECT_EQ(BodyOf(part), std::string(FClip.begin() + 1000000, FClip.begin() + 1000100));
  platform::TWebResourceResponse damaged = Serve("file:///clip.mp4", "bytes=0-199");
  std::vector<std::uint8_t> bytes(200);
  EXPECT_FALSE(damaged.Stream->Read(0, bytes)) << "the damaged interval fails its CRC-32";
}

TEST(ResourceRanges, FilesOnDiskAndFailedEntriesTakeNoRanges) {
  platform::TWebResourceResponse file;
  file.FilePath = "/etc/hostname";
  ApplyRange(file, "bytes=0-1");
  EXPECT_EQ(file.StatusCode, 200);
  EXPECT_TRUE(file.ContentRange.empty());

  // An entry that cannot be extracted is answered with nothing, as before: not with 416.
  archive::TZipWriter writer;
  writer.Password("pw");
  writer.AddFile("app/a.txt", Bytes(100, 'a'), archive::ZipMethod::Stored);
  writer.Finish();
  const Bytes package = writer.TakeBytes();
  archive::TZipArchive zip;
  zip.Password("wrong");
  zip.Stream(package);
  std::optional<platform::TWebResourceResponse> response =
      ServeFileRequest("file:///a.txt", &zip, "app", "/nonexistent/");
  ASSERT_TRUE(response);
  EXPECT_FALSE(response->AcceptsRanges);
  ApplyRange(*response, "bytes=0-1");
  EXPECT_EQ(response->StatusCode, 200);
  EXPECT_TRUE(response->Body->empty());
}

}  // namespace
}  // namespace velloc::browser
