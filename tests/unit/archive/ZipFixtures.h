// Fixtures for the archive tests: a raw ZIP builder that writes exactly the fields it is given
// (so tests can describe damaged or unusual archives), and a scratch folder for tool runs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libdeflate.h>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "archive/PkwareCrypto.h"
#include "common/ScratchDir.h"

namespace velloc::archive::fixtures {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

inline std::uint32_t Crc(std::span<const std::uint8_t> data) {
  return static_cast<std::uint32_t>(libdeflate_crc32(0, data.data(), data.size()));
}

inline Bytes Deflate(std::span<const std::uint8_t> data) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  Bytes out(libdeflate_deflate_compress_bound(c, data.size()));
  out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

// Text that compresses well, like the pages and scripts of an application.
inline Bytes SampleText(std::size_t size, std::uint32_t seed = 1) {
  static const char* const kWords[] = {"function", "return", "const", "window", "document",
                                       "vlx",      "=>",     "{",     "}",      "(",
                                       ")",        ";",      "\n",    "  ",     "let"};
  Bytes out;
  out.reserve(size + 16);
  std::uint32_t x = seed;
  while (out.size() < size) {
    x = x * 1664525u + 1013904223u;
    const std::string_view w = kWords[(x >> 16) % std::size(kWords)];
    out.insert(out.end(), w.begin(), w.end());
    out.push_back(' ');
  }
  out.resize(size);
  return out;
}

inline Bytes NoiseBytes(std::size_t size, std::uint32_t seed = 7) {
  Bytes out(size);
  std::uint32_t x = seed;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

// One entry exactly as it goes into the archive.
struct RawEntry {
  std::string Name;  // raw name bytes
  Bytes Data;        // the bytes after the local header: encryption header, then (compressed) data
  std::uint16_t VersionNeeded = 20;
  std::uint16_t Flags = 0;
  std::uint16_t Method = 0;
  std::uint16_t ModTime = 0x6000;  // 12:00:00
  std::uint16_t ModDate = 0x5A21;  // 2025-01-01
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;  // written as given (normally Data.size())
  std::uint32_t UncompressedSize = 0;
  Bytes CentralExtra;
  Bytes LocalExtra;
  // Offset written into the directory; by default the real one.
  std::int64_t OffsetOverride = -1;
  bool WriteLocal = true;  // false: the directory record only (it points at another entry)
};

inline RawEntry Stored(std::string name, std::span<const std::uint8_t> plain) {
  RawEntry e;
  e.Name = std::move(name);
  e.Data.assign(plain.begin(), plain.end());
  e.Crc32 = Crc(plain);
  e.CompressedSize = static_cast<std::uint32_t>(plain.size());
  e.UncompressedSize = static_cast<std::uint32_t>(plain.size());
  return e;
}

inline RawEntry Deflated(std::string name, std::span<const std::uint8_t> plain) {
  RawEntry e = Stored(std::move(name), plain);
  e.Method = 8;
  e.Data = Deflate(plain);
  e.CompressedSize = static_cast<std::uint32_t>(e.Data.size());
  return e;
}

// Encrypts the entry's data; the check byte follows the rule for its flags.
inline RawEntry Encrypted(RawEntry e, std::string_view password) {
  e.Flags |= 1;
  PkwareCipher cipher(password);
  Bytes header = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0};
  header.back() = static_cast<std::uint8_t>((e.Flags & 8) ? e.ModTime >> 8 : e.Crc32 >> 24);
  cipher.Encrypt(header);
  cipher.Encrypt(e.Data);
  e.Data.insert(e.Data.begin(), header.begin(), header.end());
  e.CompressedSize = static_cast<std::uint32_t>(e.Data.size());
  return e;
}

inline void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& out, std::uint32_t v) {
  for (int s = 0; s < 32; s += 8)
    out.push_back(static_cast<std::uint8_t>(v >> s));
}

inline void Set16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int s = 0; s < 32; s += 8)
    b[at + static_cast<std::size_t>(s / 8)] = static_cast<std::uint8_t>(v >> s);
}

inline Bytes BuildZip(const std::vector<RawEntry>& entries) {
  Bytes out;
  std::vector<std::uint32_t> offsets;
  for (const RawEntry& e : entries) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    if (!e.WriteLocal) continue;
    Put32(out, 0x04034B50);
    Put16(out, e.VersionNeeded);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put16(out, e.ModTime);
    Put16(out, e.ModDate);
    Put32(out, e.Crc32);
    Put32(out, e.CompressedSize);
    Put32(out, e.UncompressedSize);
    Put16(out, static_cast<std::uint32_t>(e.Name.size()));
    Put16(out, static_cast<std::uint32_t>(e.LocalExtra.size()));
    out.insert(out.end(), e.Name.begin(), e.Name.end());
    out.insert(out.end(), e.LocalExtra.begin(), e.LocalExtra.end());
    out.insert(out.end(), e.Data.begin(), e.Data.end());
  }
  const auto directoryOffset = static_cast<std::uint32_t>(out.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    Put32(out, 0x02014B50);
    Put16(out, 0x031E);
    Put16(out, e.VersionNeeded);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put16(out, e.ModTime);
    Put16(out, e.ModDate);
    Put32(out, e.Crc32);
    Put32(out, e.CompressedSize);
    Put32(out, e.UncompressedSize);
    Put16(out, static_cast<std::uint32_t>(e.Name.size()));
    Put16(out, static_cast<std::uint32_t>(e.CentralExtra.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, e.OffsetOverride >= 0 ? static_cast<std::uint32_t>(e.OffsetOverride) : offsets[i]);
    out.insert(out.end(), e.Name.begin(), e.Name.end());
    out.insert(out.end(), e.CentralExtra.begin(), e.CentralExtra.end());
  }
  const auto directorySize = static_cast<std::uint32_t>(out.size() - directoryOffset);
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(entries.size()));
  Put16(out, static_cast<std::uint32_t>(entries.size()));
  Put32(out, directorySize);
  Put32(out, directoryOffset);
  Put16(out, 0);
  return out;
}

// A scratch folder removed with its content at the end of the test.
class TempDir : public velloc::testing::ScratchDir {
 public:
  TempDir() : ScratchDir("velloc-archive") {}
};

inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> data) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#ifndef _WIN32
// Runs a shell command and returns its exit status (-1 when it could not run).
inline int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

inline bool HaveTool(const std::string& name) {
  return RunShell("command -v " + name + " >/dev/null 2>&1") == 0;
}
#endif

}  // namespace velloc::archive::fixtures
