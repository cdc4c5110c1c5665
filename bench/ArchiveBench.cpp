// Package archive speed: opening a large package, name lookups, and extraction of a 16 MiB entry
// measured against the raw work it cannot avoid (libdeflate inflate, PKWARE decryption, a copy)
// on the same bytes in the same run. The "vs_raw" counter is raw time / extraction time: 1.0
// means no overhead; the goal is 0.9 or more.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "archive/PackagePassword.h"
#include "archive/PkwareCrypto.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"

namespace {

using velloc::archive::ExtractResult;
using velloc::archive::PkwareCipher;
using velloc::archive::TZipArchive;
using velloc::archive::TZipEntry;
using velloc::archive::TZipWriter;
using velloc::archive::ZipMethod;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kBigSize = 16u * 1024 * 1024;
constexpr int kManyEntries = 10000;

// Script-like text: a vocabulary of tokens in pseudo-random order compresses about as well as
// minified JavaScript (3-4x).
Bytes ScriptText(std::size_t size, std::uint32_t seed) {
  static const char* const kTokens[] = {
      "function", "return",   "const",  "let",     "var",      "if",   "else",  "for",
      "while",    "document", "window", "vlx",     "callback", "=>",   "===",   "!==",
      "{",        "}",        "(",      ")",       ";",        ",",    ".",     "\n",
      "  ",       "this",     "new",    "Promise", "await",    "true", "false", "null",
      "0",        "1",        "42",     "'click'", "\"id\"",   "map",  "push",  "length"};
  Bytes out;
  out.reserve(size + 16);
  std::uint32_t x = seed;
  while (out.size() < size) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const char* token = kTokens[x % std::size(kTokens)];
    out.insert(out.end(), token, token + std::strlen(token));
    if ((x >> 8) % 3 == 0) out.push_back(' ');
    if ((x >> 12) % 50 == 0) {  // identifiers that repeat less
      for (int i = 0; i < 6; ++i)
        out.push_back(static_cast<std::uint8_t>('a' + (x >> (i * 4)) % 26));
    }
  }
  out.resize(size);
  return out;
}

struct Fixture {
  std::string Password = velloc::archive::PackagePassword();
  Bytes Big = ScriptText(kBigSize, 12345);
  Bytes Many;
  std::vector<std::string> ManyNames;
  // Single-entry packages of Big: stored, Deflate, each plain and encrypted.
  Bytes Packages[2][2];

  Fixture() {
    for (int method = 0; method < 2; ++method) {
      for (int encrypted = 0; encrypted < 2; ++encrypted) {
        TZipWriter writer;
        if (encrypted != 0) writer.Password(Password);
        writer.AddFile("app/big.js", Big, method == 0 ? ZipMethod::Stored : ZipMethod::Deflate);
        writer.Finish();
        Packages[method][encrypted] = writer.TakeBytes();
      }
    }
    TZipWriter writer;
    writer.Password(Password);
    for (int i = 0; i < kManyEntries; ++i) {
      std::string name = "app/modules/group" + std::to_string(i / 100) + "/Component" +
                         std::to_string(i) +
                         (i % 3 == 0   ? ".js"
                          : i % 3 == 1 ? ".css"
                                       : ".html");
      const Bytes content = ScriptText(200 + static_cast<std::size_t>(i % 7) * 300,
                                       static_cast<std::uint32_t>(i + 1));
      writer.AddFile(name, content, ZipMethod::Deflate);
      ManyNames.push_back(std::move(name));
    }
    writer.Finish();
    Many = writer.TakeBytes();
  }
};

