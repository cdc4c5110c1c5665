#include "platform/webkit/NetForwarder.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "browser/CrossOriginReads.h"
#include "core/Text.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/BoundedStream.h"
#include "platform/webkit/SchemeRequests.h"
#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

// The pieces the page's body is read in.
constexpr gsize kBodyPiece = 64 * 1024;

bool IsAnyOf(const char* name, std::initializer_list<std::string_view> names) {
  for (const std::string_view n : names) {
    if (g_ascii_strncasecmp(name, n.data(), n.size()) == 0 && name[n.size()] == '\0') return true;
  }
  return false;
}

// Headers that belong to one connection, or that the forwarding itself sets.
bool IsHopHeader(const char* name) {
  return IsAnyOf(name, {"Connection", "Keep-Alive", "Proxy-Connection", "Transfer-Encoding", "TE",
                        "Trailer", "Upgrade", "Host", "Content-Length"});
}

bool ForwardsRequestHeader(const char* name) {
  return !IsHopHeader(name) && !IsAnyOf(name, {"Origin", "Cookie", kCredentialsHeader}) &&
         g_ascii_strncasecmp(name, "Sec-Fetch-", 10) != 0;
}

void AnswerPreflight(WebKitURISchemeRequest* request, SoupMessageHeaders* asked) {
  GInputStream* empty = g_memory_input_stream_new();
  WebKitURISchemeResponse* reply = webkit_uri_scheme_response_new(empty, 0);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Access-Control-Allow-Origin", kApplicationOrigin.data());
  soup_message_headers_append(headers, "Access-Control-Allow-Credentials", "true");
  if (const char* method = soup_message_headers_get_one(asked, "Access-Control-Request-Method"))
    soup_message_headers_append(headers, "Access-Control-Allow-Methods", method);
  if (const char* names = soup_message_headers_get_one(asked, "Access-Control-Request-Headers"))
    soup_message_headers_append(headers, "Access-Control-Allow-Headers", names);
  webkit_uri_scheme_response_set_http_headers(reply, headers);
  webkit_uri_scheme_response_set_status(reply, 204, "No Content");
  webkit_uri_scheme_request_finish_with_response(request, reply);
  g_object_unref(reply);
  g_object_unref(empty);
}

struct THeadersFree {
  void operator()(SoupMessageHeaders* headers) const { soup_message_headers_unref(headers); }
};

// One forwarded request of the page, from its first request to the answer. WebKit holds the
// scheme request while the page waits for it; the job only watches it (a weak reference), so
// that it learns at once when the page lets the request go (abort, navigation, a closed view)
// and cancels what is under way: the connection of a request the page dropped never stays
// taken. The job ends when its answer is handed over, or when the request has gone and no
// operation of its own is still to call back.
struct TJob {
  TJob(SoupSession* session, WebKitCookieManager* cookies, WebKitURISchemeRequest* request)
      : Session(glib::TObjectPtr<SoupSession>::Ref(session)),
        Cookies(glib::TObjectPtr<WebKitCookieManager>::Ref(cookies)),
        Request(request),
        Cancel(g_cancellable_new()),
        Headers(soup_message_headers_new(SOUP_MESSAGE_HEADERS_REQUEST)) {}
  ~TJob() {
    if (Body) g_bytes_unref(Body);
    if (Received) g_byte_array_unref(Received);
  }
  TJob(const TJob&) = delete;
  TJob& operator=(const TJob&) = delete;

  glib::TObjectPtr<SoupSession> Session;
  glib::TObjectPtr<WebKitCookieManager> Cookies;
  WebKitURISchemeRequest* Request;  // WebKit's; null once the page or the job let it go
  glib::TObjectPtr<GCancellable> Cancel;
  int Pending = 0;  // operations that will call back

  // The request of the current hop.
  std::string Method;
  std::string Uri;
  std::unique_ptr<SoupMessageHeaders, THeadersFree> Headers;  // the page's, as forwarded
  GBytes* Body = nullptr;                                     // owned; null: none
  std::string BodyType;
  bool Credentials = false;  // the page's credentials mode is "include"
  int Redirects = 0;
  glib::TObjectPtr<SoupMessage> Message;

  // The page's body while it is read.
  glib::TObjectPtr<GInputStream> PageBody;
  GByteArray* Received = nullptr;  // owned
};

