// What an ELF program or library needs from the system's libraries, read from its own dynamic
// section (DT_NEEDED) and symbol version needs (.gnu.version_r), and the dependencies an RPM
// package states for it in RPM's own form, as RPM's automatic dependency generator (elfdeps)
// writes them: "libgtk-3.so.0()(64bit)", "libc.so.6(GLIBC_2.34)(64bit)", "rtld(GNU_HASH)".
// The packed executable carries the WebKit module inside its package, where rpmbuild cannot see
// it, so `velloc pack --rpm` states the needs of both itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velloc::cli {

struct TElfNeeds {
  bool Elf64 = true;
  bool BigEndian = false;
  std::uint16_t Machine = 0;        // e_machine
  std::vector<std::string> Needed;  // DT_NEEDED, in file order
  // (library, version) of every symbol version needed, in file order.
  std::vector<std::pair<std::string, std::string>> Versions;
  bool GnuHashOnly = false;  // DT_GNU_HASH without DT_HASH: needs a loader that knows it
};

// Reads an ELF image; throws TCliError when it is not one or its tables point outside it.
TElfNeeds ReadElfNeeds(std::span<const std::uint8_t> image);

// The RPM dependencies of these images, sorted, each once. "(64bit)" marks the libraries of a
// 64-bit image (as elfdeps does everywhere but on Alpha); glibc's private version
// (GLIBC_PRIVATE) is left out, as no distribution's glibc promises it to others.
std::vector<std::string> RpmRequires(const std::vector<TElfNeeds>& images);

// RPM's name for the image's architecture ("x86_64", "aarch64"...); throws TCliError for one
// this packer does not know.
std::string RpmArchitecture(const TElfNeeds& image);

}  // namespace velloc::cli
