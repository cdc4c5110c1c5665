// velloc keygen and velloc update-manifest: the signing key of an application's updates, and the
// signed manifest that announces a new executable.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include <sys/stat.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "config/AppKeys.h"
#include "package/ExeUtils.h"
#include "platform/MappedFile.h"
#include "tools/velloc/Cli.h"
#include "update/Updater.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kSecretKeyHeader = "velloc update signing key";

std::string Quote(const fs::path& p) {
  return "\"" + p.string() + "\"";
}

std::string ReadText(const fs::path& path, std::size_t limit) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw TCliError("cannot read " + Quote(path));
  if (fs::file_size(path, ec) > limit)
    throw TCliError(Quote(path) + " is larger than " + std::to_string(limit) + " bytes");
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw TCliError("cannot read " + Quote(path));
  return text;
}

// Writes a new file (never over an existing one) with the given permissions.
void WriteNewFile(const fs::path& path, const std::string& text, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw TCliError("cannot write " + Quote(path) + ": " + std::strerror(errno));
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    fs::remove(path);
    throw TCliError("cannot write " + Quote(path));
  }
}

// The platform an executable is for, as manifests name it.
std::string PlatformOf(const fs::path& executable, package::ExeFormat format) {
  if (format == package::ExeFormat::Pe) return "windows-x86_64";
  std::ifstream in(executable, std::ios::binary);
  unsigned char header[20] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  const auto machine = static_cast<unsigned>(header[18] | (header[19] << 8));  // e_machine, LE
  if (machine == 62) return "linux-x86_64";
  if (machine == 183) return "linux-aarch64";
  throw TCliError(Quote(executable) + " is for a machine updates do not know (ELF machine " +
                  std::to_string(machine) + ")");
}

// The configuration inside a packed executable.
config::TProjectIni PackagedConfiguration(const fs::path& executable) {
  const std::shared_ptr<const platform::TMappedFile> bytes =
      package::TExeUtils(executable).MapZipFromExe();
  archive::TZipArchive zip;
  zip.Password(archive::PackagePassword());
  try {
    zip.Stream(bytes->Bytes(), bytes);
  } catch (const archive::ZipError& error) {
    throw TCliError(Quote(executable) + " carries no readable package: " + error.what());
  }
  std::vector<std::uint8_t> iniBytes;
  const int index = zip.FindFile("vlx.ini");
  if (index < 0 || zip.Entry(index).UncompressedSize > config::kMaxConfigFileSize ||
      zip.Extract(index, iniBytes) != archive::ExtractResult::Ok)
    throw TCliError(Quote(executable) + " carries no readable vlx.ini");
  config::TProjectIni ini;
  ini.LoadFromBytes(iniBytes);
  return ini;
}

}  // namespace

void RunKeygen(const fs::path& output) {
  const fs::path secretPath = output.empty() ? fs::path("velloc-update.key") : output;
  const fs::path publicPath = secretPath.string() + ".pub";
  std::error_code ec;
  for (const fs::path& path : {secretPath, publicPath}) {
    if (fs::exists(fs::symlink_status(path, ec)))
      throw TCliError(Quote(path) + " exists; a key is never overwritten");
  }
  update::TKeyPair pair;
  try {
    pair = update::NewKeyPair();
  } catch (const std::exception& error) {
    throw TCliError(error.what());
  }
  const std::string publicText = update::Base64Text(pair.Public);
  WriteNewFile(secretPath,
               std::string(kSecretKeyHeader) + "\n" + update::Base64Text(pair.Secret) + "\n", 0600);
  try {
    WriteNewFile(publicPath, publicText + "\n", 0644);
  } catch (...) {
    fs::remove(secretPath, ec);
    throw;
  }
  std::printf(
      "Wrote the secret key to %s: keep it secret, and keep a copy; every update must be signed "
      "with it.\nWrote the public key to %s. Put it in vlx.ini:\n\n[Update]\nPublicKey=%s\n",
      Quote(secretPath).c_str(), Quote(publicPath).c_str(), publicText.c_str());
}

