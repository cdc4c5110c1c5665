// velloc: packs web applications into one executable, and inspects or unpacks them.
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/Version.h"
#include "tools/velloc/Cli.h"
#include "tools/velloc/WindowsInstaller.h"

namespace velloc::cli {

std::filesystem::path ProgramFolder() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace velloc::cli

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  velloc init DIR [--name NAME] [--template T]   create a small application in DIR; T:\n"
    "                                                 plain (default), vite or vite-react\n"
    "  velloc pack DIR [-o|--output FILE] [--target linux|windows] [--runtime PATH] [--module "
    "PATH]\n"
    "              [--installer PATH] [--icon FILE] [--deb] [--rpm] [--msi]\n"
    "              [--desktop-files DIR] [--debug] [--force] [-q|--quiet]\n"
    "                                                 pack DIR into one executable\n"
    "  velloc run DIR [--inspect] [--url URL]         run DIR as it would run packed; saved\n"
    "             [--runtime PATH] [--module PATH]    changes reload it; console on the terminal;\n"
    "                                                 --url shows a development server instead\n"
    "  velloc msi EXE [-o FILE]                       a Windows installer of a packed executable\n"
    "  velloc info EXE                                show what an executable carries\n"
    "  velloc extract EXE DIR                         write a packaged application's files into "
    "DIR\n"
    "  velloc keygen [-o FILE]                        a key pair for signing updates\n"
    "  velloc update-manifest EXE --url URL --key FILE [--notes TEXT|--notes-file FILE]\n"
    "              [-o FILE]                          the signed manifest of an update\n"
    "  velloc registry list|get|set|delete ... [--db FILE]\n"
    "                                                 the user's registry values (velloc registry "
    "--help)\n"
    "  velloc --version | --help\n"
    "  velloc COMMAND --help                          a command's options in full\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "velloc: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velloc::cli;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string_view command = args[0];
  try {
    if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (command == "--version") {
      std::printf("velloc %s\n", std::string(velloc::kRuntimeVersion).c_str());
      return 0;
    }
    if (command == "registry") {
      RunRegistry({args.begin() + 1, args.end()});
      return 0;
    }
    // Options take the next argument; everything else is positional.
    std::vector<std::string_view> positional;
    TPackOptions pack;
    TManifestOptions manifest;
    bool inspect = false;
    std::string_view name;
    std::string url;
    std::string_view templateName;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string_view a = args[i];
      const auto value = [&]() -> std::string_view {
        if (i + 1 >= args.size()) throw TCliError(std::string(a) + " needs a value");
        return args[++i];
      };
      if ((a == "--help" || a == "-h") && !CommandHelp(command).empty()) {
        std::fputs(std::string(CommandHelp(command)).c_str(), stdout);
        return 0;
      }
      if (a == "-o" || a == "--output") {
        pack.Output = value();
      } else if (a == "--runtime") {
        pack.Runtime = value();
      } else if (a == "--module") {
        pack.Module = value();
      } else if (a == "--target") {
        pack.Target = value();
        if (pack.Target != "linux" && pack.Target != "windows") {
          throw TCliError("--target must be linux or windows, not \"" + pack.Target + "\"");
        }
      } else if (a == "--installer") {
        pack.Installer = value();
      } else if (a == "--icon") {
        pack.Icon = value();
      } else if (a == "--deb") {
        pack.Deb = true;
      } else if (a == "--rpm") {
        pack.Rpm = true;
      } else if (a == "--msi") {
        pack.Msi = true;
      } else if (a == "--desktop-files") {
        pack.DesktopFiles = value();
      } else if (a == "--key") {
        manifest.Key = value();
      } else if (a == "--notes") {
        manifest.Notes = value();
      } else if (a == "--notes-file") {
        manifest.NotesFile = value();
      } else if (a == "--name") {
        name = value();
      } else if (a == "--template") {
        templateName = value();
      } else if (a == "--inspect") {
        inspect = true;
      } else if (a == "--url") {
        url = value();
      } else if (a == "--debug") {
        pack.Debug = true;
      } else if (a == "--force") {
        pack.Force = true;
      } else if (a == "--quiet" || a == "-q") {
        pack.Quiet = true;
      } else if (a.starts_with("-") && a != "-") {
        return Usage(("unknown option " + std::string(a)).c_str());
      } else {
        positional.push_back(a);
      }
    }
    const auto need = [&](std::size_t count) {
      if (positional.size() != count)
        throw TCliError(std::string(command) + " takes " + std::to_string(count) +
                        (count == 1 ? " argument" : " arguments"));
    };
    if (command == "init") {
      need(1);
      RunInit(positional[0], name, templateName);
    } else if (command == "pack") {
      need(1);
      pack.AppFolder = positional[0];
      RunPack(pack);
    } else if (command == "run") {
      need(1);
      return RunDevelopment({positional[0], pack.Runtime, pack.Module, inspect, url});
    } else if (command == "msi") {
      need(1);
      const std::filesystem::path msi = RunWindowsInstaller(positional[0], pack.Output);
      if (!pack.Quiet) std::printf("Built the Windows installer \"%s\"\n", msi.c_str());
    } else if (command == "keygen") {
      need(0);
      RunKeygen(pack.Output);
    } else if (command == "update-manifest") {
      need(1);
      manifest.Executable = positional[0];
      manifest.Url = url;
      manifest.Output = pack.Output;
      RunUpdateManifest(manifest);
    } else if (command == "info") {
      need(1);
      RunInfo(positional[0]);
    } else if (command == "extract") {
      need(2);
      RunExtract(positional[0], positional[1]);
    } else {
      return Usage(("unknown command " + std::string(command)).c_str());
    }
  } catch (const TCliError& error) {
    std::fprintf(stderr, "velloc: %s\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: %s\n", error.what());
    return 2;
  }
  return 0;
}
