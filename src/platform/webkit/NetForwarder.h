// Cross-origin requests of the application's documents, when its arguments ask for them
// ("--disable-web-security"). WebKit's own way, the CORS allow-list, belongs to a whole web
// process for good: remote documents in it (a frame inside an application page, a page the
// application navigated to, a pop-up) would read any server too. Instead the web-process
// extension sends the application documents' requests, recognised by their Origin, here under
// the forwarding scheme; they are made again with libsoup and answered with CORS headers for the
// application's origin only. Remote documents keep ordinary CORS.
//
// Each request of a redirect chain is made here, with the cookies WebKit keeps for its own URI
// and only when the page's credentials mode is "include" (the extension learns it from the
// page's request, see kCredentialsHeader); the page's Authorization goes to its first origin
// only. A request the page drops (abort, navigation) is cancelled at once, and its connection
// with it; an answer is passed on up to browser::kMaxForwardedBodyBytes.
#pragma once

#include <webkit2/webkit2.h>

#include "platform/gtk/GLibPtr.h"

namespace velloc::webkit {

class TNetForwarder {
 public:
  explicit TNetForwarder(WebKitWebContext* context);
  TNetForwarder(const TNetForwarder&) = delete;
  TNetForwarder& operator=(const TNetForwarder&) = delete;

  // Answers one request of the forwarding scheme; never throws. Only requests whose Origin is
  // the application's are made.
  void Serve(WebKitURISchemeRequest* request);

 private:
  glib::TObjectPtr<SoupSession> FSession;
  glib::TObjectPtr<WebKitCookieManager> FCookies;  // the web context's
};

}  // namespace velloc::webkit
