#include "platform/webview2/WebView2BodyStream.h"

#include <algorithm>
#include <cstring>
#include <new>

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

}  // namespace

IStream* TWebView2BodyStream::Create(std::unique_ptr<TBody> body) {
  if (!body) body = std::make_unique<TBody>();
  return new TWebView2BodyStream(std::make_shared<TMemoryBody>(std::move(body)), 0);
}

IStream* TWebView2BodyStream::Create(std::unique_ptr<IResponseBody> body) {
  return new TWebView2BodyStream(std::shared_ptr<IResponseBody>(std::move(body)), 0);
}

TWebView2BodyStream::TWebView2BodyStream(std::shared_ptr<IResponseBody> body,
                                         std::uint64_t position)
    : FBody(std::move(body)), FPosition(position) {}

HRESULT TWebView2BodyStream::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
      IsEqualIID(riid, IID_IStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
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