void OnRequestGone(gpointer data, GObject*) {
  auto* job = static_cast<TJob*>(data);
  job->Request = nullptr;
  // A cancelled operation may call back right here; the job outlives that.
  ++job->Pending;
  g_cancellable_cancel(job->Cancel.Get());
  if (--job->Pending == 0) delete job;
}

// At the start of every callback: whether the job goes on. A job whose request has gone ends
// with its last operation.
bool Resume(TJob* job) {
  --job->Pending;
  if (job->Request) return true;
  if (job->Pending == 0) delete job;
  return false;
}

// Lets the request go, to be finished by the caller; the job ends with its last operation.
glib::TObjectPtr<WebKitURISchemeRequest> Detach(TJob* job) {
  auto request = glib::TObjectPtr<WebKitURISchemeRequest>::Ref(job->Request);
  g_object_weak_unref(G_OBJECT(job->Request), OnRequestGone, job);
  job->Request = nullptr;
  if (job->Pending == 0) delete job;
  return request;
}

void Fail(TJob* job, GIOErrorEnum code, const char* message) {
  const auto request = Detach(job);
  FailRequest(request.Get(), code, message);
}

void RemoveHeaders(SoupMessageHeaders* headers, bool (*matches)(std::string_view)) {
  std::vector<std::string> names;
  SoupMessageHeadersIter it;
  const char* name = nullptr;
  const char* value = nullptr;
  soup_message_headers_iter_init(&it, headers);
  while (soup_message_headers_iter_next(&it, &name, &value)) {
    if (matches(name)) names.emplace_back(name);
  }
  for (const std::string& n : names)
    soup_message_headers_remove(headers, n.c_str());
}

void NextHop(TJob* job);
void OnSent(GObject* source, GAsyncResult* result, gpointer data);

void Send(TJob* job) {
  ++job->Pending;
  soup_session_send_async(job->Session.Get(), job->Message.Get(), G_PRIORITY_DEFAULT,
                          job->Cancel.Get(), OnSent, job);
}

void OnCookies(GObject* source, GAsyncResult* result, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  GList* cookies =
      webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
  const bool goesOn = Resume(job);
  if (goesOn && cookies) {
    GSList* list = nullptr;
    for (GList* c = cookies; c; c = c->next)
      list = g_slist_prepend(list, c->data);
    list = g_slist_reverse(list);
    glib::TGFree<char> header(soup_cookies_to_cookie_header(list));
    if (header.Get() && *header.Get()) {
      soup_message_headers_replace(soup_message_get_request_headers(job->Message.Get()), "Cookie",
                                   header.Get());
    }
    g_slist_free(list);
  }
  g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
  if (goesOn) Send(job);
}

// The request of the job's current hop: the page's headers and body, and, for a credentialed
// read, the cookies WebKit keeps for this hop's URI and no other.
void NextHop(TJob* job) {
  SoupMessage* message = soup_message_new(job->Method.c_str(), job->Uri.c_str());
  if (!message) {
    Fail(job, G_IO_ERROR_INVALID_ARGUMENT, "Not a web address");
    return;
  }
  job->Message.Reset(message);
  // Each hop is the job's: a redirect followed by libsoup would keep this hop's cookies.
  soup_message_add_flags(message, SOUP_MESSAGE_NO_REDIRECT);
  SoupMessageHeaders* sent = soup_message_get_request_headers(message);
  SoupMessageHeadersIter it;
  const char* name = nullptr;
  const char* value = nullptr;
  soup_message_headers_iter_init(&it, job->Headers.get());
  while (soup_message_headers_iter_next(&it, &name, &value))
    soup_message_headers_append(sent, name, value);
  if (job->Body) {
    soup_message_set_request_body_from_bytes(
        message, job->BodyType.empty() ? nullptr : job->BodyType.c_str(), job->Body);
  }
  if (!job->Credentials) {
    Send(job);
    return;
  }
  ++job->Pending;
  webkit_cookie_manager_get_cookies(job->Cookies.Get(), job->Uri.c_str(), job->Cancel.Get(),
                                    OnCookies, job);
}

void ReadPageBody(TJob* job);

