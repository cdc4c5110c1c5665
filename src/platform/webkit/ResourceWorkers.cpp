#include "platform/webkit/ResourceWorkers.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/SchemeRequests.h"

namespace velloc::webkit {

struct TResourceWorkers::TState {
  TAnswer Answer;
  bool Alive = true;  // read and written on the main loop only
};

struct TResourceWorkers::TJob {
  std::shared_ptr<TState> State;
  WebKitURISchemeRequest* Request = nullptr;  // one reference, given up in Finish
  std::string Uri;
  platform::TWebResourceResolver Resolver;
  std::optional<platform::TWebResourceResponse> Response;
};

namespace {

// Decoding is CPU work: more threads than cores only queue up, and a page rarely has more than a
// few large files in flight.
int WorkerCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 2u, 4u));
}

}  // namespace

TResourceWorkers::TResourceWorkers(TAnswer answer)
    : FState(std::make_shared<TState>(TState{std::move(answer)})) {
  FPool = g_thread_pool_new_full(&TResourceWorkers::Resolve, nullptr, &TResourceWorkers::Drop,
                                 WorkerCount(), FALSE, nullptr);
}

TResourceWorkers::~TResourceWorkers() {
  FState->Alive = false;
  // Immediately: queued requests are dropped (Drop fails them on the main loop); running ones
  // are waited for, since their resolvers read the package.
  if (FPool) g_thread_pool_free(FPool, TRUE, TRUE);
}

void TResourceWorkers::Serve(WebKitURISchemeRequest* request, std::string uri,
                             platform::TWebResourceResolver resolver) {
  auto* job = new TJob{FState, WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request)), std::move(uri),
                       std::move(resolver), std::nullopt};
  if (!FPool || !g_thread_pool_push(FPool, job, nullptr)) {
    // No thread could be started: answer here instead.
    Resolve(job, nullptr);
  }
}

void TResourceWorkers::Resolve(gpointer data, gpointer) {
  auto* job = static_cast<TJob*>(data);
  job->Response =
      glib::Guarded("serving a package request", [&] { return job->Resolver(job->Uri); });
  job->Resolver = nullptr;  // its copies belong to this thread's work
  g_idle_add_full(G_PRIORITY_DEFAULT, &TResourceWorkers::Finish, job, nullptr);
}

void TResourceWorkers::Drop(gpointer data) {
  g_idle_add_full(G_PRIORITY_DEFAULT, &TResourceWorkers::Finish, data, nullptr);
}

gboolean TResourceWorkers::Finish(gpointer data) {
  std::unique_ptr<TJob> job(static_cast<TJob*>(data));
  const bool answered = job->State->Alive && glib::Guarded("answering a package request", [&] {
                          job->State->Answer(job->Request, job->Response);
                          return true;
                        });
  if (!answered) FailRequest(job->Request, G_IO_ERROR_NOT_FOUND, "Not found");
  g_object_unref(job->Request);
  return G_SOURCE_REMOVE;
}

}  // namespace velloc::webkit
