#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/StrUtils.h"

namespace velloc {
namespace {

constexpr std::string_view kOctetStream = "application/octet-stream";

// Every extension the built-in list must cover.
constexpr std::string_view kBuiltInExtensions =
    "323 7z a aab aac aam aas abw ace ai aif aifc aiff alz ani arj art asf asm asx au avi bat "
    "bcpio bmp boz bz bz2 c c++ cab cat cc ccn cco cdf cdr cdt cer chm chrt cil class clp com "
    "cpio cpp cpt cqk crd crl cs csh css cxx dar dbf dcr deb dir dist distz djv djvu dl dll dmg "
    "doc dot dv dvi dxr ebk eps evy exe fdf fif flc fli flm fml gif gl gnumeric gsm gtar gz gzip "
    "h h++ hdf hh hlp hpf hpp hqx hta htc htm html htt hxx ico ief iii ims ins iso ivf jar java "
    "jng jpe jpeg jpg js kar karbon kfo kon kpr kpt kwd kwt latex lcc lha lrm ls lsf lsx lz lzh "
    "lzma lzo lzx m13 m14 m3u m4a man mdb me mht mid midi mjf mng mny mocha moov mov movie mp2 "
    "mp3 mp4 mpa mpe mpeg mpega mpg mpga mpkg mpp ms msi mvb mxu nix nml o oda odb odc odf odg "
    "odi odm odp ods odt ogg ogv otg oth otp ots ott p p10 p12 p7b p7m p7r p7s package pas pat "
    "pbm pcx pdf pfr pgm pict pkg pko pl pls png pnm pnq pntg pot ppm pps ppt ppz ps psd pub qcp "
    "qpw qt qtc qtif qtl ra ram rar ras rdf rf rgb rjs rm rmf rmp rms rmx rnx rp rpm rsml rss rt "
    "rtsp rtx rv scd scm sd2 sda sdc sdd sdp ser setpay setreg sgi sgm sgml sh shar shtml shw sid "
    "sit sitx skd skm skp skt smf smi smil snd spl ssm sst stc std sti stl stw sv4cpio sv4crc svg "
    "svgz svi swf swf1 sxc sxg sxi sxm sxw t tar targa tbz tbz2 tcl tex texi texinfo tgz tif tlz "
    "torrent tr trm troff tsp ttz txt txz udeb uin uls urls ustar vcd vcf vor vsl wav wax wb1 wb2 "
    "wb3 wbmp wcm wdb webm webp wks wm wma wmd wml wmlc wmls wmlsc wmp wms wmv wmx wmz wp5 wpd "
    "wpl wps wri wsc wvx xbm xfdf xht xhtml xlb xls xml xpi xpm xps xsd xul xwd z zip zoo";

TEST(MimeTable, BuiltInListShape) {
  const auto lines = TStrUtils::BuiltInMimeLines();
  ASSERT_EQ(lines.size(), 384u);
  EXPECT_EQ(lines[0].Extension, ".nml");
  EXPECT_EQ(lines[0].Type, "animation/narrative");

  std::set<std::string> listed;
  for (const auto& line : lines) {
    EXPECT_FALSE(line.Type.empty()) << line.Extension;
    listed.emplace(line.Extension);
  }
  std::set<std::string> expected;
  for (const auto& piece : TStrUtils::ExplodeStrings(" ", kBuiltInExtensions)) {
    expected.emplace("." + piece);
  }
  EXPECT_EQ(expected.size(), 372u);
  EXPECT_EQ(listed, expected);
}

TEST(MimeTable, SecondLinesDoNotCount) {
  auto typesOf = [](std::string_view extension) {
    std::vector<std::string_view> types;
    for (const auto& line : TStrUtils::BuiltInMimeLines()) {
      if (line.Extension == extension) types.push_back(line.Type);
    }
    return types;
  };
  EXPECT_EQ(typesOf(".mp3"), (std::vector<std::string_view>{"audio/x-mpg", "video/mpeg"}));
  EXPECT_EQ(typesOf(".mp2"), (std::vector<std::string_view>{"audio/x-mpg", "video/mpeg"}));
  EXPECT_EQ(typesOf(".m3u"), (std::vector<std::string_view>{"audio/mpegurl", "audio/x-mpegurl"}));

  const TMimeTable table;
  EXPECT_EQ(table.Size(), 372u);
  EXPECT_EQ(table.Lookup("song.mp3"), "audio/x-mpg");
  EXPECT_EQ(table.Lookup("list.m3u"), "audio/mpegurl");
}

TEST(MimeTable, TellingRowsWithoutOverlay) {
  const TMimeTable table;
  const struct {
    const char* extension;
    const char* type;
  } rows[] = {
      {"htm", "text/html"},
      {"html", "text/html"},
      {"xhtml", "application/xhtml+xml"},
      {"xht", "application/xhtml+xml"},
      {"css", "text/css"},
      {"js", "text/javascript"},
      {"ls", "text/javascript"},
      {"mocha", "text/javascript"},
      {"xml", "text/xml"},
      {"txt", "text/plain"},
      {"svg", "image/svg+xml"},
      {"svgz", "image/svg+xml"},
      {"png", "image/x-png"},
      {"gif", "image/gif"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"jpe", "image/jpeg"},
      {"ico", "image/x-icon"},
      {"bmp", "image/bmp"},
      {"webp", "image/webp"},
      {"tif", "image/x-tiff"},
      {"mp3", "audio/x-mpg"},
      {"mp2", "audio/x-mpg"},
      {"m4a", "audio/x-mpg"},
      {"aac", "audio/mp4"},
      {"wav", "audio/x-wav"},
      {"mid", "audio/midi"},
      {"midi", "audio/midi"},
      {"m3u", "audio/mpegurl"},
      {"ogg", "application/ogg"},
      {"ogv", "video/ogg"},
      {"mp4", "video/mpeg"},
      {"mpeg", "video/x-mpeg2a"},
      {"mpg", "video/mpeg"},
      {"webm", "video/webm"},
      {"avi", "video/x-msvideo"},
      {"mov", "video/quicktime"},
      {"pdf", "application/pdf"},
      {"zip", "application/x-zip-compressed"},
      {"shtml", "server-parsed-html"},
      {"mht", "message/rfc822"},
      {"nml", "animation/narrative"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(table.Lookup(std::string("file.") + row.extension), row.type) << row.extension;
  }
  // What web apps use but the list lacks: only the system's registrations can supply it.
  for (const char* name : {"a.json", "a.mjs", "a.woff2", "a.wasm", "a.map", "a.flac"}) {
    EXPECT_EQ(table.Lookup(name), kOctetStream) << name;
  }
}

TEST(MimeTable, ExtensionRule) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"css/site.css", ".css"},
      {"img.dir/logo", ".dir/logo"},
      {"archive.tar.gz", ".gz"},
      {"dir.x\\file", ""},
      {"C:name", ""},
      {"a.b:c", ""},
      {"noext", ""},
      {"file.", "."},
      {".htaccess", ".htaccess"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TStrUtils::FileExtension(c.path), c.extension) << c.path;
  }
  const TMimeTable table;
  EXPECT_EQ(table.Lookup("css/site.css"), "text/css");
  EXPECT_EQ(table.Lookup("INDEX.HTML"), "text/html");
  EXPECT_EQ(table.Lookup("img.png/logo"), kOctetStream);
  EXPECT_EQ(table.Lookup("noext"), kOctetStream);
  EXPECT_EQ(table.Lookup("file."), kOctetStream);
}