void OnPageBody(GObject* source, GAsyncResult* result, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  glib::TError error;
  GBytes* piece = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, error.Out());
  if (!Resume(job)) {
    if (piece) g_bytes_unref(piece);
    return;
  }
  if (!piece) {
    Fail(job, G_IO_ERROR_FAILED, error.Message());
    return;
  }
  gsize size = 0;
  const auto* bytes = static_cast<const guint8*>(g_bytes_get_data(piece, &size));
  if (size == 0) {
    g_bytes_unref(piece);
    job->Body = g_byte_array_free_to_bytes(std::exchange(job->Received, nullptr));
    job->PageBody.Reset();
    NextHop(job);
    return;
  }
  // Never a part of the body for the whole: a body too large fails the request.
  if (job->Received->len + size > browser::kMaxForwardedBodyBytes) {
    g_bytes_unref(piece);
    Fail(job, G_IO_ERROR_MESSAGE_TOO_LARGE, "The request body is too large to forward");
    return;
  }
  g_byte_array_append(job->Received, bytes, static_cast<guint>(size));
  g_bytes_unref(piece);
  ReadPageBody(job);
}

void ReadPageBody(TJob* job) {
  ++job->Pending;
  g_input_stream_read_bytes_async(job->PageBody.Get(), kBodyPiece, G_PRIORITY_DEFAULT,
                                  job->Cancel.Get(), OnPageBody, job);
}

// Cookies the server sets go where WebKit's own requests find them. The next hop asks WebKit
// for its cookies over the same connection to WebKit's network process, which handles the two
// in order.
void StoreCookies(TJob* job) {
  GSList* cookies = soup_cookies_from_response(job->Message.Get());
  for (GSList* c = cookies; c; c = c->next) {
    webkit_cookie_manager_add_cookie(job->Cookies.Get(), static_cast<SoupCookie*>(c->data), nullptr,
                                     nullptr, nullptr);
  }
  g_slist_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
}

void Answer(TJob* job, GInputStream* body) {
  SoupMessage* message = job->Message.Get();
  SoupMessageHeaders* received = soup_message_get_response_headers(message);
  // libsoup has decoded a compressed body already; its length is then unknown.
  const bool decoded = soup_message_headers_get_one(received, "Content-Encoding") != nullptr;
  const goffset length = decoded ? -1 : soup_message_headers_get_content_length(received);
  if (length > 0 && static_cast<guint64>(length) > browser::kMaxForwardedBodyBytes) {
    Fail(job, G_IO_ERROR_MESSAGE_TOO_LARGE, "The answer is too large to forward");
    return;
  }
  SoupMessageHeaders* answered = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  std::string exposed;
  SoupMessageHeadersIter it;
  const char* name = nullptr;
  const char* value = nullptr;
  soup_message_headers_iter_init(&it, received);
  while (soup_message_headers_iter_next(&it, &name, &value)) {
    if (IsHopHeader(name) || IsAnyOf(name, {"Set-Cookie", "Set-Cookie2", "Content-Encoding"}) ||
        g_ascii_strncasecmp(name, "Access-Control-", 15) == 0) {
      continue;
    }
    soup_message_headers_append(answered, name, value);
    if (!exposed.empty()) exposed += ", ";
    exposed += name;
  }
  if (length >= 0) {
    soup_message_headers_append(answered, "Content-Length", std::to_string(length).c_str());
  }
  soup_message_headers_append(answered, "Access-Control-Allow-Origin", kApplicationOrigin.data());
  soup_message_headers_append(answered, "Access-Control-Allow-Credentials", "true");
  if (!exposed.empty()) {
    soup_message_headers_append(answered, "Access-Control-Expose-Headers", exposed.c_str());
  }
  glib::TObjectPtr<GInputStream> bounded(NewBoundedStream(body, browser::kMaxForwardedBodyBytes));
  WebKitURISchemeResponse* reply = webkit_uri_scheme_response_new(bounded.Get(), length);
  if (const char* type = soup_message_headers_get_content_type(received, nullptr))
    webkit_uri_scheme_response_set_content_type(reply, type);
  webkit_uri_scheme_response_set_status(reply, soup_message_get_status(message),
                                        soup_message_get_reason_phrase(message));
  webkit_uri_scheme_response_set_http_headers(reply, answered);  // takes the headers
  const auto request = Detach(job);
  webkit_uri_scheme_request_finish_with_response(request.Get(), reply);
  g_object_unref(reply);
}

