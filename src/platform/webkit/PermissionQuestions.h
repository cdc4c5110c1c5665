// The permission questions of one view (the main view or a pop-up): at most one open question
// per origin, so a page cannot flood the screen, with its further requests waiting behind it
// (and decided by the answer when they ask the same); all of them answered "no" when the view's
// page goes away, so no question outlives the page that asked.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <webkit2/webkit2.h>

#include "platform/WebView.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::webkit {

class TPermissionQuestions {
 public:
  using TAnswer = std::function<void(bool allowed)>;
  // Requests of one origin that may wait behind its open question; more are refused.
  static constexpr std::size_t kMaxWaiting = 8;

  // The questions of `shown`, made with its first question and gone with it.
  static TPermissionQuestions& Of(WebKitWebView* shown);

  TPermissionQuestions(const TPermissionQuestions&) = delete;
  TPermissionQuestions& operator=(const TPermissionQuestions&) = delete;
  ~TPermissionQuestions();

  // Decides a request of the document `pageUri` with the policy of `asker` (the main view,
  // which remembers answers) and calls `answer` once: at once, or when the user has answered.
  void Request(WebKitWebView* asker, std::string pageUri, platform::TPermissionKind kind,
               TAnswer answer);
  // Refuses every open and waiting request and closes the questions.
  void CloseAll();

 private:
  struct TItem {
    glib::TObjectPtr<WebKitWebView> Asker;
    std::string PageUri;
    platform::TPermissionKind Kind;
    TAnswer Answer;
  };
  struct TOrigin {
    GtkWidget* Dialog = nullptr;
    TItem Open;
    std::vector<TItem> Waiting;
  };
  explicit TPermissionQuestions(WebKitWebView* shown) : FShown(shown) {}
  // Decides `item`; true when it opened a question for `origin`.
  bool Decide(const std::string& origin, TItem& item);
  void Next(const std::string& origin);
  static void OnResponse(GtkDialog* dialog, gint response, gpointer self);
  static void OnDestroyed(GtkWidget* dialog, gpointer self);

  WebKitWebView* FShown;  // holds this object in its data
  std::map<std::string, TOrigin> FOrigins;
};

}  // namespace velloc::webkit
