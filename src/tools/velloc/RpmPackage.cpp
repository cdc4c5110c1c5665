#include "tools/velloc/RpmPackage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/velloc/Cli.h"
#include "tools/velloc/ElfNeeds.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TCliError("cannot read \"" + path.string() + "\": " + std::strerror(errno));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TElfNeeds NeedsOf(const fs::path& path) {
  try {
    return ReadElfNeeds(ReadBytes(path));
  } catch (const TCliError& error) {
    throw TCliError("\"" + path.string() + "\": " + error.what());
  }
}

}  // namespace

TRpmVersion RpmVersion(std::string_view debianVersion) {
  TRpmVersion rpm{std::string(debianVersion), "1"};
  if (const auto dash = debianVersion.rfind('-'); dash != std::string_view::npos) {
    rpm.Version = debianVersion.substr(0, dash);
    if (dash + 1 < debianVersion.size()) rpm.Release = debianVersion.substr(dash + 1);
  }
  for (char& c : rpm.Version) {
    if (c == '-') c = '_';
  }
  return rpm;
}

std::string RpmSpecText(std::string_view text) {
  std::string escaped;
  for (const char c : DesktopText(text)) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

std::string RpmSpecFileText(const TDesktopApp& app, const TRpmVersion& version,
                            const std::vector<std::string>& dependencies,
                            const std::vector<std::string>& files) {
  const std::string package = DebianPackageName(app.Id);
  std::string name = RpmSpecText(app.Name);
  if (name.empty()) name = RpmSpecText(app.Id);
  const std::string comment = RpmSpecText(app.Desktop.Comment);
  std::string spec =
      "# Written by velloc pack --rpm. The files are staged already: nothing is built, stripped\n"
      "# or scanned for dependencies here.\n"
      "%global __spec_install_post %{nil}\n"
      "%global debug_package %{nil}\n"
      "%global _build_id_links none\n"
      "Name: " +
      package + "\nVersion: " + version.Version + "\nRelease: " + version.Release +
      "\nSummary: " + (comment.empty() ? name : comment) + "\nLicense: Unspecified\n";
  if (const std::string packager = RpmSpecText(app.Desktop.Maintainer); !packager.empty())
    spec += "Packager: " + packager + "\n";
  spec += "AutoReqProv: no\n";
  for (const std::string& library : dependencies)
    spec += "Requires: " + library + "\n";
  spec += "\n%description\n" + name + ", a web application packed with Velloc.\n";
  spec += "\n%install\ncp -a root/. \"$RPM_BUILD_ROOT\"/\n";
  spec += "\n%files\n%defattr(-,root,root,-)\n%dir /usr/lib/" + package + "\n";
  for (const std::string& file : files)
    spec += file + "\n";
  return spec;
}

TRpmPlan PlanRpmPackage(const fs::path& runtime, const fs::path& module, const fs::path& folder) {
  RequireProgram("rpmbuild", "rpm");
  // rpmbuild puts its folders into macros and shell scripts in double quotes: a folder name
  // with these characters would be expanded or end the quotes.
  const std::string path = fs::absolute(folder).string();
  if (path.find_first_of("%\"\\$`\n\r") != std::string::npos) {
    throw TCliError("rpmbuild cannot build in \"" + path +
                    "\" (its path holds % \" \\ $ ` or a line break); write the executable into "
                    "another folder");
  }
  const TElfNeeds runtimeNeeds = NeedsOf(runtime);
  return {RpmArchitecture(runtimeNeeds), RpmRequires({runtimeNeeds, NeedsOf(module)})};
}

fs::path BuildRpmPackage(const TDesktopApp& app, const fs::path& executable, const TRpmPlan& plan,
                         const fs::path& folder) {
  const fs::path output = fs::absolute(folder);
  const std::string& architecture = plan.Architecture;
  const TRpmVersion version = RpmVersion(app.Desktop.Version);

  // Beside the output, so the finished package is renamed into place; private, so it holds
  // nothing that another user of a shared folder put there.
  const TPrivateFolder work(output, ".velloc-rpm-");
  const fs::path build = work.Path() / "BUILD";
  const std::vector<std::string> files = StageInstalledFiles(app, executable, build / "root");
  const fs::path spec = work.Path() / "package.spec";
  WriteText(spec, RpmSpecFileText(app, version, plan.Dependencies, files));
  RunTool({"rpmbuild", "-bb", "--quiet", "--target", architecture, "--define",
           "_topdir " + work.Path().string(), "--define", "_builddir " + build.string(), "--define",
           "_rpmdir " + (work.Path() / "RPMS").string(), "--define", "_rpmfilename package.rpm",
           spec.string()},
          work.Path(), "rpm");

  const fs::path built = work.Path() / "RPMS" / "package.rpm";
  const fs::path rpm = output / (DebianPackageName(app.Id) + "-" + version.Version + "-" +
                                 version.Release + "." + architecture + ".rpm");
  // A rename replaces the name itself: it never writes through a link someone put there.
  if (std::rename(built.c_str(), rpm.c_str()) != 0)
    throw TCliError("cannot write \"" + rpm.string() + "\": " + std::strerror(errno));
  return rpm;
}

}  // namespace velloc::cli
