#include "platform/webkit/NetForwarder.h"

#include <memory>
#include <string>
#include <string_view>

#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/SchemeRequests.h"
#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

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
  return !IsHopHeader(name) && !IsAnyOf(name, {"Origin", "Cookie"}) &&
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

}  // namespace

struct TNetForwarder::TJob {
  TNetForwarder* Owner;
  glib::TObjectPtr<WebKitURISchemeRequest> Request;
  glib::TObjectPtr<SoupMessage> Message;
  std::string Target;
  std::string BodyType;
};

TNetForwarder::TNetForwarder(WebKitWebContext* context)
    : FSession(soup_session_new()),
      FCookies(webkit_website_data_manager_get_cookie_manager(
          webkit_web_context_get_website_data_manager(context))) {}

void TNetForwarder::Serve(WebKitURISchemeRequest* request) {
  SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
  const char* origin = asked ? soup_message_headers_get_one(asked, "Origin") : nullptr;
  // Only the extension's rewriting of an application document's request gets here with this
  // origin; a remote document, which cannot send it, learns nothing.
  if (!origin || std::string_view(origin) != kApplicationOrigin) {
    FailRequest(request, G_IO_ERROR_PERMISSION_DENIED, "Not allowed");
    return;
  }
  const std::string target = FromForwardingUri(webkit_uri_scheme_request_get_uri(request));
  const char* method = webkit_uri_scheme_request_get_http_method(request);
  if (!method) method = "GET";
  if (g_ascii_strcasecmp(method, "OPTIONS") == 0 &&
      soup_message_headers_get_one(asked, "Access-Control-Request-Method")) {
    AnswerPreflight(request, asked);
    return;
  }
  SoupMessage* message = target.empty() ? nullptr : soup_message_new(method, target.c_str());
  if (!message) {
    FailRequest(request, G_IO_ERROR_INVALID_ARGUMENT, "Not a web address");
    return;
  }
  auto* job = new TJob{this,
                       glib::TObjectPtr<WebKitURISchemeRequest>::Ref(request),
                       glib::TObjectPtr<SoupMessage>(message),
                       target,
                       {}};
  SoupMessageHeaders* sent = soup_message_get_request_headers(message);
  SoupMessageHeadersIter it;
  const char* name = nullptr;
  const char* value = nullptr;
  soup_message_headers_iter_init(&it, asked);
  while (soup_message_headers_iter_next(&it, &name, &value)) {
    if (ForwardsRequestHeader(name)) soup_message_headers_append(sent, name, value);
  }
  if (const char* type = soup_message_headers_get_one(asked, "Content-Type")) job->BodyType = type;
  if (GInputStream* body = webkit_uri_scheme_request_get_http_body(request)) {
    // Read whole first, so the server gets a Content-Length as from the web view itself.
    GOutputStream* memory = g_memory_output_stream_new_resizable();
    g_output_stream_splice_async(
        memory, body,
        static_cast<GOutputStreamSpliceFlags>(G_OUTPUT_STREAM_SPLICE_CLOSE_SOURCE |
                                              G_OUTPUT_STREAM_SPLICE_CLOSE_TARGET),
        G_PRIORITY_DEFAULT, nullptr, OnBody, job);
    g_object_unref(memory);
    g_object_unref(body);
    return;
  }
  AskCookies(job);
}

void TNetForwarder::OnBody(GObject* source, GAsyncResult* result, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  glib::TError error;
  if (g_output_stream_splice_finish(G_OUTPUT_STREAM(source), result, error.Out()) < 0) {
    std::unique_ptr<TJob> failed(job);
    FailRequest(job->Request.Get(), G_IO_ERROR_FAILED, error.Message());
    return;
  }
  GBytes* bytes = g_memory_output_stream_steal_as_bytes(G_MEMORY_OUTPUT_STREAM(source));
  soup_message_set_request_body_from_bytes(
      job->Message.Get(), job->BodyType.empty() ? nullptr : job->BodyType.c_str(), bytes);
  g_bytes_unref(bytes);
  AskCookies(job);
}

void TNetForwarder::AskCookies(TJob* job) {
  // The cookies WebKit keeps for the server, as a credentialed request of the page would send.
  webkit_cookie_manager_get_cookies(job->Owner->FCookies, job->Target.c_str(), nullptr, OnCookies,
                                    job);
}

void TNetForwarder::OnCookies(GObject* source, GAsyncResult* result, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  GList* cookies =
      webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
  if (cookies) {
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
    g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
  }
  job->Owner->Send(job);
}

void TNetForwarder::Send(TJob* job) {
  soup_session_send_async(FSession.Get(), job->Message.Get(), G_PRIORITY_DEFAULT, nullptr, OnSent,
                          job);
}

void TNetForwarder::OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<TJob> job(static_cast<TJob*>(data));
  glib::TError error;
  glib::TObjectPtr<GInputStream> body(
      soup_session_send_finish(SOUP_SESSION(source), result, error.Out()));
  WebKitURISchemeRequest* request = job->Request.Get();
  if (!body) {
    FailRequest(request, G_IO_ERROR_FAILED, error.Message());
    return;
  }
  glib::Guarded("answering a forwarded request", [&] {
    SoupMessage* message = job->Message.Get();
    SoupMessageHeaders* received = soup_message_get_response_headers(message);
    // Cookies the server sets go where WebKit's own requests find them.
    GSList* cookies = soup_cookies_from_response(message);
    for (GSList* c = cookies; c; c = c->next)
      webkit_cookie_manager_add_cookie(job->Owner->FCookies, static_cast<SoupCookie*>(c->data),
                                       nullptr, nullptr, nullptr);
    g_slist_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));

    // libsoup has decoded a compressed body already; its length is then unknown.
    const bool decoded = soup_message_headers_get_one(received, "Content-Encoding") != nullptr;
    const goffset length = decoded ? -1 : soup_message_headers_get_content_length(received);
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
    WebKitURISchemeResponse* reply = webkit_uri_scheme_response_new(body.Get(), length);
    if (const char* type = soup_message_headers_get_content_type(received, nullptr))
      webkit_uri_scheme_response_set_content_type(reply, type);
    webkit_uri_scheme_response_set_status(reply, soup_message_get_status(message),
                                          soup_message_get_reason_phrase(message));
    webkit_uri_scheme_response_set_http_headers(reply, answered);  // takes the headers
    webkit_uri_scheme_request_finish_with_response(request, reply);
    g_object_unref(reply);
  });
}

}  // namespace velloc::webkit
