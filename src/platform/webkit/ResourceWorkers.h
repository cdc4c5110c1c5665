// Package requests answered on worker threads: extraction and decryption never hold up the UI
// thread, and the many files of a large page decode at once. Each answer is handed back on the
// main loop, where WebKit wants it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <webkit2/webkit2.h>

#include "platform/WebView.h"

namespace velloc::webkit {

class TResourceWorkers {
 public:
  // Called on the main loop with each request and its answer (no value: not found or failed).
  using TAnswer = std::function<void(WebKitURISchemeRequest* request,
                                     std::optional<platform::TWebResourceResponse>& response)>;

  explicit TResourceWorkers(TAnswer answer);
  TResourceWorkers(const TResourceWorkers&) = delete;
  TResourceWorkers& operator=(const TResourceWorkers&) = delete;
  // Waits for the requests being resolved; those and the queued ones then fail, for nobody is
  // left to answer them.
  ~TResourceWorkers();

  // Resolves `uri` with `resolver` on a worker and answers `request` on the main loop.
  void Serve(WebKitURISchemeRequest* request, std::string uri,
             platform::TWebResourceResolver resolver);

 private:
  struct TState;
  struct TJob;
  static void Resolve(gpointer job, gpointer unused);
  static void Drop(gpointer job);
  static gboolean Finish(gpointer job);

  std::shared_ptr<TState> FState;
  GThreadPool* FPool = nullptr;
};

}  // namespace velloc::webkit
