// e2e-rawpack RUNTIME OUTPUT ENTRY=FILE...: attaches a package with exactly the given entries to
// a copy of RUNTIME, encrypted as the runtime expects. Unlike `velloc pack` it checks nothing,
// so the tests can build the packages that the packer refuses (no DirName, no vlx.ini).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "archive/PackagePassword.h"
#include "archive/ZipWriter.h"
#include "package/ExeUtils.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: e2e-rawpack RUNTIME OUTPUT [ENTRY=FILE...]\n");
    return 2;
  }
  const fs::path runtime = argv[1];
  const fs::path output = argv[2];
  const fs::path zip = output.string() + ".zip";
  try {
    {
      velloc::archive::TZipWriter writer(zip);
      writer.Password(velloc::archive::PackagePassword());
      for (int i = 3; i < argc; ++i) {
        const std::string item = argv[i];
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) throw std::runtime_error("not ENTRY=FILE: " + item);
        writer.AddFileFromDisk(item.substr(0, eq), item.substr(eq + 1),
                               velloc::archive::ZipMethod::Deflate);
      }
      writer.Finish();
    }
    fs::copy_file(runtime, output, fs::copy_options::overwrite_existing);
    velloc::package::TExeUtils(output).AppendZipToExe(zip, output);
    fs::remove(zip);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "e2e-rawpack: %s\n", error.what());
    return 1;
  }
  return 0;
}
