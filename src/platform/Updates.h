// What updates of the application need from the system: HTTP downloads, replacing the running
// executable with the file that was downloaded (and putting it back), and starting the
// executable again. The rules (what is downloaded, when it is trusted, what happens at the next
// start) are the core's, in src/update; these only translate.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace velloc::platform {

// The start of an HTTP response.
struct THttpHead {
  int Status = 0;
  std::string Location;                 // of a redirect; empty otherwise
  std::optional<std::uint64_t> Length;  // Content-Length, when the server sent one
};

struct THttpCallbacks {
  // Once, when the status line and headers have arrived. False stops the transfer: nothing more
  // is called.
  std::function<bool(const THttpHead& head)> Head;
  // For each piece of the body, in order. False stops the transfer.
  std::function<bool(std::span<const std::uint8_t> piece)> Body;
  // Once, at the end: empty when the body ended as the server sent it (the whole Content-Length
  // when it named one), else why not (no connection, a connection closed early, a time-out).
  std::function<void(const std::string& error)> End;
};

// A transfer under way; destroying it cancels it, and nothing is called afterwards.
class IHttpTransfer {
 public:
  virtual ~IHttpTransfer() = default;
};

class IHttpClient {
 public:
  virtual ~IHttpClient() = default;
  // Starts a GET of `url` without following redirects (the caller judges each address). The
  // callbacks come later, on the UI thread, never from inside Get.
  virtual std::unique_ptr<IHttpTransfer> Get(const std::string& url, THttpCallbacks callbacks) = 0;
};

// A file being downloaded beside the executable; removed when destroyed, unless Install has moved
// it away.
class IDownloadFile {
 public:
  virtual ~IDownloadFile() = default;
  // Appends; throws EFileError.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Flushes it to disk, closes it and makes it executable as the running executable is; throws
  // EFileError.
  virtual void Finish() = 0;
  virtual std::string Path() const = 0;
};

// Held by this process until destroyed (or until the process ends, however it ends).
class IFileLock {
 public:
  virtual ~IFileLock() = default;
};

class IUpdateFiles {
 public:
  virtual ~IUpdateFiles() = default;
  // Why an update cannot replace the executable at `exePath` (installed by the system's package
  // manager, a folder this user cannot write), or empty.
  virtual std::string ReplaceProblem(const std::string& exePath) const = 0;
  // A small file's bytes (at most `limit`), or no value when it is missing or larger.
  virtual std::optional<std::string> ReadSmallFile(const std::string& path,
                                                   std::size_t limit) const = 0;
  // Replaces a small file whole; throws EFileError.
  virtual void WriteSmallFile(const std::string& path, const std::string& bytes) = 0;
  // True when nothing is at `path` afterwards.
  virtual bool Remove(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) const = 0;
  // An exclusive lock of the file at `path` (made when missing), or null while another process
  // holds it.
  virtual std::unique_ptr<IFileLock> TryLock(const std::string& path) = 0;
  // A new, empty file at `path` for a download (a leftover file there is replaced); throws
  // EFileError.
  virtual std::unique_ptr<IDownloadFile> CreateDownload(const std::string& path) = 0;
  // Puts the finished download in the executable's place and keeps the executable as it was at
  // `backupPath`. Throws EFileError; the executable is then as it was.
  virtual void Install(const std::string& exePath, const std::string& downloadPath,
                       const std::string& backupPath) = 0;
  // Puts `backupPath` back in the executable's place; what was there goes away (on Windows,
  // where a running executable cannot go, to `asidePath`). Throws EFileError.
  virtual void Restore(const std::string& exePath, const std::string& backupPath,
                       const std::string& asidePath) = 0;
};

class IProcessRestart {
 public:
  virtual ~IProcessRestart() = default;
  // Starts `exePath` with `arguments` in this process's place, once everything of this process
  // has been closed: Linux runs it in this very process (same process id), Windows starts it
  // and this process then ends. Throws EFileError when it cannot.
  virtual void RestartInto(const std::string& exePath,
                           const std::vector<std::string>& arguments) = 0;
};

}  // namespace velloc::platform