class MimeOverlayFile : public ::testing::Test {
 protected:
  void SetUp() override {
    FPath = std::filesystem::temp_directory_path() /
            ("velloc-mime-" + std::to_string(getpid()) + ".types");
  }
  void TearDown() override { std::filesystem::remove(FPath); }
  void Write(std::string_view content) { std::ofstream(FPath, std::ios::binary) << content; }
  std::filesystem::path FPath;
};

TEST_F(MimeOverlayFile, ReplacesAndAddsLowerCased) {
  Write(
      "# media types\n"
      "Application/JSON\t\tjson   # trailing comment\n"
      "image/png png\r\n"
      "font/woff2 WOFF2\n"
      "text/x-shellscript sh\n"
      "application/x-sh sh\n"
      "application/only-a-type\n"
      "\n");
  const auto overlay = ReadMimeTypesFile(FPath);
  const TMimeTable table(overlay);
  EXPECT_EQ(table.Lookup("data.json"), "application/json");
  EXPECT_EQ(table.Lookup("logo.png"), "image/png");  // the system wins over the built-in line
  EXPECT_EQ(table.Lookup("font.woff2"), "font/woff2");
  EXPECT_EQ(table.Lookup("run.sh"), "text/x-shellscript");  // the file's first line counts
  EXPECT_EQ(table.Lookup("page.html"), "text/html");        // untouched
  EXPECT_EQ(table.Size(), 374u);
}

TEST_F(MimeOverlayFile, MissingFileGivesNoOverlay) {
  EXPECT_TRUE(ReadMimeTypesFile(FPath).empty());
}

TEST(MimeTable, TheWebsOwnTypesWinOverTheSystem) {
  const TMimeTable table(WithWebMimeTypes({{".json", "text/plain"},
                                           {".WASM", "application/octet-stream"},
                                           {".xyz", "application/x-xyz"},
                                           {".png", "image/png"}}));
  EXPECT_EQ(table.Lookup("data.json"), "application/json");
  EXPECT_EQ(table.Lookup("mod.wasm"), "application/wasm");
  EXPECT_EQ(table.Lookup("font.woff2"), "font/woff2");
  EXPECT_EQ(table.Lookup("a.xyz"), "application/x-xyz");
  EXPECT_EQ(table.Lookup("logo.png"), "image/png");
  // Without the system the built-in line stays for the rest.
  EXPECT_EQ(TMimeTable(WithWebMimeTypes({})).Lookup("logo.png"), "image/x-png");
}

TEST(MimeTable, ProcessTableAndResponseType) {
  EXPECT_EQ(TStrUtils::GetFileMIMEType("index.html"), "text/html");
  EXPECT_EQ(TStrUtils::GetFileMIMEType("noext"), kOctetStream);
  EXPECT_EQ(TStrUtils::GetFileMIMEType("x.no-such-extension"), kOctetStream);
  EXPECT_EQ(TStrUtils::ResponseMimeType("app/main.js"), "text/javascript");
  EXPECT_EQ(TStrUtils::ResponseMimeType("app/mod.MJS"), "text/javascript");
  EXPECT_EQ(TStrUtils::ResponseMimeType("x.no-such-extension"), kOctetStream);
  EXPECT_EQ(TStrUtils::ResponseMimeType("style.css"), TStrUtils::GetFileMIMEType("style.css"));
  EXPECT_EQ(TStrUtils::GetFileMIMEType("mod.wasm"), "application/wasm");
  EXPECT_EQ(TStrUtils::GetFileMIMEType("data.json"), "application/json");
}

}  // namespace
}  // namespace velloc
