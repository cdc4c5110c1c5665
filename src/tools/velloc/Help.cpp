// `velloc COMMAND --help`: what each command does and every option it takes.
#include <array>
#include <utility>

#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kHelp = {{
    {"init",
     "Usage: velloc init DIR [--name NAME] [--template TEMPLATE]\n"
     "Creates a small application in DIR (made when missing). Refuses a DIR that has a vlx.ini\n"
     "already, and never overwrites a file.\n"
     "  --name NAME          the application's name and window title (default: the folder's\n"
     "                       name)\n"
     "  --template TEMPLATE  plain (default): vlx.ini, the page app/index.html with\n"
     "                       app/style.css and the module app/main.js, vlx.d.ts (the typings\n"
     "                       of window.vlx), jsconfig.json (editors type-check app/*.js\n"
     "                       against them) and a README.md;\n"
     "                       vite, vite-react: a Vite project (plain JavaScript, or React)\n"
     "                       whose `npm run dev` shows Vite's server in the application's\n"
     "                       window with hot reload (through velloc run), and whose\n"
     "                       `npm run build` builds into app/ and packs the executable\n"},
    {"pack",
     "Usage: velloc pack DIR [options]\n"
     "Packs the application folder DIR (its vlx.ini, the folder named by DirName and the optional\n"
     "vlx-webviewjs) behind a copy of the runtime: one executable. Warns, naming the line, of\n"
     "sections, keys and values of vlx.ini the runtime would ignore, and of a missing start page.\n"
     "  -o, --output FILE  the executable to write (default: the application's ID, here)\n"
     "  --target SYSTEM    linux (default) or windows: the runtime to pack onto; Windows runtimes\n"
     "                     come from $VELLOC_WINDOWS_DIR, windows/ beside velloc or the build\n"
     "                     tree's windows/bin (the windows CMake preset builds it)\n"
     "  --runtime PATH     the runtime to pack onto (default: the target's, beside velloc)\n"
     "  --module PATH      the web view module: WebKitGTK's, or WebView2LoaderWin64.dll for\n"
     "                     Windows, Microsoft's or ours (default: the one beside the runtime)\n"
     "  --installer PATH   the web view installer: a script that installs WebKitGTK (default:\n"
     "                     the built-in one), or Microsoft's WebView2 bootstrapper for Windows\n"
     "  --icon FILE        the application's icon, PNG or SVG (default: Velloc's); a Windows\n"
     "                     executable also takes it as its own icon (PNG, at most 64 KiB)\n"
     "  --deb              also build a Debian package beside the executable: the executable,\n"
     "                     a command, its desktop entry, icons, metainfo and file types\n"
     "                     (vlx.ini section [Desktop]); its dependencies are the runtime's\n"
     "  --rpm              also build an RPM package beside the executable, with the same files;\n"
     "                     it requires the libraries the runtime and its module link to\n"
     "  --msi              also build a Windows installer beside a Windows executable: a per-user\n"
     "                     install with a Start-menu shortcut and the schemes and file types of\n"
     "                     [Desktop]; its version is [Desktop] Version (see velloc msi --help)\n"
     "  --desktop-files DIR  also write the desktop entry, icons, metainfo and file types into\n"
     "                     DIR, laid out as /usr/share, for other packagers\n"
     "  --debug            pack the unstripped runtime and module, with their debug sections\n"
     "  --force            replace FILE even when it is not an executable velloc packed (an\n"
     "                     output inside the web folder, or over a file the pack reads, is\n"
     "                     refused all the same)\n"
     "  -q, --quiet        no progress and no summary\n"},
    {"run",
     "Usage: velloc run DIR [options]\n"
     "Runs the application folder DIR as it would run packed, without packing it for good: saved\n"
     "changes reload the page (a change to vlx.ini or vlx-webviewjs restarts the application), "
     "and\n"
     "the page's console messages, uncaught errors and failed loads appear on the terminal.\n"
     "Ctrl+C stops it.\n"
     "  --inspect        open the web inspector, docked below the page\n"
     "  --url URL        show the development server at URL (on this machine: localhost,\n"
     "                   127.0.0.1 or [::1]) instead of the start page, with the bridge; its\n"
     "                   own hot reload updates the page, and the package's pages still open\n"
     "                   from DIR (vlx.app.navigate, new windows)\n"
     "  --runtime PATH   the runtime to run on (default: velloc-runtime beside velloc)\n"
     "  --module PATH    the WebKitGTK module (default: the one beside the runtime)\n"},
    {"msi",
     "Usage: velloc msi EXE [-o FILE]\n"
     "Builds a per-user Windows installer (MSI, with wixl) of an executable packed for Windows,\n"
     "signed or not, from the configuration and icon in its package: sign the executable first,\n"
     "then build the installer and sign it too. It installs the executable as\n"
     "%LOCALAPPDATA%\\Programs\\<Name>\\<Name>.exe, a Start-menu shortcut, an entry in the\n"
     "installed apps and the URL schemes and file types of [Desktop], and removes them again.\n"
     "  -o, --output FILE  the installer to write (default: EXE's name and the version, .msi)\n"},
    {"info",
     "Usage: velloc info EXE\n"
     "Shows what a packed executable carries: every key of its configuration with the value the\n"
     "runtime reads, \"(default)\" where the file sets none (the password's value is not shown),\n"
     "and the package's entries.\n"},
    {"keygen",
     "Usage: velloc keygen [-o FILE]\n"
     "Writes a new Ed25519 key pair for signing an application's updates: the secret key to FILE\n"
     "(default velloc-update.key, readable by you only) and the public key to FILE.pub, and\n"
     "prints the public key as vlx.ini's [Update] PublicKey. Never overwrites a file. Keep the\n"
     "secret key and a copy of it safe: updates signed with another key are refused.\n"},
    {"update-manifest",
     "Usage: velloc update-manifest EXE --url URL --key FILE [options]\n"
     "Writes the signed manifest of the packed executable EXE: its application ID and version\n"
     "(from its vlx.ini), platform, size, SHA-256 and release notes, signed with the secret key.\n"
     "Upload EXE to URL and the manifest to the address of vlx.ini's [Update] ManifestURL.\n"
     "  --url URL          where EXE will be downloaded from (https://)\n"
     "  --key FILE         the secret key of velloc keygen\n"
     "  --notes TEXT       release notes the application can show\n"
     "  --notes-file FILE  release notes from a file (UTF-8, at most 32 KiB)\n"
     "  -o, --output FILE  the manifest to write (default: EXE.json)\n"},
    {"extract",
     "Usage: velloc extract EXE DIR\n"
     "Writes the files of a packed executable's package into DIR; refuses entry names that would\n"
     "land outside DIR.\n"},
}};

}  // namespace

std::string_view CommandHelp(std::string_view command) {
  for (const auto& [name, text] : kHelp) {
    if (name == command) return text;
  }
  return {};
}

}  // namespace velloc::cli
