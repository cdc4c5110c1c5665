#include "platform/webview2/WebView2BodyStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/win32/WideText.h"

namespace velloc::platform::webview2 {

namespace {

// Bytes in memory, read where they are.
class TMemoryBody final : public IResponseBody {
 public:
  explicit TMemoryBody(std::unique_ptr<TWebView2BodyStream::TBody> bytes)
      : FBytes(std::move(bytes)) {}
  std::uint64_t Size() const override { return FBytes->size(); }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    std::memcpy(out.data(), FBytes->data() + offset, out.size());
    return true;
  }

 private:
  std::unique_ptr<TWebView2BodyStream::TBody> FBytes;
};

// A file on disk, read at the offset asked for: reads of clones on several threads need no
// shared file pointer.
class TFileBody final : public IResponseBody {
 public:
  TFileBody(HANDLE file, std::uint64_t size) : FFile(file), FSize(size) {}
  ~TFileBody() override { CloseHandle(FFile); }
  TFileBody(const TFileBody&) = delete;
  TFileBody& operator=(const TFileBody&) = delete;
  std::uint64_t Size() const override { return FSize; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      OVERLAPPED at{};
      const std::uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 20));
      DWORD read = 0;
      // A file that shrank since it was opened fails the answer rather than end it early.
      if (!ReadFile(FFile, out.data() + done, wanted, &read, &at) || read == 0) return false;
      done += read;
    }
    return true;
  }

 private:
  HANDLE FFile;
  std::uint64_t FSize;
};

}  // namespace

IStream* TWebView2BodyStream::CreateOnFile(const std::string& path) {
  HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return nullptr;
  }
  return Create(std::make_unique<TFileBody>(file, static_cast<std::uint64_t>(size.QuadPart)));
}

IStream* TWebView2BodyStream::Create(std::unique_ptr<TBody> body) {
  if (!body) body = std::make_unique<TBody>();
  return new TWebView2BodyStream(std::make_shared<TMemoryBody>(std::move(body)), 0);
}

IStream* TWebView2BodyStream::Create(std::unique_ptr<IResponseBody> body) {
  return new TWebView2BodyStream(std::shared_ptr<IResponseBody>(std::move(body)), 0);
}

TWebView2BodyStream::TWebView2BodyStream(std::shared_ptr<IResponseBody> body,
                                         std::uint64_t position)
    : FBody(std::move(body)), FPosition(position) {
  // Without it the stream still works, only marshalled through the UI thread.
  if (FAILED(CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), &FMarshaler)))
    FMarshaler = nullptr;
}

TWebView2BodyStream::~TWebView2BodyStream() {
  if (FMarshaler != nullptr) FMarshaler->Release();
}

HRESULT TWebView2BodyStream::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  // IAgileObject only marks the stream: its pointer is the stream's IUnknown.
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
      IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_IAgileObject)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IMarshal) && FMarshaler != nullptr)
    return FMarshaler->QueryInterface(riid, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TWebView2BodyStream::AddRef() {
  return ++FReferences;
}

ULONG TWebView2BodyStream::Release() {
  const ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TWebView2BodyStream::Read(void* buffer, ULONG size, ULONG* read) {
  if (buffer == nullptr && size > 0) return STG_E_INVALIDPOINTER;
  std::lock_guard lock(FLock);
  const std::uint64_t available =
      FPosition < FBody->Size() ? FBody->Size() - FPosition : std::uint64_t{0};
  const ULONG count = static_cast<ULONG>(std::min<std::uint64_t>(size, available));
  if (count > 0 && !FBody->Read(FPosition, {static_cast<std::uint8_t*>(buffer), count})) {
    if (read != nullptr) *read = 0;
    return STG_E_READFAULT;
  }
  FPosition += count;
  if (read != nullptr) *read = count;
  return count == size ? S_OK : S_FALSE;
}

HRESULT TWebView2BodyStream::Write(const void*, ULONG, ULONG* written) {
  if (written != nullptr) *written = 0;
  return STG_E_ACCESSDENIED;
}

HRESULT TWebView2BodyStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  std::lock_guard lock(FLock);
  std::int64_t base = 0;
  switch (origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<std::int64_t>(FPosition);
      break;
    case STREAM_SEEK_END:
      base = static_cast<std::int64_t>(FBody->Size());
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  // Bodies are far below 2^63 bytes; a move before the start is refused.
  const std::int64_t target = base + move.QuadPart;
  if (target < 0) return STG_E_INVALIDFUNCTION;
  FPosition = static_cast<std::uint64_t>(target);
  if (position != nullptr) position->QuadPart = FPosition;
  return S_OK;
}

HRESULT TWebView2BodyStream::SetSize(ULARGE_INTEGER) {
  return STG_E_ACCESSDENIED;
}

HRESULT TWebView2BodyStream::CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                    ULARGE_INTEGER* written) {
  if (target == nullptr) return STG_E_INVALIDPOINTER;
  std::lock_guard lock(FLock);
  const std::uint64_t available =
      FPosition < FBody->Size() ? FBody->Size() - FPosition : std::uint64_t{0};
  std::uint64_t left = std::min<std::uint64_t>(size.QuadPart, available);
  std::uint64_t done = 0;
  HRESULT result = S_OK;
  std::vector<std::uint8_t> buffer(
      static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 16)));
  while (left > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::uint64_t>(left, buffer.size()));
    if (!FBody->Read(FPosition + done, {buffer.data(), chunk})) {
      result = STG_E_READFAULT;
      break;
    }
    ULONG put = 0;
    result = target->Write(buffer.data(), chunk, &put);
    done += put;
    if (FAILED(result) || put < chunk) break;
    left -= chunk;
  }
  FPosition += done;
  if (read != nullptr) read->QuadPart = done;
  if (written != nullptr) written->QuadPart = done;
  return FAILED(result) ? result : S_OK;
}

HRESULT TWebView2BodyStream::Commit(DWORD) {
  return S_OK;
}

HRESULT TWebView2BodyStream::Revert() {
  return S_OK;
}

HRESULT TWebView2BodyStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT TWebView2BodyStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT TWebView2BodyStream::Stat(STATSTG* stat, DWORD) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  *stat = STATSTG{};
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = FBody->Size();
  stat->grfMode = STGM_READ;
  return S_OK;
}

HRESULT TWebView2BodyStream::Clone(IStream** stream) {
  if (stream == nullptr) return STG_E_INVALIDPOINTER;
  std::lock_guard lock(FLock);
  *stream = new (std::nothrow) TWebView2BodyStream(FBody, FPosition);
  return *stream != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace velloc::platform::webview2
