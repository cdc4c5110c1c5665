// A read-only IStream over a response body that the core handed over: the web view reads the
// bytes where they are, without the copy SHCreateMemStream would make, a large package entry in
// parts as it reads, or a file on disk. The stream is agile (IAgileObject, and the free-threaded
// marshaler for IMarshal): WebView2 reads it on a thread of its own, where a stream tied to the
// UI thread's apartment would make every read a call into the UI thread. What it shares with
// that thread is guarded: its position by its own lock, the body by the body's (the core's
// package readers lock; bytes in memory and files are read where they are, never changed).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <objidl.h>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/WebView.h"

namespace velloc::platform::webview2 {

class TWebView2BodyStream final : public IStream {
 public:
  using TBody = std::vector<std::uint8_t>;
  // A new stream with one reference, owned by the caller.
  static IStream* Create(std::unique_ptr<TBody> body);
  static IStream* Create(std::unique_ptr<IResponseBody> body);
  // The file at `path` (UTF-8), opened now for reading while others may read it too; null when
  // it cannot be opened.
  static IStream* CreateOnFile(const std::string& path);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                       DWORD type) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                         DWORD type) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override;

 private:
  TWebView2BodyStream(std::shared_ptr<IResponseBody> body, std::uint64_t position);
  ~TWebView2BodyStream();

  std::atomic<ULONG> FReferences{1};
  // Aggregated; answers IMarshal for this stream, so that it marshals as the object itself.
  IUnknown* FMarshaler = nullptr;
  std::shared_ptr<IResponseBody> FBody;  // shared with clones; locks its own reads
  std::mutex FLock;
  std::uint64_t FPosition;
};

}  // namespace velloc::platform::webview2