fs::path RunUpdateManifest(const TManifestOptions& options) {
  if (options.Url.empty()) throw TCliError("update-manifest needs --url URL");
  if (options.Key.empty()) throw TCliError("update-manifest needs --key FILE");
  if (!update::IsUpdateUrl(options.Url)) {
    throw TCliError("--url " + options.Url +
                    ": updates are downloaded over HTTPS only (plain HTTP only from this machine)");
  }
  // The key, checked before the executable is read.
  const std::string keyText = ReadText(options.Key, 4096);
  const std::size_t lineEnd = keyText.find('\n');
  const auto secret = keyText.starts_with(kSecretKeyHeader) && lineEnd != std::string::npos
                          ? update::FromBase64(keyText.substr(
                                lineEnd + 1, keyText.find_last_not_of("\r\n") - lineEnd))
                          : std::nullopt;
  const auto pair = secret ? update::KeyPairFromSecret(*secret) : std::nullopt;
  if (!pair) throw TCliError(Quote(options.Key) + " is not a secret key of velloc keygen");

  package::ExeImageInfo image{};
  try {
    image = package::TExeUtils::InspectImage(options.Executable);
  } catch (const package::ExeUtilsError& error) {
    throw TCliError(Quote(options.Executable) + ": " + error.what());
  }
  if (image.AttachedLength() == 0)
    throw TCliError(Quote(options.Executable) + " is a bare runtime, not a packed application");
  const config::TProjectIni ini = PackagedConfiguration(options.Executable);
  const update::TUpdateSettings settings = update::ReadUpdateSettings(ini);
  if (!update::TAppVersion::Parse(settings.Version)) {
    throw TCliError(Quote(options.Executable) + ": its vlx.ini names no version (key Version of " +
                    "section [App], such as 1.4.2)");
  }
  if (settings.PublicKey != update::Base64Text(pair->Public)) {
    std::fprintf(stderr,
                 "velloc: note: %s trusts %s; the updates after this one must be signed with "
                 "the key that matches it\n",
                 Quote(options.Executable).c_str(),
                 settings.PublicKey.empty() ? "no update key" : "another key than this one");
  }

  update::TUpdateManifest manifest;
  manifest.App = settings.AppID;
  manifest.Version = settings.Version;
  manifest.Platform = PlatformOf(options.Executable, image.Format);
  manifest.Url = options.Url;
  manifest.Notes = options.Notes;
  if (!options.NotesFile.empty())
    manifest.Notes = ReadText(options.NotesFile, update::kMaxNotesBytes);
  if (manifest.Notes.size() > update::kMaxNotesBytes)
    throw TCliError("the release notes are longer than 32 KiB");
  {
    std::ifstream in(options.Executable, std::ios::binary);
    update::TSha256 hash;
    std::vector<std::uint8_t> buffer(1 << 20);
    while (in) {
      in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
      const auto got = static_cast<std::size_t>(in.gcount());
      hash.Update({buffer.data(), got});
      manifest.Size += got;
    }
    if (in.bad()) throw TCliError("cannot read " + Quote(options.Executable));
    manifest.Sha256 = hash.Final();
  }
  if (manifest.Size > update::kMaxUpdateBytes)
    throw TCliError(Quote(options.Executable) + " is larger than 4 GiB");
  manifest.SignWith(pair->Secret);

  const fs::path output =
      options.Output.empty() ? fs::path(options.Executable.string() + ".json") : options.Output;
  const fs::path temporary = output.string() + ".velloc-tmp";
  std::error_code ec;
  fs::remove(temporary, ec);
  WriteNewFile(temporary, manifest.ToJson(), 0644);
  fs::rename(temporary, output, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw TCliError("cannot write " + Quote(output));
  }
  std::printf("Wrote %s: %s %s for %s, %ju bytes\n", Quote(output).c_str(), manifest.App.c_str(),
              manifest.Version.c_str(), manifest.Platform.c_str(),
              static_cast<std::uintmax_t>(manifest.Size));
  return output;
}

}  // namespace velloc::cli
