// The MIME table: a built-in list, overlaid by the system's own registrations.
#include <array>
#include <fstream>
#include <unordered_set>

#include "core/StrUtils.h"
#include "core/Text.h"
#include "platform/SystemText.h"

namespace velloc {
namespace {

constexpr std::string_view kDefaultMimeType = "application/octet-stream";

// The built-in list. Where an extension has two lines the first one counts; the second lines
// record the other type that programs commonly send for it.
constexpr std::array<TMimeLine, 384> kBuiltInMimeLines = {{
    {".nml", "animation/narrative"},
    {".323", "text/h323"},
    {".7z", "application/x-7z-compressed"},
    {".a", "application/x-archive"},
    {".aab", "application/x-authorware-bin"},
    {".aac", "audio/mp4"},
    {".aam", "application/x-authorware-map"},
    {".aas", "application/x-authorware-seg"},
    {".abw", "application/x-abiword"},
    {".ace", "application/x-ace-compressed"},
    {".ai", "application/postscript"},
    {".aif", "audio/x-aiff"},
    {".aifc", "audio/x-aiff"},
    {".aiff", "audio/x-aiff"},
    {".alz", "application/x-alz-compressed"},
    {".ani", "application/x-navi-animation"},
    {".arj", "application/x-arj"},
    {".art", "image/x-jg"},
    {".asf", "video/x-ms-asf"},
    {".asm", "text/x-asm"},
    {".asx", "video/x-ms-asf"},
    {".au", "audio/basic"},
    {".avi", "video/x-msvideo"},
    {".avi", "video/avi"},
    {".bat", "application/x-msdos-program"},
    {".bcpio", "application/x-bcpio"},
    {".bmp", "image/bmp"},
    {".bmp", "image/x-ms-bmp"},
    {".boz", "application/x-bzip2"},
    {".bz", "application/x-bzip"},
    {".bz2", "application/x-bzip2"},
    {".c", "text/x-csrc"},
    {".c++", "text/x-c++src"},
    {".cab", "application/vnd.ms-cab-compressed"},
    {".cat", "application/vnd.ms-pki.seccat"},
    {".cc", "text/x-c++src"},
    {".ccn", "application/x-cnc"},
    {".cco", "application/x-cocoa"},
    {".cdf", "application/x-cdf"},
    {".cdr", "image/x-coreldraw"},
    {".cdt", "image/x-coreldrawtemplate"},
    {".cer", "application/x-x509-ca-cert"},
    {".chm", "application/vnd.ms-htmlhelp"},
    {".chrt", "application/vnd.kde.kchart"},
    {".cil", "application/vnd.ms-artgalry"},
    {".class", "application/java-vm"},
    {".clp", "application/x-msclip"},
    {".com", "application/x-msdos-program"},
    {".cpio", "application/x-cpio"},
    {".cpp", "text/x-c++src"},
    {".cpt", "application/mac-compactpro"},
    {".cqk", "application/x-calquick"},
    {".crd", "application/x-mscardfile"},
    {".crl", "application/pkix-crl"},
    {".cs", "text/x-csharp"},
    {".csh", "application/x-csh"},
    {".css", "text/css"},
    {".cxx", "text/x-c++src"},
    {".dar", "application/x-dar"},
    {".dbf", "application/x-dbf"},
    {".dcr", "application/x-director"},
    {".deb", "application/x-debian-package"},
    {".dir", "application/x-director"},
    {".dist", "application/octet-stream"},
    {".distz", "application/octet-stream"},
    {".djv", "image/vnd.djvu"},
    {".djvu", "image/vnd.djvu"},
    {".dl", "video/dl"},
    {".dll", "application/x-msdownload"},
    {".dmg", "application/x-apple-diskimage"},
    {".doc", "application/msword"},
    {".dot", "application/msword"},
    {".dv", "video/dv"},
    {".dvi", "application/x-dvi"},
    {".dxr", "application/x-director"},
    {".ebk", "application/x-expandedbook"},
    {".eps", "application/postscript"},
    {".evy", "application/envoy"},
    {".exe", "application/x-msdownload"},
    {".fdf", "application/vnd.fdf"},
    {".fif", "application/fractals"},
    {".flc", "video/x-flc"},
    {".fli", "video/x-fli"},
    {".flm", "application/vnd.kde.kivio"},
    {".fml", "application/x-file-mirror-list"},
    {".gif", "image/gif"},
    {".gl", "video/gl"},
    {".gnumeric", "application/x-gnumeric"},
    {".gsm", "audio/x-gsm"},
    {".gtar", "application/x-gtar"},
    {".gz", "application/x-gzip"},
    {".gz", "application/gzip"},
    {".gzip", "application/x-gzip"},
    {".h", "text/x-chdr"},
    {".h++", "text/x-c++hdr"},
    {".hdf", "application/x-hdf"},
    {".hh", "text/x-c++hdr"},
    {".hlp", "application/winhlp"},
    {".hpf", "application/x-icq-hpf"},
    {".hpp", "text/x-c++hdr"},
    {".hqx", "application/mac-binhex40"},
    {".hta", "application/hta"},
    {".htc", "text/x-component"},
    {".htm", "text/html"},
    {".html", "text/html"},
    {".htt", "text/webviewhtml"},
    {".hxx", "text/x-c++hdr"},
    {".ico", "image/x-icon"},
    {".ief", "image/ief"},
    {".iii", "application/x-iphone"},
    {".ims", "application/vnd.ms-ims"},
    {".ins", "application/x-internet-signup"},
    {".iso", "application/x-iso9660-image"},
    {".ivf", "video/x-ivf"},
    {".jar", "application/java-archive"},
    {".java", "text/x-java"},
    {".jng", "image/x-jng"},
    {".jpe", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".js", "text/javascript"},
    {".kar", "audio/midi"},
    {".karbon", "application/vnd.kde.karbon"},
    {".kfo", "application/vnd.kde.kformula"},
    {".kon", "application/vnd.kde.kontour"},
    {".kpr", "application/vnd.kde.kpresenter"},
    {".kpt", "application/vnd.kde.kpresenter"},
    {".kwd", "application/vnd.kde.kword"},
    {".kwt", "application/vnd.kde.kword"},
    {".latex", "application/x-latex"},
    {".lcc", "application/fastman"},
    {".lha", "application/x-lha"},
    {".lrm", "application/vnd.ms-lrm"},
    {".ls", "text/javascript"},
    {".lsf", "video/x-la-asf"},
    {".lsx", "video/x-la-asf"},
    {".lz", "application/x-lzip"},
    {".lzh", "application/x-lzh"},
    {".lzma", "application/x-lzma"},
    {".lzo", "application/x-lzop"},
    {".lzx", "application/x-lzx"},
    {".m13", "application/x-msmediaview"},
    {".m14", "application/x-msmediaview"},
    {".m3u", "audio/mpegurl"},
    {".m3u", "audio/x-mpegurl"},
    {".m4a", "audio/x-mpg"},
    {".man", "application/x-troff-man"},
    {".mdb", "application/x-msaccess"},
    {".me", "application/x-troff-me"},
    {".mht", "message/rfc822"},
    {".mid", "audio/midi"},
    {".mid", "audio/mid"},
    {".midi", "audio/midi"},
    {".mjf", "audio/x-vnd.audioexplosion.mjuicemediafile"},
    {".mng", "video/x-mng"},
    {".mny", "application/x-msmoney"},
    {".mocha", "text/javascript"},
    {".moov", "video/quicktime"},
    {".mov", "video/quicktime"},
    {".movie", "video/x-sgi-movie"},
    {".mp2", "audio/x-mpg"},
    {".mp2", "video/mpeg"},
    {".mp3", "audio/x-mpg"},
    {".mp3", "video/mpeg"},
    {".mp4", "video/mpeg"},
    {".mpa", "audio/mpeg"},
    {".mpe", "video/mpeg"},
    {".mpeg", "video/x-mpeg2a"},
    {".mpega", "audio/x-mpeg"},
    {".mpg", "video/mpeg"},
    {".mpga", "audio/mpeg"},
    {".mpkg", "application/vnd.apple.installer+xml"},
    {".mpp", "application/vnd.ms-project"},
    {".ms", "application/x-troff-ms"},
    {".msi", "application/x-msi"},
    {".mvb", "application/x-msmediaview"},
    {".mxu", "video/vnd.mpegurl"},
    {".nix", "application/x-mix-transfer"},
    {".o", "application/x-object"},
    {".oda", "application/oda"},
    {".odb", "application/vnd.oasis.opendocument.database"},
    {".odc", "application/vnd.oasis.opendocument.chart"},
    {".odf", "application/vnd.oasis.opendocument.formula"},
    {".odg", "application/vnd.oasis.opendocument.graphics"},
    {".odi", "application/vnd.oasis.opendocument.image"},
    {".odm", "application/vnd.oasis.opendocument.text-master"},
    {".odp", "application/vnd.oasis.opendocument.presentation"},
    {".ods", "application/vnd.oasis.opendocument.spreadsheet"},
    {".odt", "application/vnd.oasis.opendocument.text"},
    {".ogg", "application/ogg"},
    {".ogg", "audio/ogg"},
    {".ogv", "video/ogg"},
    {".otg", "application/vnd.oasis.opendocument.graphics-template"},
    {".oth", "application/vnd.oasis.opendocument.text-web"},
    {".otp", "application/vnd.oasis.opendocument.presentation-template"},
    {".ots", "application/vnd.oasis.opendocument.spreadsheet-template"},
    {".ott", "application/vnd.oasis.opendocument.text-template"},
    {".p", "text/x-pascal"},
    {".p10", "application/pkcs10"},
    {".p12", "application/x-pkcs12"},
    {".p7b", "application/x-pkcs7-certificates"},
    {".p7m", "application/pkcs7-mime"},
    {".p7r", "application/x-pkcs7-certreqresp"},
    {".p7s", "application/pkcs7-signature"},
    {".package", "application/vnd.autopackage"},
    {".pas", "text/x-pascal"},
    {".pat", "image/x-coreldrawpattern"},
    {".pbm", "image/x-portable-bitmap"},
    {".pcx", "image/pcx"},
    {".pdf", "application/pdf"},
    {".pfr", "application/font-tdpfr"},
    {".pgm", "image/x-portable-graymap"},
    {".pict", "image/pict"},
    {".pkg", "application/x-newton-compatible-pkg"},
    {".pko", "application/vnd.ms-pki.pko"},
    {".pl", "application/x-perl"},
    {".pls", "audio/x-scpls"},
    {".png", "image/x-png"},
    {".pnm", "image/x-portable-anymap"},
    {".pnq", "application/x-icq-pnq"},
    {".pntg", "image/x-macpaint"},
    {".pot", "application/vnd.ms-powerpoint"},
    {".ppm", "image/x-portable-pixmap"},
    {".pps", "application/vnd.ms-powerpoint"},
    {".ppt", "application/vnd.ms-powerpoint"},
    {".ppz", "application/vnd.ms-powerpoint"},
    {".ps", "application/postscript"},
    {".psd", "image/vnd.adobe.photoshop"},
    {".pub", "application/x-mspublisher"},
    {".qcp", "audio/vnd.qcelp"},
    {".qpw", "application/x-quattropro"},
    {".qt", "video/quicktime"},
    {".qtc", "video/x-qtc"},
    {".qtif", "image/x-quicktime"},
    {".qtl", "application/x-quicktimeplayer"},
    {".ra", "audio/x-pn-realaudio"},
    {".ram", "audio/x-pn-realaudio"},
    {".rar", "application/x-rar-compressed"},
    {".ras", "image/x-cmu-raster"},
    {".rdf", "application/rdf+xml"},
    {".rf", "image/vnd.rn-realflash"},
    {".rgb", "image/x-rgb"},
    {".rjs", "application/vnd.rn-realsystem-rjs"},
    {".rm", "application/vnd.rn-realmedia"},
    {".rmf", "application/vnd.rmf"},
    {".rmp", "application/vnd.rn-rn_music_package"},
    {".rms", "application/vnd.rn-realmedia-secure"},
    {".rmx", "application/vnd.rn-realsystem-rmx"},
    {".rnx", "application/vnd.rn-realplayer"},
    {".rp", "image/vnd.rn-realpix"},
    {".rpm", "application/x-redhat-package-manager"},
    {".rsml", "application/vnd.rn-rsml"},
    {".rss", "application/rss+xml"},
    {".rt", "text/vnd.rn-realtext"},
    {".rtsp", "application/x-rtsp"},
    {".rtx", "text/richtext"},
    {".rv", "video/vnd.rn-realvideo"},
    {".scd", "application/x-msschedule"},
    {".scm", "application/x-icq-scm"},
    {".sd2", "audio/x-sd2"},
    {".sda", "application/vnd.stardivision.draw"},
    {".sdc", "application/vnd.stardivision.calc"},
    {".sdd", "application/vnd.stardivision.impress"},
    {".sdp", "application/sdp"},
    {".ser", "application/java-serialized-object"},
    {".setpay", "application/set-payment-initiation"},
    {".setreg", "application/set-registration-initiation"},
    {".sgi", "image/x-sgi"},
    {".sgm", "text/sgml"},
    {".sgml", "text/sgml"},
    {".sh", "application/x-sh"},
    {".shar", "application/x-shar"},
    {".shtml", "server-parsed-html"},
    {".shw", "application/presentations"},
    {".sid", "audio/prs.sid"},
    {".sit", "application/x-stuffit"},
    {".sitx", "application/x-stuffitx"},
    {".skd", "application/x-koan"},
    {".skm", "application/x-koan"},
    {".skp", "application/x-koan"},
    {".skt", "application/x-koan"},
    {".smf", "application/vnd.stardivision.math"},
    {".smi", "application/smil"},
    {".smil", "application/smil"},
    {".snd", "audio/basic"},
    {".spl", "application/futuresplash"},
    {".ssm", "application/streamingmedia"},
    {".sst", "application/vnd.ms-pki.certstore"},
    {".stc", "application/vnd.sun.xml.calc.template"},
    {".std", "application/vnd.sun.xml.draw.template"},
    {".sti", "application/vnd.sun.xml.impress.template"},
    {".stl", "application/vnd.ms-pki.stl"},
    {".stw", "application/vnd.sun.xml.writer.template"},
    {".sv4cpio", "application/x-sv4cpio"},
    {".sv4crc", "application/x-sv4crc"},
    {".svg", "image/svg+xml"},
    {".svgz", "image/svg+xml"},
    {".svi", "application/softvision"},
    {".swf", "application/x-shockwave-flash"},
    {".swf1", "application/x-shockwave-flash"},
    {".sxc", "application/vnd.sun.xml.calc"},
    {".sxg", "application/vnd.sun.xml.writer.global"},
    {".sxi", "application/vnd.sun.xml.impress"},
    {".sxm", "application/vnd.sun.xml.math"},
    {".sxw", "application/vnd.sun.xml.writer"},
    {".t", "application/x-troff"},
    {".tar", "application/x-tar"},
    {".targa", "image/x-targa"},
    {".tbz", "application/x-bzip-compressed-tar"},
    {".tbz2", "application/x-bzip-compressed-tar"},
    {".tcl", "application/x-tcl"},
    {".tex", "application/x-tex"},
    {".texi", "application/x-texinfo"},
    {".texinfo", "application/x-texinfo"},
    {".tgz", "application/x-compressed-tar"},
    {".tif", "image/x-tiff"},
    {".tif", "image/tiff"},
    {".tlz", "application/x-lzip-compressed-tar"},
    {".torrent", "application/x-bittorrent"},
    {".tr", "application/x-troff"},
    {".trm", "application/x-msterminal"},
    {".troff", "application/x-troff"},
    {".tsp", "application/dsptype"},
    {".ttz", "application/t-time"},
    {".txt", "text/plain"},
    {".txz", "application/x-xz-compressed-tar"},
    {".udeb", "application/x-debian-package"},
    {".uin", "application/x-icq"},
    {".uls", "text/iuls"},
    {".urls", "application/x-url-list"},
    {".ustar", "application/x-ustar"},
    {".vcd", "application/x-cdlink"},
    {".vcf", "text/x-vcard"},
    {".vor", "application/vnd.stardivision.writer"},
    {".vsl", "application/x-cnet-vsl"},
    {".wav", "audio/x-wav"},
    {".wav", "audio/wav"},
    {".wax", "audio/x-ms-wax"},
    {".wb1", "application/x-quattropro"},
    {".wb2", "application/x-quattropro"},
    {".wb3", "application/x-quattropro"},
    {".wbmp", "image/vnd.wap.wbmp"},
    {".wcm", "application/vnd.ms-works"},
    {".wdb", "application/vnd.ms-works"},
    {".webm", "video/webm"},
    {".webp", "image/webp"},
    {".wks", "application/vnd.ms-works"},
    {".wm", "video/x-ms-wm"},
    {".wma", "audio/x-ms-wma"},
    {".wmd", "application/x-ms-wmd"},
    {".wml", "text/vnd.wap.wml"},
    {".wmlc", "application/vnd.wap.wmlc"},
    {".wmls", "text/vnd.wap.wmlscript"},
    {".wmlsc", "application/vnd.wap.wmlscriptc"},
    {".wmp", "video/x-ms-wmp"},
    {".wms", "application/x-ms-wms"},
    {".wmv", "video/x-ms-wmv"},
    {".wmx", "video/x-ms-wmx"},
    {".wmz", "application/x-ms-wmz"},
    {".wp5", "application/vnd.wordperfect5.1"},
    {".wpd", "application/vnd.wordperfect"},
    {".wpl", "application/vnd.ms-wpl"},
    {".wps", "application/vnd.ms-works"},
    {".wri", "application/x-mswrite"},
    {".wsc", "text/scriptlet"},
    {".wvx", "video/x-ms-wvx"},
    {".xbm", "image/x-xbitmap"},
    {".xfdf", "application/vnd.adobe.xfdf"},
    {".xht", "application/xhtml+xml"},
    {".xhtml", "application/xhtml+xml"},
    {".xlb", "application/vnd.ms-excel"},
    {".xls", "application/vnd.ms-excel"},
    {".xml", "text/xml"},
    {".xml", "application/xml"},
    {".xpi", "application/x-xpinstall"},
    {".xpm", "image/x-xpixmap"},
    {".xps", "application/vnd.ms-xpsdocument"},
    {".xsd", "text/xml"},
    {".xul", "application/vnd.mozilla.xul+xml"},
    {".xwd", "image/x-xwindowdump"},
    {".z", "application/x-compress"},
    {".zip", "application/x-zip-compressed"},
    {".zip", "application/zip"},
    {".zoo", "application/x-zoo"},
}};

// Types a web view needs exactly (WebAssembly streaming, JSON and module scripts, SVG images,
// fonts, media). They win over the built-in list and over the system's registrations, which on
// Windows often lack them or name older types.
constexpr TMimeLine kWebMimeTypes[] = {
    {".wasm", "application/wasm"}, {".json", "application/json"}, {".mjs", "text/javascript"},
    {".js", "text/javascript"},    {".svg", "image/svg+xml"},     {".css", "text/css"},
    {".htm", "text/html"},         {".html", "text/html"},        {".woff", "font/woff"},
    {".woff2", "font/woff2"},      {".ttf", "font/ttf"},          {".otf", "font/otf"},
    {".mp4", "video/mp4"},         {".webm", "video/webm"},       {".mp3", "audio/mpeg"},
    {".ogg", "audio/ogg"},         {".m4a", "audio/mp4"},
};

bool IsMimeBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const TMimeTable& ProcessMimeTable() {
  // Built once, on first use, and kept: a function-local static is initialised thread-safely.
  static const TMimeTable table([] {
    TMimeTable::TOverlay overlay;
    if (!platform::RegisteredMimeTypes(overlay))
      overlay = ReadMimeTypesFile(std::filesystem::path(kSystemMimeTypesPath));
    return WithWebMimeTypes(std::move(overlay));
  }());
  return table;
}

}  // namespace

TMimeTable::TMimeTable(const TOverlay& overlay) {
  FTypes.reserve(kBuiltInMimeLines.size() + overlay.size());
  for (const TMimeLine& line : kBuiltInMimeLines) {
    FTypes.emplace(text::AsciiLower(line.Extension), text::AsciiLower(line.Type));
  }
  for (const auto& [extension, type] : overlay) {
    if (extension.empty() || type.empty()) continue;
    FTypes.insert_or_assign(text::AsciiLower(extension), text::AsciiLower(type));
  }
}

std::string TMimeTable::Lookup(std::string_view fileName) const {
  const std::string_view extension = TStrUtils::FileExtension(fileName);
  if (extension.empty()) return std::string(kDefaultMimeType);
  const auto it = FTypes.find(text::AsciiLower(extension));
  return it != FTypes.end() ? it->second : std::string(kDefaultMimeType);
}

TMimeTable::TOverlay WithWebMimeTypes(TMimeTable::TOverlay overlay) {
  for (const TMimeLine& line : kWebMimeTypes)
    overlay.emplace_back(line.Extension, line.Type);
  return overlay;
}

TMimeTable::TOverlay ReadMimeTypesFile(const std::filesystem::path& path) {
  TMimeTable::TOverlay overlay;
  std::ifstream in(path, std::ios::binary);
  if (!in) return overlay;
  std::unordered_set<std::string> seen;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view rest(line);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
      rest = rest.substr(0, hash);
    }
    std::vector<std::string_view> words;
    while (!rest.empty()) {
      std::size_t start = 0;
      while (start < rest.size() && IsMimeBlank(rest[start]))
        ++start;
      std::size_t end = start;
      while (end < rest.size() && !IsMimeBlank(rest[end]))
        ++end;
      if (end > start) words.push_back(rest.substr(start, end - start));
      rest.remove_prefix(end);
    }
    if (words.size() < 2) continue;
    const std::string type = text::AsciiLower(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
      std::string extension = "." + text::AsciiLower(words[i]);
      // Debian's list names a few extensions under two types; its first (alphabetical) line is
      // the conventional one (.sh application/x-sh rather than text/x-sh).
      if (seen.insert(extension).second) overlay.emplace_back(std::move(extension), type);
    }
  }
  return overlay;
}

std::string TStrUtils::GetFileMIMEType(std::string_view fileName) {
  return ProcessMimeTable().Lookup(fileName);
}

std::string TStrUtils::ResponseMimeType(std::string_view path) {
  const std::string extension = text::AsciiLower(FileExtension(path));
  if (extension == ".js" || extension == ".mjs") return "text/javascript";
  return GetFileMIMEType(path);
}

std::span<const TMimeLine> TStrUtils::BuiltInMimeLines() {
  return kBuiltInMimeLines;
}

}  // namespace velloc
