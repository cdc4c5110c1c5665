#include "platform/webkit/SoupHttpClient.h"

#include <libsoup/soup.h>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::webkit {
namespace {

constexpr gsize kReadSize = 64 * 1024;
// Seconds a connection may stay silent before the transfer fails.
constexpr guint kIdleSeconds = 30;

// One transfer's state, shared by its owner (the IHttpTransfer) and each pending GLib callback:
// the owner may go at any time, even inside one of the callbacks.
struct TTransferState {
  platform::THttpCallbacks Callbacks;
  glib::TObjectPtr<SoupMessage> Message;
  glib::TObjectPtr<GCancellable> Cancellable{g_cancellable_new()};
  glib::TObjectPtr<GInputStream> Body;
  bool Ended = false;  // cancelled, stopped by a callback, or ended
};
using TShared = std::shared_ptr<TTransferState>;

class TSoupTransfer final : public platform::IHttpTransfer {
 public:
  explicit TSoupTransfer(TShared state) : FState(std::move(state)) {}
  ~TSoupTransfer() override {
    FState->Ended = true;
    g_cancellable_cancel(FState->Cancellable.Get());
  }

 private:
  TShared FState;
};

// Each callback is copied before it is called: the transfer (and its callbacks) may be gone when
// it returns.
void End(const TShared& state, const std::string& error) {
  if (state->Ended) return;
  state->Ended = true;
  const auto end = state->Callbacks.End;
  end(error);
}

void ReadNext(TShared state);

void OnRead(GObject* source, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<TShared> holder(static_cast<TShared*>(data));
  const TShared state = *holder;
  glib::TError error;
  GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, error.Out());
  glib::Guarded("an update download", [&] {
    if (state->Ended) return;
    if (!bytes) return End(state, error.Message());
    gsize size = 0;
    const auto* piece = static_cast<const std::uint8_t*>(g_bytes_get_data(bytes, &size));
    if (size == 0) return End(state, "");
    const auto body = state->Callbacks.Body;
    if (!body({piece, size})) {
      state->Ended = true;
      return;
    }
    if (!state->Ended) ReadNext(state);
  });
  if (bytes) g_bytes_unref(bytes);
}

void ReadNext(TShared state) {
  GInputStream* stream = state->Body.Get();
  GCancellable* cancellable = state->Cancellable.Get();
  g_input_stream_read_bytes_async(stream, kReadSize, G_PRIORITY_DEFAULT, cancellable, OnRead,
                                  new TShared(std::move(state)));
}

void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<TShared> holder(static_cast<TShared*>(data));
  const TShared state = *holder;
  glib::TError error;
  GInputStream* body = soup_session_send_finish(SOUP_SESSION(source), result, error.Out());
  state->Body.Reset(body);
  glib::Guarded("an update download", [&] {
    if (state->Ended) return;
    if (!body) return End(state, error.Message());
    SoupMessage* message = state->Message.Get();
    SoupMessageHeaders* headers = soup_message_get_response_headers(message);
    platform::THttpHead head;
    head.Status = static_cast<int>(soup_message_get_status(message));
    if (const char* location = soup_message_headers_get_one(headers, "Location"))
      head.Location = location;
    // A body libsoup decompresses has no length of its own.
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
        !soup_message_headers_get_one(headers, "Content-Encoding"))
      head.Length = static_cast<std::uint64_t>(soup_message_headers_get_content_length(headers));
    const auto onHead = state->Callbacks.Head;
    if (!onHead(head)) {
      state->Ended = true;
      return;
    }
    if (!state->Ended) ReadNext(state);
  });
}

class TSoupHttpClient final : public platform::IHttpClient {
 public:
  TSoupHttpClient() {
    g_object_set(FSession.Get(), "timeout", kIdleSeconds, "user-agent", "Velloc", nullptr);
  }

  std::unique_ptr<platform::IHttpTransfer> Get(const std::string& url,
                                               platform::THttpCallbacks callbacks) override {
    auto state = std::make_shared<TTransferState>();
    state->Callbacks = std::move(callbacks);
    SoupMessage* message = soup_message_new("GET", url.c_str());
    auto transfer = std::make_unique<TSoupTransfer>(state);
    if (!message) {
      // Not an address libsoup can take: said on the next turn of the loop, as every answer is.
      g_idle_add_once(
          [](gpointer data) {
            const std::unique_ptr<TShared> holder(static_cast<TShared*>(data));
            glib::Guarded("an update download", [&] { End(*holder, "not a valid address"); });
          },
          new TShared(state));
      return transfer;
    }
    state->Message.Reset(message);
    // The caller judges every address a redirect leads to.
    soup_message_add_flags(message, SOUP_MESSAGE_NO_REDIRECT);
    soup_session_send_async(FSession.Get(), message, G_PRIORITY_DEFAULT, state->Cancellable.Get(),
                            OnSent, new TShared(state));
    return transfer;
  }

 private:
  glib::TObjectPtr<SoupSession> FSession{soup_session_new()};
};

}  // namespace

std::unique_ptr<platform::IHttpClient> NewSoupHttpClient() {
  return std::make_unique<TSoupHttpClient>();
}

}  // namespace velloc::webkit
