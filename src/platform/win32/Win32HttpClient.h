// HTTP downloads of the application's updates through WinHTTP. Each transfer runs the blocking
// WinHTTP calls on a thread of its own and hands what arrives to the user-interface thread
// through a message-only window, a few pieces at a time, so that a large download never waits
// in memory whole.
#pragma once

#include <memory>
#include <vector>

#include "platform/Updates.h"

namespace velloc::platform::win32 {

class TWin32HttpClient final : public IHttpClient {
 public:
  TWin32HttpClient();
  ~TWin32HttpClient() override;
  TWin32HttpClient(const TWin32HttpClient&) = delete;
  TWin32HttpClient& operator=(const TWin32HttpClient&) = delete;

  std::unique_ptr<IHttpTransfer> Get(const std::string& url, THttpCallbacks callbacks) override;

  struct TTransfer;
  // On the user-interface thread: hands every waiting event to its callbacks.
  void Deliver();

 private:
  void* FSession = nullptr;  // HINTERNET
  void* FWindow = nullptr;   // HWND
  std::vector<std::shared_ptr<TTransfer>> FTransfers;
};

}  // namespace velloc::platform::win32
