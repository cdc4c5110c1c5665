#include "platform/win32/Win32UpdateFiles.h"

#include <windows.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileReplacement.h"
#include "platform/win32/Win32Shell.h"

namespace velloc::platform::win32 {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, DWORD error) {
  throw EFileError("cannot " + what + " " + path + ": " + TWin32Shell::ErrorMessage(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool Move(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

class THandle {
 public:
  explicit THandle(HANDLE handle) : FHandle(handle) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() { Close(); }
  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  bool Close() {
    const bool closed = !Valid() || ::CloseHandle(FHandle) != FALSE;
    FHandle = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE FHandle;
};

class TWin32Lock final : public IFileLock {
 public:
  explicit TWin32Lock(HANDLE handle) : FHandle(handle) {}

 private:
  THandle FHandle;
};

class TWin32Download final : public IDownloadFile {
 public:
  TWin32Download(std::string path, HANDLE handle) : FPath(std::move(path)), FHandle(handle) {}
  ~TWin32Download() override {
    FHandle.Close();
    ::DeleteFileW(Widen(FPath).c_str());  // gone already when it was installed
  }
  void Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(FHandle.Get(), bytes.data(), chunk, &written, nullptr))
        Fail("write", FPath, ::GetLastError());
      bytes = bytes.subspan(written);
    }
  }
  void Finish() override {
    if (!::FlushFileBuffers(FHandle.Get())) Fail("write", FPath, ::GetLastError());
    if (!FHandle.Close()) Fail("write", FPath, ::GetLastError());
  }
  std::string Path() const override { return FPath; }

 private:
  std::string FPath;
  THandle FHandle;
};

}  // namespace

std::string TWin32UpdateFiles::ReplaceProblem(const std::string& exePath) const {
  // Can this user make files beside the executable (not so below Program Files)?
  const std::string probe = FolderOf(exePath) + "\\.velloc-" + Narrow(RandomFileSuffix());
  const HANDLE file = ::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "The folder of the application cannot be written: " + FolderOf(exePath);
  ::CloseHandle(file);
  return {};
}

std::optional<std::string> TWin32UpdateFiles::ReadSmallFile(const std::string& path,
                                                            std::size_t limit) const {
  THandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return std::nullopt;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
    if (text.size() > limit) return std::nullopt;
  }
  return text;
}

void TWin32UpdateFiles::WriteSmallFile(const std::string& path, const std::string& bytes) {
  TWin32FileReplacement replacement(path);
  replacement.Write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  replacement.Commit();
}

bool TWin32UpdateFiles::Remove(const std::string& path) {
  if (::DeleteFileW(Widen(path).c_str())) return true;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool TWin32UpdateFiles::Exists(const std::string& path) const {
  return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<IFileLock> TWin32UpdateFiles::TryLock(const std::string& path) {
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file != INVALID_HANDLE_VALUE) return std::make_unique<TWin32Lock>(file);
  const DWORD error = ::GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return nullptr;
  Fail("open", path, error);
}

std::unique_ptr<IDownloadFile> TWin32UpdateFiles::CreateDownload(const std::string& path) {
  ::DeleteFileW(Widen(path).c_str());  // a download a crash left behind
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("create", path, ::GetLastError());
  return std::make_unique<TWin32Download>(path, file);
}

void TWin32UpdateFiles::Install(const std::string& exePath, const std::string& downloadPath,
                                const std::string& backupPath) {
  ::DeleteFileW(Widen(backupPath).c_str());
  if (!Move(exePath, backupPath)) Fail("move aside", exePath, ::GetLastError());
  if (!Move(downloadPath, exePath)) {
    const DWORD error = ::GetLastError();
    Move(backupPath, exePath);
    Fail("replace", exePath, error);
  }
}

void TWin32UpdateFiles::Restore(const std::string& exePath, const std::string& backupPath,
                                const std::string& asidePath) {
  ::DeleteFileW(Widen(asidePath).c_str());
  if (!Move(exePath, asidePath)) Fail("move aside", exePath, ::GetLastError());
  if (!Move(backupPath, exePath)) {
    const DWORD error = ::GetLastError();
    Move(asidePath, exePath);
    Fail("restore", exePath, error);
  }
}

void TWin32UpdateFiles::RestartInto(const std::string& exePath,
                                    const std::vector<std::string>& arguments) {
  if (!FSystem.StartProcess(exePath, arguments)) Fail("start", exePath, ::GetLastError());
}

}  // namespace velloc::platform::win32