void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  glib::TError error;
  glib::TObjectPtr<GInputStream> body(
      soup_session_send_finish(SOUP_SESSION(source), result, error.Out()));
  if (!Resume(job)) return;
  if (!body) {
    Fail(job, G_IO_ERROR_FAILED, error.Message());
    return;
  }
  const bool answered = glib::Guarded("answering a forwarded request", [&] {
    SoupMessage* message = job->Message.Get();
    if (job->Credentials) StoreCookies(job);
    const char* location =
        soup_message_headers_get_one(soup_message_get_response_headers(message), "Location");
    const browser::TRedirect next = browser::NextRequest(
        static_cast<int>(soup_message_get_status(message)), job->Method, job->Uri,
        location ? std::optional<std::string_view>(location) : std::nullopt, job->Redirects);
    switch (next.Kind) {
      case browser::TRedirect::Final:
        Answer(job, body.Get());
        return true;
      case browser::TRedirect::Refused:
        Fail(job, G_IO_ERROR_FAILED, "A redirect that is not followed");
        return true;
      case browser::TRedirect::Follow:
        break;
    }
    // The redirect's own body is nobody's: closed unread, which ends its connection.
    g_input_stream_close_async(body.Get(), G_PRIORITY_DEFAULT, nullptr, nullptr, nullptr);
    ++job->Redirects;
    job->Uri = next.Uri;
    job->Method = next.Method;
    if (next.DropsBody) {
      if (job->Body) g_bytes_unref(std::exchange(job->Body, nullptr));
      job->BodyType.clear();
      RemoveHeaders(job->Headers.get(), browser::IsBodyHeader);
    }
    if (next.CrossOrigin) {
      RemoveHeaders(job->Headers.get(), [](std::string_view name) {
        return text::AsciiEqualsIgnoreCase(name, "Authorization");
      });
    }
    NextHop(job);
    return true;
  });
  if (!answered && job->Request) Fail(job, G_IO_ERROR_FAILED, "Not forwarded");
}

}  // namespace

TNetForwarder::TNetForwarder(WebKitWebContext* context)
    // As many connections as WebKit's own network session opens.
    : FSession(soup_session_new_with_options("max-conns", 17, "max-conns-per-host", 6, nullptr)),
      FCookies(
          glib::TObjectPtr<WebKitCookieManager>::Ref(webkit_website_data_manager_get_cookie_manager(
              webkit_web_context_get_website_data_manager(context)))) {}

void TNetForwarder::Serve(WebKitURISchemeRequest* request) {
  SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
  const char* origin = asked ? soup_message_headers_get_one(asked, "Origin") : nullptr;
  // Only the extension's rewriting of an application document's request gets here with this
  // origin; a remote document, which cannot send it, learns nothing.
  if (!origin || std::string_view(origin) != kApplicationOrigin) {
    FailRequest(request, G_IO_ERROR_PERMISSION_DENIED, "Not allowed");
    return;
  }
  std::string target = FromForwardingUri(webkit_uri_scheme_request_get_uri(request));
  const char* method = webkit_uri_scheme_request_get_http_method(request);
  if (!method) method = "GET";
  if (g_ascii_strcasecmp(method, "OPTIONS") == 0 &&
      soup_message_headers_get_one(asked, "Access-Control-Request-Method")) {
    AnswerPreflight(request, asked);
    return;
  }
  if (target.empty()) {
    FailRequest(request, G_IO_ERROR_INVALID_ARGUMENT, "Not a web address");
    return;
  }
  auto* job = new TJob(FSession.Get(), FCookies.Get(), request);
  g_object_weak_ref(G_OBJECT(request), OnRequestGone, job);
  job->Method = method;
  job->Uri = std::move(target);
  SoupMessageHeadersIter it;
  const char* name = nullptr;
  const char* value = nullptr;
  soup_message_headers_iter_init(&it, asked);
  while (soup_message_headers_iter_next(&it, &name, &value)) {
    if (ForwardsRequestHeader(name)) soup_message_headers_append(job->Headers.get(), name, value);
  }
  const char* credentials = soup_message_headers_get_one(asked, kCredentialsHeader.data());
  job->Credentials = credentials && g_ascii_strcasecmp(credentials, "include") == 0;
  if (const char* type = soup_message_headers_get_one(asked, "Content-Type")) job->BodyType = type;
  if (GInputStream* body = webkit_uri_scheme_request_get_http_body(request)) {
    // Read whole first, so the server gets a Content-Length as from the web view itself.
    job->PageBody.Reset(body);
    job->Received = g_byte_array_new();
    ReadPageBody(job);
    return;
  }
  NextHop(job);
}

}  // namespace velloc::webkit