const Fixture& Data() {
  static const Fixture fixture;
  return fixture;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_Open10kEntries(benchmark::State& state) {
  const Fixture& data = Data();
  for (auto _ : state) {
    TZipArchive archive;
    archive.Password(data.Password);
    archive.Stream(data.Many);
    benchmark::DoNotOptimize(archive.EntryCount());
  }
  state.counters["entries"] = kManyEntries;
  state.counters["package_MB"] = static_cast<double>(data.Many.size()) / 1e6;
}
BENCHMARK(BM_Open10kEntries)->Unit(benchmark::kMillisecond);

void BM_FindFile(benchmark::State& state) {
  const Fixture& data = Data();
  TZipArchive archive;
  archive.Stream(data.Many);
  // Every name once as stored, once upper-cased, and a name that is missing.
  std::vector<std::string> queries;
  for (std::size_t i = 0; i < data.ManyNames.size(); i += 7) {
    queries.push_back(data.ManyNames[i]);
    std::string upper = data.ManyNames[i];
    for (char& c : upper)
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    queries.push_back(upper);
    queries.push_back(data.ManyNames[i] + ".missing");
  }
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(archive.FindFile(queries[next]));
    if (++next == queries.size()) next = 0;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FindFile);

// One extraction of the 16 MiB entry beside the raw work on the same bytes. Both write into
// buffers that are reused between iterations, so neither pays for fresh pages. buffer:0 is
// Extract (appending to a vector, which zero-fills before inflating), buffer:1 is ExtractTo (a
// caller-sized buffer, as a tool writing files would use).
void BM_Extract16MiB(benchmark::State& state) {
  const Fixture& data = Data();
  const bool deflate = state.range(0) != 0;
  const bool encrypted = state.range(1) != 0;
  const bool intoBuffer = state.range(2) != 0;  // ExtractTo instead of Extract
  const Bytes& package = data.Packages[deflate ? 1 : 0][encrypted ? 1 : 0];
  TZipArchive archive;
  archive.Password(data.Password);
  archive.Stream(package);
  const TZipEntry entry = archive.Entry(0);
  const std::uint8_t* stored = package.data() + entry.LocalHeaderOffset + 30 + entry.Name.size();

  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  Bytes rawOut(kBigSize);
  Bytes rawPlain(entry.CompressedSize);
  Bytes out;
  out.reserve(kBigSize);
  Bytes extractOut(kBigSize);

  std::chrono::steady_clock::duration rawTime{}, extractTime{};
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    const std::uint8_t* input = stored;
    std::size_t inputSize = entry.CompressedSize;
    if (encrypted) {
      PkwareCipher cipher(data.Password);
      cipher.Decrypt(input, rawPlain.data(), inputSize);
      input = rawPlain.data() + 12;
      inputSize -= 12;
    }
    if (deflate) {
      if (libdeflate_deflate_decompress(inflater, input, inputSize, rawOut.data(), kBigSize,
                                        nullptr) != LIBDEFLATE_SUCCESS) {
        state.SkipWithError("raw inflate failed");
        break;
      }
    } else if (!encrypted) {
      std::memcpy(rawOut.data(), input, inputSize);
    }
    benchmark::DoNotOptimize(rawOut.data());
    auto t1 = std::chrono::steady_clock::now();
    ExtractResult result;
    if (intoBuffer) {
      result = archive.ExtractTo(0, extractOut);
    } else {
      out.clear();
      result = archive.Extract(0, out);
    }
    auto t2 = std::chrono::steady_clock::now();
    if (result != ExtractResult::Ok || (!intoBuffer && out.size() != kBigSize)) {
      state.SkipWithError("extraction failed");
      break;
    }
    rawTime += t1 - t0;
    extractTime += t2 - t1;
    state.SetIterationTime(Seconds(t2 - t1));
  }
  libdeflate_free_decompressor(inflater);

  const double mb = static_cast<double>(kBigSize) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["extract_MBps"] = mb / Seconds(extractTime);
  state.counters["raw_MBps"] = mb / Seconds(rawTime);
  state.counters["vs_raw"] = Seconds(rawTime) / Seconds(extractTime);
  state.counters["compressed_MB"] = static_cast<double>(entry.CompressedSize) / 1e6;
  state.SetBytesProcessed(static_cast<std::int64_t>(kBigSize) * state.iterations());
}
BENCHMARK(BM_Extract16MiB)
    ->ArgNames({"deflate", "encrypted", "buffer"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The cipher alone: a serial chain through every byte, so this is the ceiling for encrypted
// entries.
void BM_PkwareDecrypt(benchmark::State& state) {
  const Fixture& data = Data();
  Bytes out(kBigSize);
  for (auto _ : state) {
    PkwareCipher cipher(data.Password);
    cipher.Decrypt(data.Big.data(), out.data(), kBigSize);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(kBigSize) * state.iterations());
}
BENCHMARK(BM_PkwareDecrypt)->Unit(benchmark::kMillisecond);

void BM_Crc32(benchmark::State& state) {
  const Fixture& data = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(libdeflate_crc32(0, data.Big.data(), kBigSize));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(kBigSize) * state.iterations());
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

// A package like an application's: a few thousand files of mixed size, text deflated and
// already-compressed media stored, all encrypted under the package password. Used by
// scripts/bench-extract.sh to compare whole-package extraction with unzip.
int WritePackage(const char* path, int files) {
  const std::string password = velloc::archive::PackagePassword();
  TZipWriter writer(path);
  writer.Password(password);
  std::uint64_t total = 0;
  for (int i = 0; i < files; ++i) {
    const auto seed = static_cast<std::uint32_t>(i * 7919 + 1);
    std::string folder = "app/section" + std::to_string(i % 40) + "/";
    std::size_t size;
    std::string name;
    Bytes content;
    if (i % 10 == 9) {  // images: incompressible, stored
      size = 5000 + (seed % 200000);
      name = folder + "image" + std::to_string(i) + ".png";
      content.resize(size);
      std::uint32_t x = seed;
      for (auto& b : content) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
      }
    } else {
      size = i % 100 == 0 ? 200000 + (seed % 800000) : 300 + (seed % 30000);
      name = folder + "page" + std::to_string(i) +
             (i % 3 == 0   ? ".js"
              : i % 3 == 1 ? ".css"
                           : ".html");
      content = ScriptText(size, seed);
    }
    writer.AddFile(name, content,
                   velloc::archive::ShouldStore(name) ? ZipMethod::Stored : ZipMethod::Deflate);
    total += size;
  }
  writer.Finish();
  std::printf("%s: %d files, %.1f MB of content, %.1f MB package\n", path, files,
              static_cast<double>(total) / 1e6, static_cast<double>(writer.BytesWritten()) / 1e6);
  return 0;
}

}  // namespace

// archive_bench [benchmark options]      runs the benchmarks
// archive_bench --write-package OUT [N]  writes a test package of N files (default 3000)
// archive_bench --print-password         prints the package password, for unzip -P
int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--write-package") == 0) {
    return WritePackage(argv[2], argc >= 4 ? std::atoi(argv[3]) : 3000);
  }
  if (argc == 2 && std::strcmp(argv[1], "--print-password") == 0) {
    std::printf("%s\n", velloc::archive::PackagePassword().c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
